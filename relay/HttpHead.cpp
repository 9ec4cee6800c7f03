// Request head parsing and rewriting, and the answer head fields the content filter needs.
#include "relay/HttpHead.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace vestrel::relay {
namespace {

constexpr std::uint64_t kMaxContentLength = std::uint64_t{1} << 53;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsTokenChar(char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenChar);
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// Only printable bytes, tabs and CRLF pairs may appear: a NUL, a lone CR or LF or another control
// byte could make the next hop read a different request than the one checked here.
bool HeadBytesAreSound(std::string_view head) {
    for (std::size_t i = 0; i < head.size(); ++i) {
        const auto c = static_cast<unsigned char>(head[i]);
        if (c == '\r') {
            if (i + 1 >= head.size() || head[i + 1] != '\n') return false;
            ++i;
        } else if (c == '\n' || c == 0x7f || (c < 0x20 && c != '\t')) {
            return false;
        }
    }
    return true;
}

// The lines of a head up to (not including) the blank line.
std::vector<std::string_view> SplitLines(std::string_view head) {
    std::vector<std::string_view> lines;
    while (!head.empty()) {
        const std::size_t end = head.find("\r\n");
        if (end == std::string_view::npos || end == 0) break;
        lines.push_back(head.substr(0, end));
        head.remove_prefix(end + 2);
    }
    return lines;
}

std::optional<std::uint16_t> ParsePort(std::string_view text) {
    unsigned value = 0;
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::from_chars(text.data(), text.data() + text.size(), value);
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

struct Authority {
    std::string host;
    std::uint16_t port;
};

bool IsAuthorityChar(char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    return std::string_view("-._~!$&'()*+,;=:[]%").find(c) != std::string_view::npos;
}

// "host", "host:port", "[v6]" or "[v6]:port"; the port is `default_port` when absent. Only the
// characters a URL allows there: the authority ends up inside a request line sent on, where a blank
// or a stray byte would change what the next hop reads. User information ("user@") is allowed, and
// dropped, only in the authority of an absolute URL.
std::optional<Authority> ParseAuthority(std::string_view text, std::uint16_t default_port,
                                        bool allow_userinfo) {
    if (const std::size_t at = text.rfind('@'); allow_userinfo && at != std::string_view::npos)
        text.remove_prefix(at + 1);
    if (!std::all_of(text.begin(), text.end(), IsAuthorityChar)) return std::nullopt;
    std::string_view host;
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return std::nullopt;
    } else {
        const std::size_t colon = text.find(':');
        host = text.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
    }
    if (host.empty() || host.find_first_of("[]") != std::string_view::npos) return std::nullopt;
    Authority authority{std::string(host), default_port};
    if (!rest.empty()) {
        const auto port = ParsePort(rest.substr(1));
        if (!port) return std::nullopt;
        authority.port = *port;
    }
    return authority;
}

bool IsAbsoluteTarget(std::string_view target) {
    const std::size_t scheme_end = target.find("://");
    return scheme_end != std::string_view::npos && scheme_end > 0 &&
           std::all_of(target.begin(), target.begin() + static_cast<std::ptrdiff_t>(scheme_end),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '+'; });
}

std::string_view AuthorityOfTarget(std::string_view target) {
    std::string_view rest = target.substr(target.find("://") + 3);
    return rest.substr(0, rest.find_first_of("/?#"));
}

// The last coding of a Transfer-Encoding list.
bool EndsInChunked(std::string_view codings) {
    const std::size_t comma = codings.rfind(',');
    const std::string_view last = Trim(comma == std::string_view::npos ? codings : codings.substr(comma + 1));
    return EqualsIgnoreCase(last, "chunked");
}

bool IsDroppedHeader(std::string_view name, bool drop_accept_encoding) {
    static constexpr std::array<std::string_view, 11> kDropped = {
        "Proxy-Connection",  "Keep-Alive",       "TE",
        "Trailer",           "Upgrade",          "If-Match",
        "If-Modified-Since", "If-Range",         "If-Unmodified-Since",
        "If-None-Match",     "Transfer-Encoding"};
    if (drop_accept_encoding && EqualsIgnoreCase(name, "Accept-Encoding")) return true;
    return std::any_of(kDropped.begin(), kDropped.end(),
                       [&](std::string_view dropped) { return EqualsIgnoreCase(name, dropped); });
}

// Whether a comma-separated list holds `token`.
bool HasToken(std::string_view list, std::string_view token) {
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        if (EqualsIgnoreCase(Trim(list.substr(0, comma)), token)) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

bool IsConnectionHeader(std::string_view name) {
    return EqualsIgnoreCase(name, "Connection") || EqualsIgnoreCase(name, "Proxy-Connection");
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

std::optional<std::size_t> FindHeadEnd(std::string_view bytes) {
    const std::size_t end = bytes.find("\r\n\r\n");
    if (end == std::string_view::npos) return std::nullopt;
    return end + 4;
}

std::optional<RequestHead> ParseRequestHead(std::string_view head) {
    if (!HeadBytesAreSound(head)) return std::nullopt;
    const std::vector<std::string_view> lines = SplitLines(head);
    if (lines.empty()) return std::nullopt;

    RequestHead request;
    const std::string_view line = lines.front();
    const std::size_t first_space = line.find(' ');
    const std::size_t second_space =
        first_space == std::string_view::npos ? std::string_view::npos : line.find(' ', first_space + 1);
    if (second_space == std::string_view::npos) return std::nullopt;
    request.method = std::string(line.substr(0, first_space));
    request.target = std::string(line.substr(first_space + 1, second_space - first_space - 1));
    request.version = std::string(line.substr(second_space + 1));
    if (!IsToken(request.method) || request.target.empty() || request.target.find(' ') != std::string::npos ||
        request.version.size() != 8 || request.version.compare(0, 5, "HTTP/") != 0)
        return std::nullopt;

    std::optional<std::uint64_t> content_length;
    std::string transfer_encoding;
    int host_count = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::size_t colon = lines[i].find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        HeaderField field{std::string(lines[i].substr(0, colon)),
                          std::string(Trim(lines[i].substr(colon + 1)))};
        if (!IsToken(field.name)) return std::nullopt;
        if (EqualsIgnoreCase(field.name, "Host")) {
            ++host_count;
            request.host_field = field.value;
        } else if (EqualsIgnoreCase(field.name, "Content-Length")) {
            std::uint64_t value = 0;
            const auto [end, status] =
                std::from_chars(field.value.data(), field.value.data() + field.value.size(), value);
            if (field.value.empty() || status != std::errc() ||
                end != field.value.data() + field.value.size() || value > kMaxContentLength ||
                (content_length && *content_length != value))
                return std::nullopt;
            content_length = value;
        } else if (EqualsIgnoreCase(field.name, "Transfer-Encoding")) {
            if (!transfer_encoding.empty()) transfer_encoding += ", ";
            transfer_encoding += field.value;
        }
        request.headers.push_back(std::move(field));
    }
    // Two Host lines, or a length given both ways, are read differently by different servers.
    if (host_count > 1 || (content_length && !transfer_encoding.empty())) return std::nullopt;

    request.is_connect = EqualsIgnoreCase(request.method, "CONNECT");
    std::optional<Authority> destination;
    if (request.is_connect) {
        destination = ParseAuthority(request.target, 0, false);
        if (!destination || destination->port == 0) return std::nullopt;
        if (request.host_field.empty()) request.host_field = request.target;
    } else {
        const bool absolute = IsAbsoluteTarget(request.target);
        if (!absolute && request.target.front() != '/' && request.target != "*") return std::nullopt;
        const std::uint16_t default_port = StartsWithIgnoreCase(request.target, "https://") ? 443 : 80;
        if (host_count == 1) {
            destination = ParseAuthority(request.host_field, default_port, false);
        } else if (absolute) {
            const std::string_view authority = AuthorityOfTarget(request.target);
            destination = ParseAuthority(authority, default_port, true);
            // The Host a path-only request line would need is the authority without user information.
            request.host_field = std::string(authority.substr(authority.rfind('@') + 1));
        }
        if (!destination) return std::nullopt;
        if (!transfer_encoding.empty()) {
            if (!EndsInChunked(transfer_encoding)) return std::nullopt;
            request.framing = BodyFraming::Chunked;
        } else if (content_length && *content_length > 0) {
            request.framing = BodyFraming::Length;
            request.content_length = *content_length;
        }
    }
    request.host = std::move(destination->host);
    request.port = destination->port;
    return request;
}

std::string PathOfTarget(std::string_view target) {
    if (!IsAbsoluteTarget(target)) return std::string(target);
    const std::string_view rest = target.substr(target.find("://") + 3);
    const std::size_t start = rest.find_first_of("/?");
    if (start == std::string_view::npos) return "/";
    if (rest[start] == '?') return "/" + std::string(rest.substr(start));
    return std::string(rest.substr(start));
}

std::string RewriteRequestHead(const RequestHead& request, const RelaySettings& settings,
                               bool drop_accept_encoding, bool keep_alive) {
    const std::string_view connection = keep_alive ? "keep-alive" : "close";
    std::string out;
    out.reserve(1024);
    out += request.method;
    out += ' ';
    if (request.is_connect || request.target == "*") {
        out += request.target;
    } else if (settings.use_upstream != 0) {
        // A proxy needs the absolute URL; a client that sent only the path gets it made from Host.
        if (IsAbsoluteTarget(request.target)) {
            out += request.target;
        } else {
            out += "http://";
            out += request.host_field;
            out += request.target;
        }
    } else {
        out += PathOfTarget(request.target);
    }
    out += ' ';
    out += request.version;
    out += "\r\n";

    bool connection_written = false;
    for (const HeaderField& field : request.headers) {
        if (EqualsIgnoreCase(field.name, "Connection")) {
            if (!connection_written) out += field.name + ": " + std::string(connection) + "\r\n";
            connection_written = true;
            continue;
        }
        // The body goes on in the chunks it came in, so the next hop must still be told so.
        if (request.framing == BodyFraming::Chunked && EqualsIgnoreCase(field.name, "Transfer-Encoding")) {
            out += field.name + ": " + field.value + "\r\n";
            continue;
        }
        if (IsDroppedHeader(field.name, drop_accept_encoding)) continue;
        out += field.name;
        out += ": ";
        out += field.value;
        out += "\r\n";
    }
    if (!connection_written) out += "Connection: " + std::string(connection) + "\r\n";
    if (settings.authorised != 0) out += settings.authorisation_line;
    out += "\r\n";
    return out;
}

bool WantsKeepAlive(const RequestHead& request) {
    bool close = false;
    bool keep_alive = false;
    for (const HeaderField& field : request.headers) {
        if (!IsConnectionHeader(field.name)) continue;
        close = close || HasToken(field.value, "close");
        keep_alive = keep_alive || HasToken(field.value, "keep-alive");
    }
    if (close) return false;
    return request.version == "HTTP/1.1" || keep_alive;
}

std::string ShortAnswer(int status, std::string_view reason) {
    const std::string body = std::to_string(status) + " " + std::string(reason) + "\r\n";
    return "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

namespace {

bool IsLoopbackName(std::string_view host) {
    if (!host.empty() && host.back() == '.') host.remove_suffix(1);
    if (EqualsIgnoreCase(host, "localhost") || host == "::1") return true;
    if (!host.starts_with("127.")) return false;
    // 127.0.0.0/8, written in dotted decimal.
    return std::all_of(host.begin(), host.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

}  // namespace

bool IsOriginForm(const RequestHead& request) {
    return !request.is_connect && !IsAbsoluteTarget(request.target);
}

bool NamesRelayItself(const RequestHead& request, std::uint16_t own_port) {
    if (IsLoopbackName(request.host) && request.port == own_port) return true;
    // The Host line may name elsewhere while an upstream proxy follows the URL.
    if (request.is_connect || !IsAbsoluteTarget(request.target)) return false;
    const std::uint16_t default_port = StartsWithIgnoreCase(request.target, "https://") ? 443 : 80;
    const auto authority = ParseAuthority(AuthorityOfTarget(request.target), default_port, true);
    return authority && IsLoopbackName(authority->host) && authority->port == own_port;
}

std::string OriginFormAnswer(std::uint16_t own_port) {
    const std::string body = "This is Vestrel's local proxy: set 127.0.0.1 port " + std::to_string(own_port) +
                             " as the HTTP proxy of your browser, and ask it for pages there.\r\n";
    return "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string LoopAnswer() { return ShortAnswer(508, "Loop Detected"); }

std::string ProxyUnreachableAnswer(std::string_view host, std::uint16_t port, std::string_view when,
                                   std::string_view reason) {
    std::string proxy = std::string(host) + ":" + std::to_string(port);
    if (!reason.empty()) proxy += ": " + std::string(reason);
    // The host comes from the user's settings; it goes into the page as text, never as markup.
    std::string escaped;
    for (const char c : proxy) {
        switch (c) {
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '&':
                escaped += "&amp;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    const std::string body =
        "<!DOCTYPE html>\r\n<html><head><title>502 Bad Gateway</title></head><body>\r\n"
        "<h1>502 Bad Gateway</h1>\r\n<p>Vestrel could not reach the proxy " +
        escaped + ". Choose another proxy in Vestrel.</p>\r\n<p>" + std::string(when) +
        "</p>\r\n</body></html>\r\n";
    return "HTTP/1.1 502 Bad Gateway\r\nContent-Type: text/html\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
}

std::optional<ResponseHead> ParseResponseHead(std::string_view head) {
    const std::vector<std::string_view> lines = SplitLines(head);
    if (lines.empty() || lines.front().size() < 12 || lines.front().compare(0, 5, "HTTP/") != 0)
        return std::nullopt;
    ResponseHead response;
    const std::string_view code = lines.front().substr(9, 3);
    const auto [end, status] = std::from_chars(code.data(), code.data() + code.size(), response.status);
    if (status != std::errc() || end != code.data() + code.size()) return std::nullopt;

    std::string transfer_encoding;
    std::string_view content_type;
    bool encoded = false;
    bool close = false;
    bool keep_alive = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::size_t colon = lines[i].find(':');
        if (colon == std::string_view::npos) continue;
        HeaderField field{std::string(Trim(lines[i].substr(0, colon))),
                          std::string(Trim(lines[i].substr(colon + 1)))};
        if (EqualsIgnoreCase(field.name, "Content-Length")) {
            std::uint64_t value = 0;
            const std::string& text = field.value;
            const auto [stop, parsed] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (text.empty() || parsed != std::errc() || stop != text.data() + text.size() ||
                value > kMaxContentLength || (response.content_length && *response.content_length != value))
                response.ambiguous_length = true;
            response.content_length = value;
        } else if (IsConnectionHeader(field.name)) {
            close = close || HasToken(field.value, "close");
            keep_alive = keep_alive || HasToken(field.value, "keep-alive");
        } else if (EqualsIgnoreCase(field.name, "Transfer-Encoding")) {
            if (!transfer_encoding.empty()) transfer_encoding += ", ";
            transfer_encoding += field.value;
        } else if (EqualsIgnoreCase(field.name, "Content-Type")) {
            content_type = Trim(lines[i].substr(colon + 1));
        } else if (EqualsIgnoreCase(field.name, "Content-Encoding")) {
            encoded = encoded || !EqualsIgnoreCase(field.value, "identity");
        }
        response.headers.push_back(std::move(field));
    }
    response.has_transfer_coding = !transfer_encoding.empty();
    response.chunked = response.has_transfer_coding && EndsInChunked(transfer_encoding);
    if (response.has_transfer_coding && response.content_length) response.ambiguous_length = true;
    response.closes = close || (lines.front().compare(0, 8, "HTTP/1.1") != 0 && !keep_alive);
    // A body compressed on the way ("gzip, chunked") is as unreadable to the filter as a
    // Content-Encoding.
    encoded =
        encoded || (!transfer_encoding.empty() && !EqualsIgnoreCase(Trim(transfer_encoding), "chunked"));
    const std::string_view media = Trim(content_type.substr(0, content_type.find(';')));
    response.textual = !encoded && (StartsWithIgnoreCase(media, "text/") ||
                                    EqualsIgnoreCase(media, "application/xhtml+xml"));
    return response;
}

AnswerFraming FramingOf(const ResponseHead& response, bool head_request) {
    if (head_request || (response.status >= 100 && response.status < 200) || response.status == 204 ||
        response.status == 304)
        return AnswerFraming::None;
    if (response.ambiguous_length) return AnswerFraming::Close;
    if (response.has_transfer_coding) return response.chunked ? AnswerFraming::Chunked : AnswerFraming::Close;
    if (response.content_length) return AnswerFraming::Length;
    return AnswerFraming::Close;
}

std::string RewriteResponseHead(std::string_view head, bool keep_alive) {
    std::string out;
    out.reserve(head.size() + 32);
    const std::vector<std::string_view> lines = SplitLines(head);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            const std::string_view name = Trim(lines[i].substr(0, lines[i].find(':')));
            if (IsConnectionHeader(name) || EqualsIgnoreCase(name, "Keep-Alive")) continue;
        }
        out += lines[i];
        out += "\r\n";
    }
    out += keep_alive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    return out;
}

}  // namespace vestrel::relay
