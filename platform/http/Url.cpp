// URL splitting shared by both implementations of the HTTP GET service.
#include "platform/http/HttpGet.h"

namespace vestrel::platform::http {

namespace {

// True, with the scheme taken off `url`, when it starts with `scheme` in any case.
bool TakeScheme(std::string_view& url, std::string_view scheme) {
    if (url.size() < scheme.size()) return false;
    std::string lowered(url.substr(0, scheme.size()));
    for (char& c : lowered) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lowered != scheme) return false;
    url.remove_prefix(scheme.size());
    return true;
}

// host[:port][/path] with no scheme left in front.
std::optional<Url> ParseAuthorityAndPath(std::string_view url, std::uint16_t default_port) {
    if (url.find("://") != std::string_view::npos) return std::nullopt;
    Url result;
    result.port = default_port;
    const std::size_t slash = url.find('/');
    std::string_view authority = url.substr(0, slash);
    if (slash != std::string_view::npos) result.path = std::string(url.substr(slash));
    if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
        const std::optional<std::uint16_t> port = ParsePort(authority.substr(colon + 1));
        if (!port) return std::nullopt;
        result.port = *port;
        authority = authority.substr(0, colon);
    }
    if (authority.empty()) return std::nullopt;
    result.host = std::string(authority);
    return result;
}

}  // namespace

std::optional<std::uint16_t> ParsePort(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::optional<Url> ParseUrl(std::string_view url) {
    TakeScheme(url, "http://");
    return ParseAuthorityAndPath(url, 80);
}

std::optional<Url> ParseHttpsUrl(std::string_view url) {
    if (!TakeScheme(url, "https://")) return std::nullopt;
    std::optional<Url> result = ParseAuthorityAndPath(url, 443);
    if (result) result->https = true;
    return result;
}

}  // namespace vestrel::platform::http
