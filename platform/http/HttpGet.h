// The HTTP GET service: one plain GET of one URL, directly or through a given proxy, its status and its
// body handed over as it arrives. WinInet in the Windows build (HTTP and HTTPS), the sockets service
// natively (HTTP only: there is no TLS library in the native build).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace vestrel::platform::http {

struct Url {
    std::string host;
    std::uint16_t port = 80;
    std::string path = "/";
    bool https = false;
};

// "http://host[:port]/path" (the scheme may be left out); nothing for other schemes, an empty host or a
// port outside 1..65535.
std::optional<Url> ParseUrl(std::string_view url);
// "https://host[:port]/path" (the scheme is required), port 443 unless given; nothing otherwise. The
// list addresses stay plain HTTP: only the judge is asked over HTTPS.
std::optional<Url> ParseHttpsUrl(std::string_view url);
// The decimal port of an address, 1..65535; nothing for anything else (a sign, a blank, a 0).
std::optional<std::uint16_t> ParsePort(std::string_view digits);

struct GetOptions {
    // Agent name sent with the request.
    std::string agent = "Vestrel";
    std::chrono::milliseconds connect_timeout{10000};
    // Longest wait for any one piece of the answer.
    std::chrono::milliseconds receive_timeout{10000};
    // A body longer than this is not taken in: the transfer ends as failed.
    std::size_t max_body_bytes = 32u << 20;
    // When set and true, the transfer ends as failed at its next wait (checked at least every 200 ms).
    const std::atomic<bool>* cancel = nullptr;
    // "host:port" of a proxy to send the request through (HTTPS through a CONNECT tunnel). Empty: the
    // system's own settings in the Windows build, direct natively.
    std::string proxy;
    // With no `proxy`: straight to the server even when the system's settings name a proxy (they
    // point at our own relay while anonymity is on).
    bool direct = false;
    // An HTTPS server's certificate is taken whoever signed it, for whatever name and dates. Only for
    // requests whose answer is read as an echo of what arrived and trusted for nothing else.
    bool accept_any_certificate = false;
};

struct GetResult {
    // The whole answer arrived: the status line, the headers and every byte of the body that the
    // headers announced (or, without a length, everything up to the server's close).
    bool complete = false;
    int status = 0;
    // The header block as received, CR LF separated.
    std::string raw_headers;
    std::size_t body_bytes = 0;
    std::error_code error;
};

using BodySink = std::function<void(std::string_view bytes)>;

// Blocks for the whole transfer, within the time limits of `options`.
GetResult Get(const Url& url, const GetOptions& options, const BodySink& sink);

}  // namespace vestrel::platform::http
