// Runs the content filter over the body of one answer as it streams past: the head is read to learn
// whether the body is text the filter may touch, chunk framing is stepped over, and bytes that an
// unfinished tag might still change are held back until the tag is decided.
#pragma once

#include <cstddef>
#include <string>

#include "relay/ChunkedDecoder.h"
#include "relay/ContentFilter.h"

namespace vestrel::relay {

class ResponseFilter {
  public:
    explicit ResponseFilter(FilterSwitches switches) : filter_(switches) {}

    // Takes the next bytes of the answer and appends to `out` the bytes that may go to the browser.
    void Feed(const char* data, std::size_t size, std::string& out);
    // The answer ended: whatever is held goes out as it is.
    void Finish(std::string& out);

    // How many bytes are held back at most: a head being read, or the bytes of an unfinished tag.
    std::size_t Held() const { return pending_.size(); }

  private:
    enum class Mode { Head, Body, PassThrough };

    void FeedBody(const char* data, std::size_t size, std::string& out);

    Mode mode_ = Mode::Head;
    bool chunked_ = false;
    std::string pending_;
    ContentFilter filter_;
    ChunkedDecoder decoder_;
};

}  // namespace vestrel::relay
