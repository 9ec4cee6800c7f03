// The streaming tag matcher of the content filter.
#include "relay/ContentFilter.h"

#include <cstring>
#include <string_view>

namespace vestrel::relay {
namespace {

struct Rule {
    std::string_view tag;
    std::string_view replacement;  // as long as the tag
    bool js;
};

// Every tag starts with '<' and holds no other '<', so a failed partial match can only restart at
// the byte that broke it.
constexpr Rule kRules[] = {
    {"<script", "<noscri", true},
    {"</script>", "</noscri>", true},
    {"<object", "<noobj ", false},
    {"</object>", "</noobj> ", false},
};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

// Returns true while the bytes matched so far may still become an enabled tag; rewrites and clears
// the match when one is complete.
bool ContentFilter::TryComplete(char* buffer) {
    const std::string_view seen(lowered_.data(), matched_);
    bool prefix = false;
    for (const Rule& rule : kRules) {
        if (!(rule.js ? switches_.block_js : switches_.block_activex)) continue;
        if (rule.tag.substr(0, matched_) != seen) continue;
        if (rule.tag.size() == matched_) {
            for (std::size_t k = 0; k < matched_; ++k) buffer[positions_[k]] = rule.replacement[k];
            matched_ = 0;
            return true;
        }
        prefix = true;
    }
    return prefix;
}

void ContentFilter::apply(char* buffer, std::size_t begin, std::size_t end) {
    if (!switches_.Any()) return;
    std::size_t i = begin;
    while (i < end) {
        if (matched_ == 0) {
            const void* found = std::memchr(buffer + i, '<', end - i);
            if (found == nullptr) return;
            i = static_cast<std::size_t>(static_cast<const char*>(found) - buffer);
            lowered_[0] = '<';
            positions_[0] = i;
            matched_ = 1;
            ++i;
            continue;
        }
        const char c = buffer[i];
        lowered_[matched_] = Lower(c);
        positions_[matched_] = i;
        ++matched_;
        if (!TryComplete(buffer)) {
            matched_ = 0;
            if (c == '<') continue;  // this byte may begin a tag of its own: look at it again
        }
        ++i;
    }
}

std::optional<std::size_t> ContentFilter::heldFrom() const {
    if (matched_ == 0) return std::nullopt;
    return positions_[0];
}

void ContentFilter::rebase(std::size_t count) {
    for (std::size_t k = 0; k < matched_; ++k) positions_[k] -= count;
}

}  // namespace vestrel::relay
