// The workers' threads and the hidden message window that runs their results on the user-interface
// thread.
#include "app/win/shell/BackgroundWork.h"

#include <windows.h>

#include <atomic>
#include <thread>

namespace vestrel::app {

namespace {

constexpr UINT kRunStep = WM_APP + 0x101;
constexpr char kWindowClass[] = "VestrelBackgroundWork";

HWND g_window = nullptr;
std::atomic<int> g_pending{0};

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != kRunStep) return ::DefWindowProcA(window, message, wparam, lparam);
    std::unique_ptr<UiStep> step(reinterpret_cast<UiStep*>(lparam));
    try {
        if (step && *step) (*step)();
    } catch (...) {
        // A failed step must not unwind through the window manager; the work it applied stays as far
        // as it got.
    }
    --g_pending;
    return 0;
}

}  // namespace

bool InitBackgroundWork() {
    if (g_window != nullptr) return true;
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = WindowProcedure;
    window_class.hInstance = ::GetModuleHandleA(nullptr);
    window_class.lpszClassName = kWindowClass;
    ::RegisterClassA(&window_class);
    g_window = ::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 window_class.hInstance, nullptr);
    return g_window != nullptr;
}

void StartBackgroundWork(std::function<UiStep()> work) {
    ++g_pending;
    const HWND target = g_window;
    try {
        std::thread([target, work = std::move(work)]() {
            auto step = std::make_unique<UiStep>();
            try {
                *step = work();
            } catch (...) {
                // The step stays empty: the user-interface side learns of the end all the same.
            }
            if (::PostMessageA(target, kRunStep, 0, reinterpret_cast<LPARAM>(step.get()))) {
                step.release();
            } else {
                --g_pending;
            }
        }).detach();
    } catch (...) {
        --g_pending;
        throw;
    }
}

int BackgroundWorkPending() { return g_pending.load(); }

}  // namespace vestrel::app
