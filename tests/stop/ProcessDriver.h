// Starts the Windows programs under test as separate processes, finds their windows and ends every
// process it started by its handle, whatever the outcome of the test.
#pragma once

#include <winsock2.h>

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/WindowDriving.h"

namespace vestrel::testing {

using namespace std::chrono_literals;

// A fresh empty folder under the system's temporary folder.
inline std::string MakeTemporaryFolder(const std::string& prefix) {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string folder = std::string(temp) + prefix + std::to_string(::GetCurrentProcessId()) +
                                   "-" + std::to_string(::GetTickCount() + attempt);
        if (::CreateDirectoryA(folder.c_str(), nullptr)) return folder;
    }
    return {};
}

inline bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A loopback TCP port that nothing listens on at the moment.
inline unsigned FreePort() {
    WSADATA data{};
    ::WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    unsigned port = 0;
    if (::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::closesocket(probe);
    return port;
}

inline bool IsVisibleDialogTitled(HWND window, const std::string& title) {
    char class_name[16] = {};
    ::GetClassNameA(window, class_name, sizeof(class_name));
    char text[128] = {};
    ::GetWindowTextA(window, text, sizeof(text));
    return ::IsWindowVisible(window) && std::string(class_name) == "#32770" && title == text;
}

// One started process; ended by its handle when the object goes.
class Process {
  public:
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() { End(); }

    bool Start(const std::string& command_line, const std::string& folder = {}) {
        End();
        std::string command = command_line;
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
            return false;
        }
        process_ = info.hProcess;
        thread_ = info.hThread;
        id_ = info.dwProcessId;
        return true;
    }

    bool WaitForExit(std::chrono::milliseconds timeout = 30s) const {
        return process_ != nullptr &&
               ::WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
    }
    bool HasEnded() const { return WaitForExit(0ms); }

    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(process_, &code);
        return code;
    }

    // A visible dialog of this process with the given title.
    HWND WaitForDialog(const std::string& title, std::chrono::milliseconds timeout = 30s) const {
        HWND found = nullptr;
        WaitUntil(
            [&] {
                const auto windows =
                    TopLevelWindows(id_, [&](HWND w) { return IsVisibleDialogTitled(w, title); });
                found = windows.empty() ? nullptr : windows.front();
                return found != nullptr || HasEnded();
            },
            timeout);
        return found;
    }

    // Vestrel's main window: this process's visible top-level window titled "Vestrel" with its
    // navigation panel.
    HWND WaitForMainWindow(std::chrono::milliseconds timeout = 30s) const {
        HWND found = nullptr;
        WaitUntil(
            [&] {
                const auto windows = TopLevelWindows(id_, [](HWND w) {
                    char text[32] = {};
                    ::GetWindowTextA(w, text, sizeof(text));
                    return std::string(text) == "Vestrel" && ::GetDlgItem(w, 153) != nullptr &&
                           ::IsWindowVisible(w);
                });
                found = windows.empty() ? nullptr : windows.front();
                return found != nullptr || HasEnded();
            },
            timeout);
        return found;
    }

    void End() {
        if (process_ == nullptr) return;
        if (!HasEnded()) {
            ::TerminateProcess(process_, 1);
            ::WaitForSingleObject(process_, 10000);
        }
        ::CloseHandle(thread_);
        ::CloseHandle(process_);
        process_ = nullptr;
        thread_ = nullptr;
    }

    DWORD id() const { return id_; }
    HANDLE thread() const { return thread_; }

  private:
    HANDLE process_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD id_ = 0;
};

}  // namespace vestrel::testing
