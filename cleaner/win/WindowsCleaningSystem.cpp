// Shell folders, the system version, the user name and the URL history object for the cleaning tasks.
#include "cleaner/win/WindowsCleaningSystem.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <urlhist.h>

#include "cleaner/win/ProtectedStorage.h"
#include "cleaner/win/UrlCache.h"

namespace vestrel::cleaner {
namespace {

// COM for the calling thread, from its first use to the thread's end.
class ComApartment {
  public:
    ComApartment() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    HRESULT result_;
};

template <typename Interface>
class ComPointer {
  public:
    ComPointer() = default;
    ~ComPointer() {
        if (pointer_ != nullptr) pointer_->Release();
    }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    void** Out() { return reinterpret_cast<void**>(&pointer_); }
    Interface* operator->() const { return pointer_; }

  private:
    Interface* pointer_ = nullptr;
};

// A folder the system wrote into `buffer` with `length` characters; nothing when it did not fit.
std::optional<std::string> Folder(const char* buffer, UINT length, UINT capacity) {
    if (length == 0 || length >= capacity) return std::nullopt;
    return std::string(buffer, length);
}

}  // namespace

void WindowsCleaningSystem::ClearHistoryList() {
    thread_local ComApartment apartment;
    ComPointer<IUrlHistoryStg2> history;
    if (FAILED(::CoCreateInstance(CLSID_CUrlHistory, nullptr, CLSCTX_INPROC_SERVER, IID_IUrlHistoryStg2,
                                  history.Out()))) {
        return;
    }
    history->ClearHistory();
}

std::optional<std::string> WindowsCleaningSystem::WindowsFolder() {
    char buffer[MAX_PATH];
    return Folder(buffer, ::GetWindowsDirectoryA(buffer, MAX_PATH), MAX_PATH);
}

std::optional<std::string> WindowsCleaningSystem::TemporaryFolder() {
    char buffer[MAX_PATH + 1];
    return Folder(buffer, ::GetTempPathA(MAX_PATH + 1, buffer), MAX_PATH + 1);
}

std::optional<std::string> WindowsCleaningSystem::SpecialFolder(ShellFolder folder) {
    char buffer[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathA(nullptr, buffer, static_cast<int>(folder), FALSE)) return std::nullopt;
    std::string path(buffer);
    if (path.empty()) return std::nullopt;
    return path;
}

bool WindowsCleaningSystem::purgeUrlCache(UrlCacheMode mode) { return cleaner::purgeUrlCache(mode); }

bool WindowsCleaningSystem::IsNtFamily() {
    OSVERSIONINFOEXA extended{};
    extended.dwOSVersionInfoSize = sizeof extended;
    if (::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) {
        return extended.dwPlatformId == VER_PLATFORM_WIN32_NT;
    }
    OSVERSIONINFOA plain{};
    plain.dwOSVersionInfoSize = sizeof plain;
    return ::GetVersionExA(&plain) && plain.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void WindowsCleaningSystem::ClearUserAutoCompleteStore() { cleaner::ClearUserAutoCompleteStore(); }

std::optional<std::string> WindowsCleaningSystem::UserName() {
    char buffer[260];
    DWORD length = sizeof buffer;
    if (!::GetUserNameA(buffer, &length) || length == 0) return std::nullopt;
    return std::string(buffer);  // length counts the terminating NUL
}

CleaningSystem& PlatformCleaningSystem() {
    static WindowsCleaningSystem system;
    return system;
}

}  // namespace vestrel::cleaner
