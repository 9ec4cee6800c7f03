// Folder listing and removal over the Windows find and file calls (ANSI paths). Reparse points are
// reported as links; removing one removes the link, not its target.
//
// Every change to an entry (removal, attributes, writing) goes through a handle opened on the entry
// itself (FILE_FLAG_OPEN_REPARSE_POINT), and only after checking that the handle really names that
// entry: its final path must be the folder's final path followed by the entry's name. Wine (8.0) ignores
// FILE_FLAG_OPEN_REPARSE_POINT, does not report Unix symbolic links to files as reparse points at all,
// and its DeleteFileA and RemoveDirectoryA on such links remove the target; the check turns all of these
// into a refused change instead of a change outside the folder.
#include <windows.h>

#include <string>
#include <utility>

#include "platform/fs/Directory.h"

namespace vestrel::platform::fs {
namespace {

// ERROR_CANT_RESOLVE_FILENAME: the entry turned out to be, or to lead to, something else.
constexpr DWORD kNotTheEntry = 1921;

std::error_code Win32Error() { return {static_cast<int>(::GetLastError()), std::system_category()}; }
std::error_code Win32Error(DWORD code) { return {static_cast<int>(code), std::system_category()}; }

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

class FileHandle {
  public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (IsValid()) ::CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE Release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

  private:
    HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens the entry itself, not what a link leads to (where the system honours the flag).
HANDLE OpenEntry(const std::string& path, DWORD access) {
    return ::CreateFileA(path.c_str(), access | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool FinalPath(HANDLE handle, std::string& out) {
    std::string buffer(MAX_PATH + 1, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = ::GetFinalPathNameByHandleA(
            handle, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return false;
        if (length < buffer.size()) {
            buffer.resize(length);
            out = std::move(buffer);
            return true;
        }
        buffer.assign(length + 1, '\0');
    }
    return false;
}

bool SameName(const std::string& a, const std::string& b) {
    const auto widen = [](const std::string& text) {
        std::wstring wide(text.size(), L'\0');
        const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                                 wide.data(), static_cast<int>(wide.size()));
        wide.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
        return wide;
    };
    const std::wstring wide_a = widen(a);
    const std::wstring wide_b = widen(b);
    return !wide_a.empty() &&
           ::CompareStringOrdinal(wide_a.data(), static_cast<int>(wide_a.size()), wide_b.data(),
                                  static_cast<int>(wide_b.size()), TRUE) == CSTR_EQUAL;
}

// The folder part of `path` (kept with its separator when it is a drive's root) and the last name.
void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    const std::size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos) {
        folder = ".";
        name = path;
        return;
    }
    const bool drive_root = separator == 2 && path[1] == ':';
    folder = path.substr(0, drive_root || separator == 0 ? separator + 1 : separator);
    name = path.substr(separator + 1);
}

// True when `entry`, opened from `path`, is the entry that `path` names in its folder.
bool NamesItself(HANDLE entry, const std::string& path) {
    std::string folder;
    std::string name;
    SplitPath(path, folder, name);
    if (name.empty()) return false;
    FileHandle folder_handle(::CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder_handle.IsValid()) return false;
    std::string folder_final;
    std::string entry_final;
    if (!FinalPath(folder_handle.Get(), folder_final) || !FinalPath(entry, entry_final)) return false;
    return SameName(JoinPath(folder_final, name), entry_final);
}

bool Attributes(HANDLE handle, DWORD& attributes) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info)) return false;
    attributes = info.dwFileAttributes;
    return true;
}

std::error_code MarkForDeletion(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)
               ? std::error_code{}
               : Win32Error();
}

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
    return last == ERROR_NO_MORE_FILES ? std::error_code{} : Win32Error(last);
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::error_code RemoveFile(const std::string& path) {
    FileHandle entry(OpenEntry(path, DELETE));
    if (!entry.IsValid()) return Win32Error();
    DWORD attributes = 0;
    if (!Attributes(entry.Get(), attributes)) return Win32Error();
    // A folder is removed only when it is a link (the link itself); as DeleteFileA does, refuse others.
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !link) return Win32Error(ERROR_ACCESS_DENIED);
    if (!NamesItself(entry.Get(), path)) return Win32Error(kNotTheEntry);
    return MarkForDeletion(entry.Get());
}

std::error_code RemoveEmptyDirectory(const std::string& path) {
    FileHandle entry(OpenEntry(path, DELETE));
    if (!entry.IsValid()) return Win32Error();
    DWORD attributes = 0;
    if (!Attributes(entry.Get(), attributes)) return Win32Error();
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return Win32Error(ERROR_DIRECTORY);
    if (!NamesItself(entry.Get(), path)) return Win32Error(kNotTheEntry);
    // Refused with ERROR_DIR_NOT_EMPTY while something is left inside.
    return MarkForDeletion(entry.Get());
}

std::error_code MakeWritable(const std::string& path) {
    FileHandle entry(OpenEntry(path, FILE_WRITE_ATTRIBUTES));
    if (!entry.IsValid()) return Win32Error();
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(entry.Get(), FileBasicInfo, &basic, sizeof basic))
        return Win32Error();
    if ((basic.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) return {};
    if ((basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return {};
    if (!NamesItself(entry.Get(), path)) return Win32Error(kNotTheEntry);
    FILE_BASIC_INFO change{};  // zero times: leave them as they are
    change.FileAttributes = basic.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (change.FileAttributes == 0) change.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(entry.Get(), FileBasicInfo, &change, sizeof change)
               ? std::error_code{}
               : Win32Error();
}

std::error_code MakeDirectory(const std::string& path) {
    return ::CreateDirectoryA(path.c_str(), nullptr) ? std::error_code{} : Win32Error();
}

WritableFile::~WritableFile() { Close(); }

WritableFile::WritableFile(WritableFile&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

WritableFile& WritableFile::operator=(WritableFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

std::error_code WritableFile::OpenExisting(const std::string& path, WritableFile& out) {
    out.Close();
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.IsValid()) return Win32Error();
    DWORD attributes = 0;
    if (!Attributes(file.Get(), attributes)) return Win32Error();
    if ((attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        !NamesItself(file.Get(), path)) {
        return Win32Error(kNotTheEntry);
    }
    out.handle_ = file.Release();
    return {};
}

bool WritableFile::IsOpen() const { return handle_ != nullptr; }

void WritableFile::Close() {
    if (handle_ != nullptr) ::CloseHandle(std::exchange(handle_, nullptr));
}

std::error_code WritableFile::Size(std::uint64_t& size) const {
    LARGE_INTEGER value;
    if (!::GetFileSizeEx(handle_, &value)) return Win32Error();
    size = static_cast<std::uint64_t>(value.QuadPart);
    return {};
}

std::error_code WritableFile::Seek(std::uint64_t offset) {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN) ? std::error_code{} : Win32Error();
}

std::error_code WritableFile::Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD piece = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(handle_, bytes, piece, &written, nullptr)) return Win32Error();
        if (written == 0) return Win32Error(ERROR_WRITE_FAULT);
        bytes += written;
        size -= written;
    }
    return {};
}

}  // namespace vestrel::platform::fs
