// libFuzzer target for everything the relay reads from a peer before it moves bytes on: the request
// head parser and rewriter, the chunked body reader, the answer reader with its framing, head
// rewriting and content filter, and a hostile SOCKS proxy's replies.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "relay/ChunkedDecoder.h"
#include "relay/HttpHead.h"
#include "relay/RelaySettings.h"
#include "relay/ResponseStream.h"
#include "relay/SocksHandshake.h"

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

// Reads `input` as an answer in blocks of `block`; gives what the browser gets and how much of the
// input belonged to the answer.
struct Relayed {
    std::string out;
    std::size_t used = 0;
    bool done = false;
    bool failed = false;
    bool keeps_browser = false;
};

Relayed ReadAnswer(std::string_view input, std::size_t block, FilterSwitches switches, bool head_request) {
    ResponseStream stream(head_request, switches);
    stream.AllowKeepAlive(true);
    Relayed relayed;
    for (std::size_t at = 0; at < input.size(); at += block) {
        const std::string_view piece = input.substr(at, block);
        const std::size_t used = stream.Feed(piece.data(), piece.size(), relayed.out);
        Check(used <= piece.size());
        relayed.used += used;
        if (used < piece.size()) {
            Check(stream.Done() || stream.Tunnel());
            break;
        }
        if (stream.Done() || stream.Failed()) break;
    }
    relayed.done = stream.Done();
    relayed.failed = stream.Failed();
    relayed.keeps_browser = stream.KeepsBrowser();
    // A connection kept open needs an answer whose end is exactly known.
    if (stream.KeepsBrowser()) Check(!stream.Failed());
    stream.Finish(relayed.out);
    return relayed;
}

// The filter never changes what the framing reads: the same bytes of the input make the answer, and
// the browser gets as many bytes with the filter as without it. Fed whole or in blocks, an answer
// ends at the same byte.
void FuzzAnswer(std::string_view input, std::size_t block, bool head_request) {
    const Relayed plain = ReadAnswer(input, block, {false, false}, head_request);
    const Relayed filtered = ReadAnswer(input, block, {true, true}, head_request);
    const Relayed whole = ReadAnswer(input, input.size() + 1, {false, false}, head_request);
    Check(plain.used == filtered.used && plain.out.size() == filtered.out.size());
    Check(plain.out == whole.out && plain.done == whole.done && plain.failed == whole.failed);
    // Broken framing takes the rest of the block it was found in; an answer read to its end, no more.
    if (!plain.failed) Check(plain.used == whole.used && plain.keeps_browser == whole.keeps_browser);
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

// The proxy's bytes fed in blocks: the handshake never takes more than it was given, ends open only
// after sending its request, and a refusal always says why. Whole or in blocks, the same verdict at
// the same byte.
struct SocksVerdict {
    SocksHandshake::State state;
    std::size_t used;
    std::string sent;
};

SocksVerdict ReadSocks(UpstreamProtocol protocol, std::string_view user, std::string_view input,
                       std::size_t block) {
    SocksHandshake handshake(protocol, user, "secret", "origin.example", 443);
    SocksVerdict verdict{handshake.Current(), 0, handshake.TakeOutgoing()};
    for (std::size_t at = 0; at < input.size() && handshake.Current() == SocksHandshake::State::Talking;
         at += block) {
        const std::string_view piece = input.substr(at, block);
        const std::size_t used = handshake.Feed(piece.data(), piece.size());
        Check(used <= piece.size());
        verdict.used += used;
        verdict.sent += handshake.TakeOutgoing();
    }
    verdict.state = handshake.Current();
    if (verdict.state == SocksHandshake::State::Refused || verdict.state == SocksHandshake::State::Broken)
        Check(!handshake.Reason().empty());
    // The name goes to the proxy; the relay never looks it up.
    if (verdict.state == SocksHandshake::State::Open)
        Check(verdict.sent.find("origin.example") != std::string::npos);
    return verdict;
}

void FuzzSocks(std::string_view input, std::size_t block) {
    for (const auto protocol : {UpstreamProtocol::Socks5, UpstreamProtocol::Socks4a}) {
        for (const std::string_view user : {"", "user"}) {
            const SocksVerdict pieces = ReadSocks(protocol, user, input, block);
            const SocksVerdict whole = ReadSocks(protocol, user, input, input.size() + 1);
            Check(pieces.state == whole.state && pieces.sent == whole.sent);
            if (whole.state == SocksHandshake::State::Open) Check(pieces.used == whole.used);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    FuzzRequest(input);
    const std::size_t block = size == 0 ? 1 : 1 + data[0] % 64;
    FuzzAnswer(input, block, size > 1 && (data[1] & 1) != 0);
    FuzzChunked(input, block);
    FuzzSocks(input, block);
    return 0;
}
