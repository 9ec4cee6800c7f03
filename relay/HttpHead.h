// Parsing of the browser's request head, its rewriting for the route chosen, and the little the relay
// needs to know of an answer's head. Pure functions over bytes: nothing here touches a socket.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "relay/RelaySettings.h"

namespace vestrel::relay {

inline constexpr std::size_t kMaxHeadBytes = 64 * 1024;

struct HeaderField {
    std::string name;
    std::string value;
};

enum class BodyFraming {
    None,     // no body follows the head
    Length,   // exactly content_length bytes
    Chunked,  // chunks up to the last one and its trailer
};

struct RequestHead {
    std::string method;
    std::string target;
    std::string version;
    std::vector<HeaderField> headers;  // in arrival order
    std::string host;                  // the destination, without its port
    std::uint16_t port = 80;
    std::string host_field;  // the Host value as sent, port included
    bool is_connect = false;
    BodyFraming framing = BodyFraming::None;
    std::uint64_t content_length = 0;
};

// Where the blank line that ends a head is: the offset just past it, or nullopt when the head is not
// complete in `bytes` yet.
std::optional<std::size_t> FindHeadEnd(std::string_view bytes);

// Parses a complete request head (ending in the blank line). nullopt for anything a sound proxy must
// not pass on: a bad request line, a NUL or another control byte, a header line without a name, a
// destination that cannot be found, a body whose length cannot be known.
std::optional<RequestHead> ParseRequestHead(std::string_view head);

// The head sent on: request line for the route (absolute URL to an upstream proxy, path only to the
// web server), hop-by-hop and conditional headers left out, "Connection: keep-alive" (or "close"
// when `keep_alive` is false), the proxy authorisation line when there is one, and the blank line.
// `drop_accept_encoding` asks the server for an uncompressed answer, which the content filter can read.
std::string RewriteRequestHead(const RequestHead& request, const RelaySettings& settings,
                               bool drop_accept_encoding, bool keep_alive = true);

// Whether the browser asked to keep its connection open after this request: HTTP/1.1 unless it said
// "close", HTTP/1.0 only when it said "keep-alive" (in Connection or Proxy-Connection).
bool WantsKeepAlive(const RequestHead& request);

// The path that goes to the web server itself for a target in absolute form.
std::string PathOfTarget(std::string_view target);

// A short complete answer with a plain-text body, for requests the relay refuses itself.
std::string ShortAnswer(int status, std::string_view reason);
// The answer when the upstream proxy cannot be reached, refuses, or closes before answering: a
// "502 Bad Gateway" whose page names the proxy and the time (`when`), so the browser shows why
// nothing came instead of an empty response. `reason`, when given, says in words what went wrong.
std::string ProxyUnreachableAnswer(std::string_view host, std::uint16_t port, std::string_view when,
                                   std::string_view reason = {});
// Whether `request` names the relay itself: an absolute URL or CONNECT whose destination is a
// loopback address or "localhost" at `own_port`, the port the relay listens on. Sent on, it would come
// back to the relay through the upstream, and again, until every connection is taken.
bool NamesRelayItself(const RequestHead& request, std::uint16_t own_port);
// Whether the request line holds only a path ("GET / HTTP/1.1"), as sent to a web server rather than to
// a proxy: the relay cannot know where it was meant to go.
bool IsOriginForm(const RequestHead& request);
// "400 Bad Request" with a one-line page saying what the relay is and how to use it (`own_port`).
std::string OriginFormAnswer(std::uint16_t own_port);
// "508 Loop Detected": the request named the relay itself.
std::string LoopAnswer();
// The reason given when the proxy took the request and sent nothing back within the limit.
inline constexpr std::string_view kNoAnswerInTime = "it did not answer in time";

struct ResponseHead {
    int status = 0;
    std::vector<HeaderField> headers;
    bool chunked = false;
    bool textual = false;  // HTML or another text type, not encoded: the filter may read it
    bool has_transfer_coding = false;
    std::optional<std::uint64_t> content_length;
    // Two different lengths, a length that is no number, or a length beside a transfer coding:
    // hops may disagree on where such a body ends.
    bool ambiguous_length = false;
    // The server closes after this answer: "close" said, or HTTP/1.0 without "keep-alive".
    bool closes = false;
};

// Parses an answer's head (ending in the blank line); nullopt when it is not HTTP.
std::optional<ResponseHead> ParseResponseHead(std::string_view head);

enum class AnswerFraming {
    None,     // no body: HEAD, 1xx, 204, 304
    Length,   // exactly content_length bytes
    Chunked,  // up to the last chunk and its trailer
    Close,    // up to the server's close
};

// Where the body of an answer to a request (`head_request`: the method was HEAD) ends. An ambiguous
// length is read as close-delimited: nothing after such an answer is trusted.
AnswerFraming FramingOf(const ResponseHead& response, bool head_request);

// The answer's head as the browser gets it: every line kept but the hop-by-hop Connection,
// Keep-Alive and Proxy-Connection, which are replaced by one "Connection" line telling the truth
// about the browser's connection.
std::string RewriteResponseHead(std::string_view head, bool keep_alive);

bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace vestrel::relay
