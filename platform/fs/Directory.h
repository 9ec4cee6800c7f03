// Folder listing and removal for the folder walks (the cleaner's wipes, the browsers' profile search).
// Links (symbolic links, junctions and other reparse points) are reported as such and never followed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace vestrel::platform::fs {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
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
// Removes a file, or a link of any kind (never what it points to).
std::error_code RemoveFile(const std::string& path);
// Removes an empty folder, or a link to a folder (never what it points to).
std::error_code RemoveEmptyDirectory(const std::string& path);
// Clears the read-only attribute (natively: adds the owner's write permission).
std::error_code MakeWritable(const std::string& path);
std::error_code MakeDirectory(const std::string& path);

}  // namespace vestrel::platform::fs
