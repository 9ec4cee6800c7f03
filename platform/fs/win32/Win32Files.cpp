// The files service over the Windows file calls (ANSI paths).
#include <windows.h>

#include <algorithm>

#include "platform/fs/Files.h"

namespace vestrel::platform::fs {
namespace {

std::error_code Win32Error() { return {static_cast<int>(::GetLastError()), std::system_category()}; }

class FileHandle {
  public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Close() {
        if (handle_ == INVALID_HANDLE_VALUE) return true;
        const BOOL closed = ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed != FALSE;
    }

  private:
    HANDLE handle_;
};

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr)) return std::nullopt;
        if (got == 0) break;
        bytes.append(buffer, got);
    }
    return bytes;
}

std::error_code WriteFileAtomically(const std::string& path, std::string_view bytes) {
    const std::string temporary = path + ".tmp";
    std::error_code error;
    {
        FileHandle file(::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) return Win32Error();
        std::size_t written = 0;
        while (written < bytes.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1 << 20));
            DWORD put = 0;
            if (!::WriteFile(file.Get(), bytes.data() + written, chunk, &put, nullptr)) {
                error = Win32Error();
                break;
            }
            written += put;
        }
        if (!error && !::FlushFileBuffers(file.Get())) error = Win32Error();
        if (!file.Close() && !error) error = Win32Error();
    }
    if (!error &&
        !::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = Win32Error();
    }
    if (error) ::DeleteFileA(temporary.c_str());
    return error;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFileInUse(const std::string& path) {
    // No sharing at all: any handle another program keeps open on the file refuses us.
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Valid()) return false;
    switch (::GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return false;
        default:
            // A sharing or lock violation, or a lock file whose deletion is pending (access denied):
            // in use. Anything else is taken as in use as well, so that a doubt leaves the files alone.
            return true;
    }
}

}  // namespace vestrel::platform::fs
