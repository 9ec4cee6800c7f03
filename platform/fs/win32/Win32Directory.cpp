// Folder listing and removal over the Windows find and file calls (ANSI paths). Reparse points are
// reported as links; removing one removes the link, not its target.
#include <windows.h>

#include "platform/fs/Directory.h"

namespace vestrel::platform::fs {
namespace {

std::error_code Win32Error() { return {static_cast<int>(::GetLastError()), std::system_category()}; }

class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) ::FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path.push_back(kPathSeparator);
    path.append(name);
    return path;
}

std::error_code ListDirectory(const std::string& folder, std::vector<DirectoryEntry>& entries) {
    entries.clear();
    WIN32_FIND_DATAA data;
    FindHandle find(::FindFirstFileA(JoinPath(folder, "*").c_str(), &data));
    if (find.Get() == INVALID_HANDLE_VALUE) return Win32Error();
    do {
        if (std::string_view(data.cFileName) == "." || std::string_view(data.cFileName) == "..") continue;
        DirectoryEntry entry;
        entry.name = data.cFileName;
        entry.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.is_link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entry.read_only = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        entry.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        entries.push_back(std::move(entry));
    } while (::FindNextFileA(find.Get(), &data));
    const DWORD last = ::GetLastError();
    return last == ERROR_NO_MORE_FILES ? std::error_code{} : std::error_code(static_cast<int>(last), std::system_category());
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::error_code RemoveFile(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    // A link to a folder is itself a folder entry: RemoveDirectoryA takes the link away.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return ::RemoveDirectoryA(path.c_str()) ? std::error_code{} : Win32Error();
    }
    return ::DeleteFileA(path.c_str()) ? std::error_code{} : Win32Error();
}

std::error_code RemoveEmptyDirectory(const std::string& path) {
    return ::RemoveDirectoryA(path.c_str()) ? std::error_code{} : Win32Error();
}

std::error_code MakeWritable(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Win32Error();
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return {};
    return ::SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) ? std::error_code{}
                                                                                      : Win32Error();
}

std::error_code MakeDirectory(const std::string& path) {
    return ::CreateDirectoryA(path.c_str(), nullptr) ? std::error_code{} : Win32Error();
}

}  // namespace vestrel::platform::fs
