// The folder walk and the index-file zeroing of the cleaning tasks.
#include "cleaner/FolderWipe.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <vector>

#include "cleaner/CleanerPaths.h"
#include "platform/fs/Directory.h"

namespace vestrel::cleaner {
namespace {

namespace fs = platform::fs;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

class FileTarget final : public ZeroFillTarget {
  public:
    explicit FileTarget(fs::WritableFile& file) : file_(file) {}
    bool Size(std::uint64_t& size) override { return !file_.Size(size); }
    bool Seek(std::uint64_t offset) override { return !file_.Seek(offset); }
    bool Write(const void* data, std::size_t size) override { return !file_.Write(data, size); }

  private:
    fs::WritableFile& file_;
};

}  // namespace

bool ZeroAfterHeader(ZeroFillTarget& file) {
    std::uint64_t size = 0;
    if (!file.Size(size)) return false;
    // A file that is all header (or less) has nothing to zero; writing into it would only make it
    // longer or destroy the header.
    if (size <= kIndexHeaderBytes) return true;
    if (!file.Seek(kIndexHeaderBytes)) return false;
    static constexpr std::array<char, kZeroPieceBytes> kZeros{};
    for (std::uint64_t left = size - kIndexHeaderBytes; left > 0;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, kZeroPieceBytes));
        if (!file.Write(kZeros.data(), piece)) return false;
        left -= piece;
    }
    return true;
}

bool zeroIndexFile(const std::string& folder, const std::string& name) {
    fs::WritableFile file;
    if (fs::WritableFile::OpenExisting(fs::JoinPath(folder, name), file)) return false;
    FileTarget target(file);
    ZeroAfterHeader(target);
    return true;
}

bool wipeFolder(const std::string& folder, bool delete_desktop_ini, bool zero_index_file) {
    // An empty folder name would list the current drive's root.
    if (folder.empty() || fs::JoinPath(folder, "*.*").size() > fs::kMaxPathLength) return false;
    std::vector<fs::DirectoryEntry> entries;
    if (fs::ListDirectory(folder, entries)) return false;
    for (const fs::DirectoryEntry& entry : entries) {
        if (!delete_desktop_ini && EqualsIgnoringCase(entry.name, kDesktopIni)) continue;
        const std::string path = fs::JoinPath(folder, entry.name);
        // Too long for the system: any shorter form of it would name some other entry.
        if (path.size() > fs::kMaxPathLength) continue;
        if (entry.is_link) {
            // Whatever the link leads to lies outside this folder: take the link away, nothing more.
            fs::RemoveFile(path);
            continue;
        }
        if (entry.read_only) fs::MakeWritable(path);
        if (entry.is_directory) {
            wipeFolder(path, delete_desktop_ini, zero_index_file);
            fs::RemoveEmptyDirectory(path);  // stays when something in it survived
            continue;
        }
        if (zero_index_file && EqualsIgnoringCase(entry.name, kIndexFile)) zeroIndexFile(folder, entry.name);
        fs::RemoveFile(path);  // an index file the browser holds open stays, zeroed
    }
    return true;
}

}  // namespace vestrel::cleaner
