// The active content filter: renames script and object tags in a page as it streams to the browser,
// so that the browser no longer recognises them.
#pragma once

#include <array>
#include <cstddef>
#include <optional>

namespace vestrel::relay {

struct FilterSwitches {
    bool block_js = false;       // "EnableJS"
    bool block_activex = false;  // "EnableActiveX"
    bool Any() const { return block_js || block_activex; }
};

// The four tags are matched without regard to case on the page's own bytes, and only the bytes of a
// matched tag are overwritten, each replacement as long as the tag, so that every other byte and a
// Content-Length stay true. A tag may arrive over any number of blocks: the filter remembers where
// the bytes of a tag begun but not finished lie, and the caller holds those bytes back until the tag
// is either complete (and rewritten) or proven not to be one.
class ContentFilter {
  public:
    explicit ContentFilter(FilterSwitches switches) : switches_(switches) {}

    bool Enabled() const { return switches_.Any(); }

    // Scans buffer[begin, end), the next bytes of the page after those scanned before, rewriting
    // in place every tag that completes. Bytes of an unfinished tag may lie before `begin` (held
    // back by the caller since an earlier call); they are rewritten where they lie.
    void apply(char* buffer, std::size_t begin, std::size_t end);

    // Position of the first byte that a later call may still rewrite; nullopt when none.
    std::optional<std::size_t> heldFrom() const;

    // The caller removed `count` bytes from the front of its buffer.
    void rebase(std::size_t count);

    // The page ended (or the rest is not page data): an unfinished tag stays as it is.
    void reset() { matched_ = 0; }

    static constexpr std::size_t kLongestTag = 9;

  private:
    bool TryComplete(char* buffer);

    FilterSwitches switches_;
    std::array<char, kLongestTag> lowered_{};
    std::array<std::size_t, kLongestTag> positions_{};
    std::size_t matched_ = 0;
};

}  // namespace vestrel::relay
