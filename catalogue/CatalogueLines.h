// The downloaded proxy list: how the response body is assembled from the bytes received, and how it is
// cut into catalogue lines at the "<br />" separators.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vestrel::catalogue {

inline constexpr std::string_view kCatalogueSeparator = "<br />";

// Builds the body the way the list has always been read: line by line into a 4096-byte buffer (at most
// 4095 bytes per read, a read ending after its LF), a NUL ending the text of the read it occurs in,
// and each LF stored as CR LF.
class BodyAssembler {
  public:
    static constexpr std::size_t kReadSize = 4095;

    void Feed(std::string_view bytes);
    // Ends the last read; the body is complete afterwards.
    void Finish();
    const std::string& Body() const { return body_; }
    std::string TakeBody() { return std::move(body_); }
    // Bytes received, before any change.
    std::size_t ReceivedBytes() const { return received_; }

  private:
    void EndRead();

    std::string body_;
    std::string read_;
    std::size_t received_ = 0;
};

// The piece with the line breaks and blanks around it removed.
std::string_view TrimPiece(std::string_view piece);

// True for a piece that must not become an entry: "null" itself, or one whose address part (before
// "->") contains "null". A country that happens to contain the letters ("Annulled") does not count.
bool IsNullPiece(std::string_view piece);

// Calls `action` once per kept piece, trimmed, in body order. A piece is the text before each
// separator; text after the last separator is never used. Empty pieces are skipped.
void ForEachCatalogueLine(std::string_view body, const std::function<void(std::string_view)>& action);

// The New list's image for a line: 1 when it carries the POST marker at a position greater than 0.
int CatalogueImageIndex(std::string_view line);

}  // namespace vestrel::catalogue
