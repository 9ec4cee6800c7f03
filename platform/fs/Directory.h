// Folder listing and removal for the folder walks (the cleaner's wipes, the browsers' profile search).
// Links (symbolic links, junctions and other reparse points) are reported as such and never followed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace vestrel::platform::fs {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
// The longest path the ANSI file functions take (MAX_PATH less the terminating NUL).
inline constexpr std::size_t kMaxPathLength = 259;
#else
inline constexpr char kPathSeparator = '/';
inline constexpr std::size_t kMaxPathLength = 4095;  // PATH_MAX less the terminating NUL
#endif

struct DirectoryEntry {
    std::string name;  // without the folder
    bool is_directory = false;
    bool is_link = false;  // a symbolic link, junction or other reparse point
    bool read_only = false;
    std::uint64_t size = 0;
};

// `folder` and `name` joined by one separator.
std::string JoinPath(std::string_view folder, std::string_view name);

// The entries of `folder` other than "." and "..", in the order the system gives them.
std::error_code ListDirectory(const std::string& folder, std::vector<DirectoryEntry>& entries);

bool IsDirectory(const std::string& path);
// Removes a file, or a link of any kind (never what it points to). Where the system cannot remove a
// link without touching its target (Wine), the link is left in place and an error returned.
std::error_code RemoveFile(const std::string& path);
// Removes an empty folder, or a link to a folder (never what it points to), with the same caution.
std::error_code RemoveEmptyDirectory(const std::string& path);
// Clears the read-only attribute (natively: adds the owner's write permission). Links are left alone:
// changing one would change its target.
std::error_code MakeWritable(const std::string& path);
std::error_code MakeDirectory(const std::string& path);

// An existing file opened for writing only, which other users (a browser keeping its index files open)
// may go on reading and writing. A link is never opened: writing through it would change its target.
class WritableFile {
  public:
    WritableFile() = default;
    ~WritableFile();
    WritableFile(WritableFile&& other) noexcept;
    WritableFile& operator=(WritableFile&& other) noexcept;
    WritableFile(const WritableFile&) = delete;
    WritableFile& operator=(const WritableFile&) = delete;

    // Opens `path`, which must exist; on failure `out` is left closed.
    static std::error_code OpenExisting(const std::string& path, WritableFile& out);

    bool IsOpen() const;
    void Close();
    std::error_code Size(std::uint64_t& size) const;
    // Moves the write position to `offset` bytes from the start.
    std::error_code Seek(std::uint64_t offset);
    // Writes all of `data` at the write position, or returns the error that stopped it.
    std::error_code Write(const void* data, std::size_t size);

  private:
#ifdef _WIN32
    void* handle_ = nullptr;  // a HANDLE; nullptr when closed
#else
    int fd_ = -1;
#endif
};

}  // namespace vestrel::platform::fs
