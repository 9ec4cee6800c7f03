// Emptying the browser's folders: the walk that removes everything below a folder but the folder itself,
// and the zeroing of index files that a running browser keeps open and so cannot be deleted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vestrel::cleaner {

// An index file keeps its header; everything after it is overwritten with zeros, a piece at a time.
inline constexpr std::uint64_t kIndexHeaderBytes = 64;
inline constexpr std::size_t kZeroPieceBytes = 10000;

// What the zeroing writes to: an open file in the program, a recorder in tests.
class ZeroFillTarget {
  public:
    virtual ~ZeroFillTarget() = default;
    virtual bool Size(std::uint64_t& size) = 0;
    virtual bool Seek(std::uint64_t offset) = 0;
    virtual bool Write(const void* data, std::size_t size) = 0;
};

// Overwrites `file` with zeros from kIndexHeaderBytes to its end, in pieces of at most kZeroPieceBytes.
// A file no longer than the header is left as it is. True when every piece was written.
bool ZeroAfterHeader(ZeroFillTarget& file);

// Zeroes the index file `name` in `folder` past its header; true when the file could be opened.
bool zeroIndexFile(const std::string& folder, const std::string& name);

// Removes everything below `folder`, never the folder itself, and never anything a link leads to: links
// are removed as links. "desktop.ini" files are kept unless `delete_desktop_ini`; with
// `zero_index_file`, an "index.dat" is zeroed before it is deleted, so that one held open by the browser
// loses its contents all the same. Read-only entries are made writable first. Entries whose path would
// be longer than the system takes are skipped. True when the folder could be listed.
bool wipeFolder(const std::string& folder, bool delete_desktop_ini, bool zero_index_file);

}  // namespace vestrel::cleaner
