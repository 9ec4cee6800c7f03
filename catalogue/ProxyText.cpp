// The parsing rules shared by every part of the catalogue that handles a proxy text.
#include "catalogue/ProxyText.h"

#include <limits>

namespace vestrel::catalogue {
namespace {

// isspace in the "C" locale, which is what atoi skips.
bool IsAtoiBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

char LowerChar(char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); }

struct LongForm {
    ProxyProtocol protocol = ProxyProtocol::kHttp;
    std::string_view credentials;  // user[:password], without the "@"
    std::string_view rest;         // host:port[->country]
};

LongForm SplitLongForm(std::string_view text) {
    LongForm form;
    if (const std::size_t scheme = text.find("://"); scheme != std::string_view::npos) {
        // Only a scheme a proxy list writes counts; "://" further on is part of something else.
        if (const std::optional<ProxyProtocol> protocol = ParseProtocolScheme(text.substr(0, scheme))) {
            form.protocol = *protocol;
            text.remove_prefix(scheme + 3);
        }
    }
    // A password may hold "@": the host starts after the last one before the country.
    const std::string_view address = text.substr(0, text.find(kCountryArrow));
    if (const std::size_t at = address.rfind('@'); at != std::string_view::npos) {
        form.credentials = text.substr(0, at);
        text.remove_prefix(at + 1);
    }
    form.rest = text;
    return form;
}

}  // namespace

std::string_view ProtocolScheme(ProxyProtocol protocol) {
    switch (protocol) {
        case ProxyProtocol::kSocks4:
            return "socks4";
        case ProxyProtocol::kSocks4a:
            return "socks4a";
        case ProxyProtocol::kSocks5:
            return "socks5";
        case ProxyProtocol::kSocks5h:
            return "socks5h";
        case ProxyProtocol::kHttp:
            break;
    }
    return "http";
}

std::string_view ProtocolName(ProxyProtocol protocol) {
    switch (protocol) {
        case ProxyProtocol::kSocks4:
        case ProxyProtocol::kSocks4a:
            return "SOCKS4";
        case ProxyProtocol::kSocks5:
        case ProxyProtocol::kSocks5h:
            return "SOCKS5";
        case ProxyProtocol::kHttp:
            break;
    }
    return "HTTP";
}

std::optional<ProxyProtocol> ParseProtocolScheme(std::string_view scheme) {
    std::string lowered(scheme);
    for (char& c : lowered) c = LowerChar(c);
    if (lowered == "http" || lowered == "https") return ProxyProtocol::kHttp;
    for (const ProxyProtocol protocol :
         {ProxyProtocol::kSocks4, ProxyProtocol::kSocks4a, ProxyProtocol::kSocks5, ProxyProtocol::kSocks5h}) {
        if (lowered == ProtocolScheme(protocol)) return protocol;
    }
    return std::nullopt;
}

ProxyProtocol ProxyProtocolOf(std::string_view text) { return SplitLongForm(text).protocol; }

std::string ProxyUser(std::string_view text) {
    const std::string_view credentials = SplitLongForm(text).credentials;
    return std::string(credentials.substr(0, credentials.find(':')));
}

std::string ProxyPassword(std::string_view text) {
    const std::string_view credentials = SplitLongForm(text).credentials;
    const std::size_t colon = credentials.find(':');
    return colon == std::string_view::npos ? std::string() : std::string(credentials.substr(colon + 1));
}

std::string_view WithoutSchemeAndCredentials(std::string_view text) { return SplitLongForm(text).rest; }

std::string ProxyTextOf(ProxyProtocol protocol, std::string_view user, std::string_view password,
                        std::string_view host, std::int32_t port, std::string_view country) {
    std::string text;
    if (IsSocks(protocol)) text = std::string(ProtocolScheme(protocol)) + "://";
    if (!user.empty()) text += std::string(user) + ":" + std::string(password) + "@";
    text += AddressKey(host, port);
    if (!country.empty()) text += std::string(kCountryArrow) + std::string(country);
    return text;
}

std::string ProxyAddressOf(std::string_view text) {
    return ProxyTextOf(ProxyProtocolOf(text), ProxyUser(text), ProxyPassword(text), ProxyHost(text),
                       ProxyPort(text), "");
}

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
    text = WithoutSchemeAndCredentials(text);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return {};
    return std::string(text.substr(0, colon));
}

std::int32_t ProxyPort(std::string_view text) {
    text = WithoutSchemeAndCredentials(text);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return ReadLeadingInteger(text);
    return ReadLeadingInteger(text.substr(colon + 1));
}

std::string ProxyCountry(std::string_view text) {
    text = WithoutSchemeAndCredentials(text);
    const std::size_t arrow = text.find(kCountryArrow);
    if (arrow == std::string_view::npos) return {};
    return std::string(text.substr(arrow + kCountryArrow.size()));
}

bool SupportsPost(std::string_view text) {
    const std::size_t marker = text.find(kPostMarker);
    return marker != std::string_view::npos && marker > 0;
}

bool IsProxyAddressText(std::string_view text) {
    if (const std::size_t scheme = text.find("://"); scheme != std::string_view::npos) {
        if (!ParseProtocolScheme(text.substr(0, scheme))) return false;
        text.remove_prefix(scheme + 3);
    }
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
