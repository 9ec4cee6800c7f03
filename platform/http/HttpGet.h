// The HTTP GET service: one plain GET of one URL, its status and its body handed over as it arrives.
// WinInet in the Windows build, the sockets service natively.
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
};

// "http://host[:port]/path" (the scheme may be left out); nothing for other schemes, an empty host or a
// port outside 1..65535.
std::optional<Url> ParseUrl(std::string_view url);
// "https://host[:port]/path" (the scheme is required), port 443 unless given; nothing otherwise. The
// GET service speaks plain HTTP only: this is for callers that reach such an address themselves.
std::optional<Url> ParseHttpsUrl(std::string_view url);

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
