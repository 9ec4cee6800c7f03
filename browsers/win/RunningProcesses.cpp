// The running-browser test's Windows half: a sharing violation on opening a file, and the process
// snapshot.
#include <windows.h>

#include <tlhelp32.h>

#include "browsers/RunningBrowsers.h"
#include "platform/win32/UniqueHandle.h"

namespace vestrel::browsers::detail {

bool FileHeldOpen(const std::string& path) {
    if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    // Opening for nothing but attributes still meets the holder's share mode of 0.
    HANDLE handle =
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        platform::KernelHandle opened(handle);
        return false;
    }
    const DWORD error = ::GetLastError();
    // A lock being deleted by its closing browser answers "access denied" for a moment.
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

bool ProcessRunning(std::string_view executable_name) {
    HANDLE raw = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (raw == INVALID_HANDLE_VALUE) return false;
    platform::KernelHandle snapshot(raw);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
         more = ::Process32Next(snapshot.get(), &entry)) {
        if (::lstrcmpiA(entry.szExeFile, std::string(executable_name).c_str()) == 0) return true;
    }
    return false;
}

}  // namespace vestrel::browsers::detail
