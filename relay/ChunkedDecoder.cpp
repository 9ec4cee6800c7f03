// The chunked body state machine.
#include "relay/ChunkedDecoder.h"

#include <algorithm>

namespace vestrel::relay {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::size_t ChunkedDecoder::Feed(const char* data, std::size_t size, const DataSink& sink) {
    std::size_t i = 0;
    while (i < size && state_ != State::Done && state_ != State::Failed) {
        const char c = data[i];
        switch (state_) {
            case State::Size:
                if (const int digit = HexValue(c); digit >= 0) {
                    // Sixteen hex digits are already past any body worth sending.
                    if (++digits_ > 15) {
                        state_ = State::Failed;
                        break;
                    }
                    remaining_ = remaining_ * 16 + static_cast<unsigned>(digit);
                } else if (digits_ > 0 && (c == ';' || c == ' ' || c == '\t')) {
                    state_ = State::Extension;
                } else if (digits_ > 0 && c == '\r') {
                    state_ = State::SizeLf;
                } else {
                    state_ = State::Failed;
                }
                ++i;
                break;
            case State::Extension:
                if (c == '\r')
                    state_ = State::SizeLf;
                else if (c == '\n')
                    state_ = State::Failed;
                ++i;
                break;
            case State::SizeLf:
                if (c != '\n') {
                    state_ = State::Failed;
                } else {
                    digits_ = 0;
                    state_ = remaining_ == 0 ? State::TrailerStart : State::Data;
                }
                ++i;
                break;
            case State::Data: {
                const std::size_t run =
                    static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, size - i));
                if (sink) sink(i, run);
                remaining_ -= run;
                i += run;
                if (remaining_ == 0) state_ = State::DataCr;
                break;
            }
            case State::DataCr:
                state_ = c == '\r' ? State::DataLf : State::Failed;
                ++i;
                break;
            case State::DataLf:
                state_ = c == '\n' ? State::Size : State::Failed;
                ++i;
                break;
            case State::TrailerStart:
                state_ = c == '\r' ? State::FinalLf : (c == '\n' ? State::Failed : State::Trailer);
                ++i;
                break;
            case State::Trailer:
                if (c == '\r')
                    state_ = State::TrailerLf;
                else if (c == '\n')
                    state_ = State::Failed;
                ++i;
                break;
            case State::TrailerLf:
                state_ = c == '\n' ? State::TrailerStart : State::Failed;
                ++i;
                break;
            case State::FinalLf:
                state_ = c == '\n' ? State::Done : State::Failed;
                ++i;
                break;
            case State::Done:
            case State::Failed:
                break;
        }
    }
    return i;
}

}  // namespace vestrel::relay
