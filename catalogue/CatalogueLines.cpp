// Assembling and cutting the downloaded proxy list.
#include "catalogue/CatalogueLines.h"

#include "catalogue/ProxyText.h"

namespace vestrel::catalogue {

void BodyAssembler::Feed(std::string_view bytes) {
    received_ += bytes.size();
    while (!bytes.empty()) {
        const std::size_t room = kReadSize - read_.size();
        const std::size_t newline = bytes.substr(0, room).find('\n');
        const std::size_t take =
            newline == std::string_view::npos ? std::min(room, bytes.size()) : newline + 1;
        read_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (newline != std::string_view::npos || read_.size() == kReadSize) EndRead();
    }
}

void BodyAssembler::Finish() {
    if (!read_.empty()) EndRead();
}

void BodyAssembler::EndRead() {
    std::string_view text = read_;
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    for (const char c : text) {
        if (c == '\n') body_ += '\r';
        body_ += c;
    }
    read_.clear();
}

std::string_view TrimPiece(std::string_view piece) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t first = piece.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = piece.find_last_not_of(kBlanks);
    return piece.substr(first, last - first + 1);
}

bool IsNullPiece(std::string_view piece) {
    if (piece == "null") return true;
    return piece.substr(0, piece.find(kCountryArrow)).find("null") != std::string_view::npos;
}

void ForEachCatalogueLine(std::string_view body, const std::function<void(std::string_view)>& action) {
    for (std::size_t separator = body.find(kCatalogueSeparator); separator != std::string_view::npos;
         separator = body.find(kCatalogueSeparator)) {
        const std::string_view piece = TrimPiece(body.substr(0, separator));
        body.remove_prefix(separator + kCatalogueSeparator.size());
        if (piece.empty() || IsNullPiece(piece)) continue;
        action(piece);
    }
}

int CatalogueImageIndex(std::string_view line) { return SupportsPost(line) ? 1 : 0; }

}  // namespace vestrel::catalogue
