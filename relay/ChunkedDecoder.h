// Finds the data bytes and the end of a chunked body as it streams past, without changing a byte:
// the relay forwards chunked bodies as they come and only needs to know where the data is (for the
// content filter) and where the body ends (so that nothing after it is taken for part of it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace vestrel::relay {

class ChunkedDecoder {
  public:
    // Called with the offset and length, within the block fed, of a run of chunk data.
    using DataSink = std::function<void(std::size_t offset, std::size_t length)>;

    // Reads `size` more bytes of the body. Returns how many of them belong to the body: all of them
    // until the end is reached, fewer when the body ends inside this block.
    std::size_t Feed(const char* data, std::size_t size, const DataSink& sink);

    bool Done() const { return state_ == State::Done; }
    bool Failed() const { return state_ == State::Failed; }

  private:
    enum class State {
        Size,          // hex digits of a chunk size
        Extension,     // ";name=value" after the size, up to CR
        SizeLf,        // LF after the size line's CR
        Data,          // chunk data
        DataCr,        // CR after the data
        DataLf,        // LF after the data
        TrailerStart,  // first byte of a trailer line, or CR of the final blank line
        Trailer,       // inside a trailer line
        TrailerLf,     // LF ending a trailer line
        FinalLf,       // LF of the blank line that ends the body
        Done,
        Failed,
    };

    State state_ = State::Size;
    std::uint64_t remaining_ = 0;
    int digits_ = 0;
};

}  // namespace vestrel::relay
