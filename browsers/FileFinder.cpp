// The folder walk over the platform's folder listing.
#include "browsers/FileFinder.h"

#include "platform/fs/Directory.h"
#include "platform/fs/Files.h"

namespace vestrel::browsers {
namespace {

namespace fs = platform::fs;

void TrimTrailingSeparators(std::string& path) {
    // Paths written with backslashes lose those; any other path loses its slashes.
    const char separator = path.find('\\') != std::string::npos ? '\\' : '/';
    while (!path.empty() && path.back() == separator) path.pop_back();
}

}  // namespace

void FileFinder::ClearFolders() { folders_.clear(); }

bool FileFinder::AddFolder(std::string path, bool recurse) {
    TrimTrailingSeparators(path);
    const bool walked = !recurse || !fs::IsDirectory(path) || Walk(path, 0);
    folders_.push_back(std::move(path));
    return walked;
}

bool FileFinder::Walk(const std::string& folder, int depth) {
    std::vector<fs::DirectoryEntry> entries;
    if (fs::ListDirectory(folder, entries)) return false;
    for (const fs::DirectoryEntry& entry : entries) {
        if (!entry.is_directory || entry.is_link) continue;
        std::string child = fs::JoinPath(folder, entry.name);
        if (depth + 1 < kMaxDepth && !Walk(child, depth + 1)) return false;
        folders_.push_back(std::move(child));
    }
    return true;
}

bool FileFinder::FindFiles(std::string_view name, bool want_files, bool want_folders) {
    for (const std::string& folder : folders_) {
        if (folder.empty()) continue;
        std::string path = fs::JoinPath(folder, name);
        if (fs::FileExists(path)) {
            if (want_files) found_.push_back({std::move(path), false});
        } else if (fs::IsDirectory(path)) {
            if (want_folders) found_.push_back({std::move(path), true});
        }
    }
    return true;
}

}  // namespace vestrel::browsers
