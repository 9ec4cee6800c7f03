// The stop sequence of VestrelStop.
#include "StopSequence.h"

#include <tlhelp32.h>

#include <string>
#include <utility>
#include <vector>

namespace vestrel::stop {
namespace {

// A kernel handle closed when the object goes.
class KernelHandle {
  public:
    explicit KernelHandle(HANDLE handle = nullptr)
        : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~KernelHandle() {
        if (handle_ != nullptr) ::CloseHandle(handle_);
    }
    KernelHandle(KernelHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    KernelHandle& operator=(KernelHandle&&) = delete;
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

  private:
    HANDLE handle_;
};

// Ids of every process whose file name matches, in the snapshot's order.
std::vector<DWORD> ProcessesNamed(std::string_view file_name) {
    std::vector<DWORD> found;
    KernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return found;
    const std::string wanted(file_name);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
         more = ::Process32Next(snapshot.get(), &entry)) {
        // The system's own case-insensitive comparison, which knows the multi-byte code page.
        if (::lstrcmpiA(entry.szExeFile, wanted.c_str()) == 0) found.push_back(entry.th32ProcessID);
    }
    return found;
}

bool WaitForEnd(const KernelHandle& process, DWORD milliseconds) {
    return ::WaitForSingleObject(process.get(), milliseconds) == WAIT_OBJECT_0;
}

}  // namespace

std::optional<DWORD> FindProcess(std::string_view file_name) {
    const std::vector<DWORD> found = ProcessesNamed(file_name);
    if (found.empty()) return std::nullopt;
    return found.front();
}

HWND FindMainWindow() {
    const std::vector<DWORD> programs = ProcessesNamed(kProgramFileName);
    HWND window = nullptr;
    // Vestrel's About box and minimise hint carry the same title but are owned by the main window.
    // The process check keeps the "Exit" command id away from any other program's window that
    // happens to be titled "Vestrel", such as a folder window of the program folder.
    while ((window = ::FindWindowExA(nullptr, window, nullptr, kMainWindowTitle)) != nullptr) {
        DWORD owner_process = 0;
        ::GetWindowThreadProcessId(window, &owner_process);
        if (::GetWindow(window, GW_OWNER) != nullptr) continue;
        for (DWORD program : programs) {
            if (program == owner_process) return window;
        }
    }
    return nullptr;
}

void StopVestrel() {
    if (HWND main_window = FindMainWindow()) {
        DWORD process_id = 0;
        ::GetWindowThreadProcessId(main_window, &process_id);
        // Opened before the request, so that the id cannot pass to another process meanwhile.
        KernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, process_id));
        if (::PostMessageA(main_window, WM_COMMAND, MAKEWPARAM(kExitCommand, 0), 0) && process) {
            WaitForEnd(process, kExitGraceMilliseconds);
        }
    }

    // Whatever did not leave through "Exit" (no window yet, a hung window) is terminated, as before.
    const std::optional<DWORD> remaining = FindProcess(kProgramFileName);
    if (!remaining) return;
    KernelHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, *remaining));
    if (!process) return;
    if (::TerminateProcess(process.get(), 0)) {
        // Termination completes asynchronously; an installer that runs next replaces the file.
        WaitForEnd(process, 5000);
    }
}

}  // namespace vestrel::stop
