// Folder listing and removal over POSIX calls; lstat so that links are never followed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/fs/Directory.h"

namespace vestrel::platform::fs {
namespace {

std::error_code Errno() { return {errno, std::system_category()}; }

class DirectoryStream {
  public:
    explicit DirectoryStream(const std::string& folder) : stream_(::opendir(folder.c_str())) {}
    ~DirectoryStream() {
        if (stream_ != nullptr) ::closedir(stream_);
    }
    DirectoryStream(const DirectoryStream&) = delete;
    DirectoryStream& operator=(const DirectoryStream&) = delete;
    DIR* Get() const { return stream_; }

  private:
    DIR* stream_;
};

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && path.back() != kPathSeparator) path.push_back(kPathSeparator);
    path.append(name);
    return path;
}

std::error_code ListDirectory(const std::string& folder, std::vector<DirectoryEntry>& entries) {
    entries.clear();
    DirectoryStream stream(folder);
    if (stream.Get() == nullptr) return Errno();
    errno = 0;
    while (dirent* item = ::readdir(stream.Get())) {
        if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0) continue;
        DirectoryEntry entry;
        entry.name = item->d_name;
        struct stat info {};
        if (::lstat(JoinPath(folder, entry.name).c_str(), &info) == 0) {
            entry.is_link = S_ISLNK(info.st_mode);
            entry.is_directory = S_ISDIR(info.st_mode);
            entry.read_only = (info.st_mode & S_IWUSR) == 0;
            entry.size = static_cast<std::uint64_t>(info.st_size);
        }
        entries.push_back(std::move(entry));
        errno = 0;
    }
    return errno != 0 ? Errno() : std::error_code{};
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::error_code RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? std::error_code{} : Errno();
}

std::error_code RemoveEmptyDirectory(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) return RemoveFile(path);
    return ::rmdir(path.c_str()) == 0 ? std::error_code{} : Errno();
}

std::error_code MakeWritable(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return Errno();
    if (S_ISLNK(info.st_mode)) return {};
    return ::chmod(path.c_str(), info.st_mode | S_IWUSR) == 0 ? std::error_code{} : Errno();
}

std::error_code MakeDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0 ? std::error_code{} : Errno();
}

WritableFile::~WritableFile() { Close(); }

WritableFile::WritableFile(WritableFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

WritableFile& WritableFile::operator=(WritableFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

std::error_code WritableFile::OpenExisting(const std::string& path, WritableFile& out) {
    out.Close();
    // O_NOFOLLOW: a link in the last place fails with ELOOP instead of opening its target.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return Errno();
    out.fd_ = fd;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const std::error_code error = Errno();
        out.Close();
        return error;
    }
    if (!S_ISREG(info.st_mode)) {
        out.Close();
        return std::make_error_code(std::errc::invalid_argument);
    }
    return {};
}

bool WritableFile::IsOpen() const { return fd_ >= 0; }

void WritableFile::Close() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

std::error_code WritableFile::Size(std::uint64_t& size) const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return Errno();
    size = static_cast<std::uint64_t>(info.st_size);
    return {};
}

std::error_code WritableFile::Seek(std::uint64_t offset) {
    return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0 ? Errno() : std::error_code{};
}

std::error_code WritableFile::Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd_, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return Errno();
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return {};
}

}  // namespace vestrel::platform::fs
