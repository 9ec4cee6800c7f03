// The files service over POSIX file calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/fs/Files.h"

namespace vestrel::platform::fs {
namespace {

std::error_code Errno() { return {errno, std::system_category()}; }

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Close() {
        if (fd_ < 0) return 0;
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid()) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof(buffer));
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

std::error_code WriteFileAtomically(const std::string& path, std::string_view bytes) {
    const std::string temporary = path + ".tmp";
    std::error_code error;
    {
        FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!file.Valid()) return Errno();
        std::size_t written = 0;
        while (written < bytes.size() && !error) {
            const ssize_t put = ::write(file.Get(), bytes.data() + written, bytes.size() - written);
            if (put < 0) {
                if (errno != EINTR) error = Errno();
            } else {
                written += static_cast<std::size_t>(put);
            }
        }
        if (!error && ::fsync(file.Get()) != 0) error = Errno();
        if (file.Close() != 0 && !error) error = Errno();
    }
    if (!error && std::rename(temporary.c_str(), path.c_str()) != 0) error = Errno();
    if (error) ::unlink(temporary.c_str());
    return error;
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsFileInUse(const std::string& path) {
    FileDescriptor file(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
    if (!file.Valid()) return errno != ENOENT && errno != ENOTDIR;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;  // the whole file
    if (::fcntl(file.Get(), F_GETLK, &lock) != 0) return true;
    return lock.l_type != F_UNLCK;
}

}  // namespace vestrel::platform::fs
