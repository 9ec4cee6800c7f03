// libFuzzer target for everything the relay reads from a peer before it moves bytes on: the request
// head parser and rewriter, the chunked body reader and the content filter over an answer.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "relay/ChunkedDecoder.h"
#include "relay/HttpHead.h"
#include "relay/RelaySettings.h"
#include "relay/ResponseFilter.h"

namespace {

using namespace vestrel::relay;

void Check(bool condition) {
    if (!condition) std::abort();
}

// What goes on must be one well-formed head that reads back as the same request.
void CheckRewrite(const RequestHead& request, const RelaySettings& settings) {
    const std::string head = RewriteRequestHead(request, settings, true);
    Check(FindHeadEnd(head) == head.size());
    if (settings.use_upstream == 0) return;
    const auto again = ParseRequestHead(head);
    Check(again.has_value());
    Check(again->host == request.host && again->port == request.port);
    Check(again->framing == request.framing && again->content_length == request.content_length);
    Check(again->is_connect == request.is_connect);
}

void FuzzRequest(std::string_view input) {
    const auto end = FindHeadEnd(input);
    if (!end) return;
    const auto request = ParseRequestHead(input.substr(0, *end));
    if (!request) return;
    Check(!request->host.empty() && request->port != 0);
    CheckRewrite(*request, MakeRelaySettings(1, "127.0.0.1", 3128, "", ""));
    CheckRewrite(*request, MakeRelaySettings(1, "127.0.0.1", 3128, "user", "pa:ss"));
    CheckRewrite(*request, MakeRelaySettings(0, "", 0, "", ""));
}

// The filter never changes the length of an answer, and with both switches off changes nothing.
void FuzzAnswer(std::string_view input, std::size_t block, FilterSwitches switches) {
    ResponseFilter filter(switches);
    std::string out;
    for (std::size_t at = 0; at < input.size(); at += block) {
        const std::string_view piece = input.substr(at, block);
        filter.Feed(piece.data(), piece.size(), out);
    }
    filter.Finish(out);
    Check(out.size() == input.size());
    if (!switches.Any()) Check(out == input);
}

void FuzzChunked(std::string_view input, std::size_t block) {
    ChunkedDecoder decoder;
    std::size_t taken = 0;
    for (std::size_t at = 0; at < input.size() && !decoder.Done() && !decoder.Failed(); at += block) {
        const std::string_view piece = input.substr(at, block);
        const std::size_t used = decoder.Feed(
            piece.data(), piece.size(),
            [&](std::size_t offset, std::size_t length) { Check(offset + length <= piece.size()); });
        Check(used <= piece.size());
        taken += used;
    }
    Check(taken <= input.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    FuzzRequest(input);
    const std::size_t block = size == 0 ? 1 : 1 + data[0] % 64;
    FuzzAnswer(input, block, {true, true});
    FuzzAnswer(input, block, {false, false});
    FuzzChunked(input, block);
    return 0;
}
