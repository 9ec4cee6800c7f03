// The HTTP GET service of the native build, over the sockets service: an HTTP/1.0 request (so that no
// server may answer in chunks) and a body delimited by Content-Length or by the server's close. Through
// a proxy the request line carries the whole address. There is no TLS here: HTTPS is refused.
#include <algorithm>
#include <array>
#include <optional>
#include <tuple>
#include <utility>

#include "platform/http/HttpGet.h"
#include "platform/net/Socket.h"

namespace vestrel::platform::http {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
constexpr milliseconds kCancelCheck{200};

std::string Lowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lowered;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// Parses "HTTP/1.x NNN ..." and the two headers that delimit the body.
struct HeaderFacts {
    int status = 0;
    std::optional<std::size_t> content_length;
    bool chunked = false;
    bool valid = false;
};

HeaderFacts ReadHeaderFacts(std::string_view block) {
    HeaderFacts facts;
    const std::size_t line_end = block.find("\r\n");
    const std::string_view status_line = block.substr(0, line_end);
    if (status_line.substr(0, 5) != "HTTP/") return facts;
    const std::size_t space = status_line.find(' ');
    if (space == std::string_view::npos || status_line.size() < space + 4) return facts;
    int status = 0;
    for (std::size_t i = space + 1; i < space + 4; ++i) {
        if (status_line[i] < '0' || status_line[i] > '9') return facts;
        status = status * 10 + (status_line[i] - '0');
    }
    facts.status = status;
    std::size_t start = line_end == std::string_view::npos ? block.size() : line_end + 2;
    while (start < block.size()) {
        std::size_t end = block.find("\r\n", start);
        if (end == std::string_view::npos) end = block.size();
        const std::string_view line = block.substr(start, end - start);
        start = end + 2;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string name = Lowered(TrimBlanks(line.substr(0, colon)));
        const std::string_view value = TrimBlanks(line.substr(colon + 1));
        if (name == "content-length") {
            if (value.empty() || value.size() > 15) return facts;
            std::size_t length = 0;
            for (const char c : value) {
                if (c < '0' || c > '9') return facts;
                length = length * 10 + static_cast<std::size_t>(c - '0');
            }
            facts.content_length = length;
        } else if (name == "transfer-encoding" && Lowered(value).find("chunked") != std::string::npos) {
            facts.chunked = true;
        }
    }
    facts.valid = true;
    return facts;
}

class Receiver {
  public:
    Receiver(net::Socket& socket, const GetOptions& options) : socket_(socket), options_(options) {}

    // Bytes received, 0 at the server's close, negative on error (error_ tells which).
    std::ptrdiff_t Receive(char* buffer, std::size_t size) {
        const auto deadline = Clock::now() + options_.receive_timeout;
        for (;;) {
            if (options_.cancel != nullptr && options_.cancel->load()) {
                error_ = std::make_error_code(std::errc::operation_canceled);
                return -1;
            }
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                error_ = std::make_error_code(std::errc::timed_out);
                return -1;
            }
            std::array<net::PollItem, 1> item{};
            item[0].socket = socket_.Handle();
            item[0].want_read = true;
            const int ready = net::Poll(item, std::min(left, kCancelCheck));
            if (ready < 0) {
                error_ = net::LastError();
                return -1;
            }
            if (ready == 0) continue;
            const std::ptrdiff_t got = socket_.Receive(buffer, size);
            if (got < 0) error_ = net::LastError();
            return got;
        }
    }

    std::error_code Error() const { return error_; }

  private:
    net::Socket& socket_;
    const GetOptions& options_;
    std::error_code error_;
};

// "host:port" split; nothing when the port is missing or out of range.
std::optional<std::pair<std::string, std::uint16_t>> SplitProxy(std::string_view proxy) {
    const std::size_t colon = proxy.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    const std::optional<std::uint16_t> port = ParsePort(proxy.substr(colon + 1));
    if (!port) return std::nullopt;
    return std::make_pair(std::string(proxy.substr(0, colon)), *port);
}

}  // namespace

GetResult Get(const Url& url, const GetOptions& options, const BodySink& sink) {
    GetResult result;
    if (url.https) {
        result.error = std::make_error_code(std::errc::protocol_not_supported);
        return result;
    }
    std::string host = url.host;
    std::uint16_t port = url.port;
    std::string authority = url.host;
    if (url.port != 80) authority += ":" + std::to_string(url.port);
    std::string target = url.path;
    if (!options.proxy.empty()) {
        const auto proxy = SplitProxy(options.proxy);
        if (!proxy) {
            result.error = std::make_error_code(std::errc::invalid_argument);
            return result;
        }
        std::tie(host, port) = *proxy;
        target = "http://" + authority + url.path;
    }
    net::Socket socket = net::ConnectTcp(host, port, options.connect_timeout, result.error);
    if (!socket.Valid()) return result;

    std::string request = "GET " + target + " HTTP/1.0\r\nHost: " + authority;
    request += "\r\nUser-Agent: " + options.agent + "\r\nAccept: */*\r\n\r\n";
    socket.SetSendTimeout(options.receive_timeout);
    if (!socket.SendAll(request)) {
        result.error = net::LastError();
        return result;
    }

    Receiver receiver(socket, options);
    std::array<char, 16384> buffer{};
    std::string head;
    std::size_t header_end = std::string::npos;
    while (header_end == std::string::npos) {
        const std::ptrdiff_t got = receiver.Receive(buffer.data(), buffer.size());
        if (got <= 0) {
            result.error = got == 0 ? std::make_error_code(std::errc::connection_aborted) : receiver.Error();
            return result;
        }
        head.append(buffer.data(), static_cast<std::size_t>(got));
        header_end = head.find("\r\n\r\n");
        if (header_end == std::string::npos && head.size() > kMaxHeaderBytes) {
            result.error = std::make_error_code(std::errc::protocol_error);
            return result;
        }
    }
    result.raw_headers = head.substr(0, header_end + 4);
    const HeaderFacts facts = ReadHeaderFacts(result.raw_headers);
    if (!facts.valid || facts.chunked) {
        result.error = std::make_error_code(std::errc::protocol_error);
        return result;
    }
    result.status = facts.status;

    const auto take = [&](std::string_view bytes) -> bool {
        if (facts.content_length) bytes = bytes.substr(0, *facts.content_length - result.body_bytes);
        if (result.body_bytes + bytes.size() > options.max_body_bytes) {
            result.error = std::make_error_code(std::errc::file_too_large);
            return false;
        }
        result.body_bytes += bytes.size();
        if (sink && !bytes.empty()) sink(bytes);
        return true;
    };
    const auto finished = [&] { return facts.content_length && result.body_bytes >= *facts.content_length; };

    if (!take(std::string_view(head).substr(header_end + 4))) return result;
    while (!finished()) {
        const std::ptrdiff_t got = receiver.Receive(buffer.data(), buffer.size());
        if (got < 0) {
            result.error = receiver.Error();
            return result;
        }
        if (got == 0) {
            // A close before the announced length is a cut transfer, not a short list.
            if (facts.content_length) {
                result.error = std::make_error_code(std::errc::connection_aborted);
                return result;
            }
            break;
        }
        if (!take(std::string_view(buffer.data(), static_cast<std::size_t>(got)))) return result;
    }
    result.complete = true;
    return result;
}

}  // namespace vestrel::platform::http
