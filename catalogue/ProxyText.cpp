// The parsing rules shared by every part of the catalogue that handles a proxy text.
#include "catalogue/ProxyText.h"

#include <limits>

namespace vestrel::catalogue {
namespace {

// isspace in the "C" locale, which is what atoi skips.
bool IsAtoiBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

std::int32_t ReadLeadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsAtoiBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate in 64 bits and clamp: a port text of twenty digits must not be undefined behaviour.
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) value = kLimit;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) value = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

std::string ProxyHost(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return {};
    return std::string(text.substr(0, colon));
}

std::int32_t ProxyPort(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return ReadLeadingInteger(text);
    return ReadLeadingInteger(text.substr(colon + 1));
}

std::string ProxyCountry(std::string_view text) {
    const std::size_t arrow = text.find(kCountryArrow);
    if (arrow == std::string_view::npos) return {};
    return std::string(text.substr(arrow + kCountryArrow.size()));
}

bool SupportsPost(std::string_view text) {
    const std::size_t marker = text.find(kPostMarker);
    return marker != std::string_view::npos && marker > 0;
}

bool IsProxyAddressText(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    const std::string_view host = text.substr(0, colon);
    if (host.find_first_of(" \t\r\n") != std::string_view::npos) return false;
    std::string_view port = text.substr(colon + 1);
    const std::size_t arrow = port.find(kCountryArrow);
    if (arrow != std::string_view::npos) port = port.substr(0, arrow);
    if (port.empty() || port.size() > 5) return false;
    std::int32_t value = 0;
    for (const char c : port) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 65535;
}

std::string AddressKey(std::string_view host, std::int32_t port) {
    return std::string(host) + ":" + std::to_string(port);
}

std::string AddressKeyOf(std::string_view text) { return AddressKey(ProxyHost(text), ProxyPort(text)); }

ProxyEntry ParseProxyText(std::string_view text) {
    ProxyEntry entry;
    entry.line = std::string(text);
    entry.host = ProxyHost(text);
    entry.port = ProxyPort(text);
    entry.country = ProxyCountry(text);
    entry.supports_post = SupportsPost(text);
    entry.response_time = "Not Tested";
    return entry;
}

}  // namespace vestrel::catalogue
