// Collects folders (optionally a whole tree, children before their parent) and then the files or
// folders of one name inside them, in that order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vestrel::browsers {

class FileFinder {
  public:
    struct Match {
        std::string path;  // folder, separator, name
        bool is_directory = false;
    };

    // Deepest level below the added folder that a recursive walk still enters.
    static constexpr int kMaxDepth = 32;

    void ClearFolders();
    // Adds `path` (trailing separators dropped). With `recurse`, first adds every folder below it,
    // depth first, each folder after its own descendants, siblings in the order the system lists them.
    // Links are never followed, so a junction loop cannot trap the walk. False when a folder of the
    // tree could not be listed: the walk ends there, keeping what it found, and `path` is still added.
    bool AddFolder(std::string path, bool recurse);
    // Looks in each collected folder, in order, for an entry called exactly `name` and records it when
    // it is of a wanted kind. An entry that cannot be examined counts as absent, so this is always true.
    bool FindFiles(std::string_view name, bool want_files, bool want_folders);

    const std::vector<std::string>& folders() const { return folders_; }
    const std::vector<Match>& found() const { return found_; }

  private:
    bool Walk(const std::string& folder, int depth);

    std::vector<std::string> folders_;
    std::vector<Match> found_;
};

}  // namespace vestrel::browsers
