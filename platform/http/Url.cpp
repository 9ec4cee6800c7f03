// URL splitting shared by both implementations of the HTTP GET service.
#include "platform/http/HttpGet.h"

namespace vestrel::platform::http {

namespace {

// Takes `scheme` off the front of `url`, whatever its case; false when it is not there.
bool TakeScheme(std::string_view& url, std::string_view scheme) {
    if (url.size() < scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        const char c = url[i];
        if (static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != scheme[i]) return false;
    }
    url.remove_prefix(scheme.size());
    return true;
}

}  // namespace

std::optional<Url> ParseUrl(std::string_view url, bool https_allowed) {
    Url result;
    if (!TakeScheme(url, "http://") && https_allowed && TakeScheme(url, "https://")) {
        result.https = true;
        result.port = 443;
    }
    if (url.find("://") != std::string_view::npos) return std::nullopt;
    const std::size_t slash = url.find('/');
    std::string_view authority = url.substr(0, slash);
    if (slash != std::string_view::npos) result.path = std::string(url.substr(slash));
    if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5) return std::nullopt;
        unsigned value = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value == 0 || value > 65535) return std::nullopt;
        result.port = static_cast<std::uint16_t>(value);
        authority = authority.substr(0, colon);
    }
    if (authority.empty()) return std::nullopt;
    result.host = std::string(authority);
    return result;
}

}  // namespace vestrel::platform::http
