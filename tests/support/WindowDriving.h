// What the tests that drive a started program from outside share: bounded waits, a window's text
// without hanging on a busy program, the build's bin folder, and one process's top-level windows.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace vestrel::testing {

using namespace std::chrono_literals;

inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

inline std::string WindowText(HWND window) {
    char buffer[512] = {};
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutA(window, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer),
                               SMTO_BLOCK, 5000, &copied)) {
        return "<no answer>";
    }
    return std::string(buffer, copied);
}

// The folder of this test program, which is the build's bin folder, with a trailing backslash.
inline std::string BinFolder() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.resize(folder.find_last_of('\\') + 1);
    return folder;
}

// Top-level windows of one process that `keep` takes.
inline std::vector<HWND> TopLevelWindows(DWORD process, const std::function<bool(HWND)>& keep) {
    struct Search {
        DWORD process;
        const std::function<bool(HWND)>& keep;
        std::vector<HWND> found;
    } search{process, keep, {}};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == s->process && s->keep(window)) s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace vestrel::testing
