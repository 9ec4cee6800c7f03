// Reading proxy lists in the formats public projects publish.
#include "catalogue/ListFormats.h"

#include <nlohmann/json.hpp>
#include <set>

namespace vestrel::catalogue {
namespace {

// No proxy list nests deeper than an object in an object in an array: this leaves room and still keeps
// a recursive parser far from the end of any thread's stack.
constexpr std::size_t kMaxJsonNesting = 32;

char LowerChar(char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<std::string> DecimalIPv4(std::string_view text) {
    std::string address;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') return std::nullopt;
            text.remove_prefix(1);
        }
        std::size_t digits = 0;
        unsigned value = 0;
        while (digits < text.size() && IsDigit(text[digits])) {
            if (digits == 3) return std::nullopt;
            value = value * 10 + static_cast<unsigned>(text[digits] - '0');
            ++digits;
        }
        if (digits == 0 || value > 255) return std::nullopt;
        if (part > 0) address += '.';
        address += std::to_string(value);
        text.remove_prefix(digits);
    }
    if (!text.empty()) return std::nullopt;
    return address;
}

std::optional<std::int32_t> ListPort(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    std::int32_t value = 0;
    for (const char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    return value;
}

// A country as lists write it: two letters, upper case; "ZZ" and anything else mean unknown.
std::string CountryCode(std::string_view text) {
    if (text.size() != 2 || !IsLetter(text[0]) || !IsLetter(text[1])) return {};
    std::string code{static_cast<char>(text[0] & ~0x20), static_cast<char>(text[1] & ~0x20)};
    return code == "ZZ" ? std::string() : code;
}

// "[scheme://][user[:password]@]host:port[/]" into `proxy`; false when it is not that.
bool ReadAddressToken(std::string_view token, ListedProxy& proxy) {
    if (const std::size_t scheme = token.find("://"); scheme != std::string_view::npos) {
        const std::optional<ProxyProtocol> protocol = ParseProtocolScheme(token.substr(0, scheme));
        if (!protocol) return false;
        proxy.protocol = *protocol;
        proxy.protocol_said = true;
        token.remove_prefix(scheme + 3);
    }
    if (!token.empty() && token.back() == '/') token.remove_suffix(1);
    if (const std::size_t at = token.rfind('@'); at != std::string_view::npos) {
        const std::string_view credentials = token.substr(0, at);
        // A "/" is no part of a URL's user name or password: such a token is two entries run
        // together where a list lost a line break ("1.2.3.4:80socks5://u:p@5.6.7.8:1080").
        if (credentials.find('/') != std::string_view::npos) return false;
        const std::size_t colon = credentials.find(':');
        proxy.user = std::string(credentials.substr(0, colon));
        if (colon != std::string_view::npos) proxy.password = std::string(credentials.substr(colon + 1));
        if (proxy.user.empty()) return false;
        token.remove_prefix(at + 1);
    }
    const std::size_t colon = token.rfind(':');
    if (colon == std::string_view::npos) return false;
    const std::optional<std::string> host = ListHost(token.substr(0, colon));
    const std::optional<std::int32_t> port = ListPort(token.substr(colon + 1));
    if (!host || !port) return false;
    proxy.host = *host;
    proxy.port = *port;
    return true;
}

// The annotated form's marks after the address ("CO-N-S! +", "HK-A +", "-N -") or a CSV line's
// fields after it (",CC,City"): only the country is taken; the rest is the list's own opinion, and our
// judge decides.
std::string CountryOfAnnotation(std::string_view rest) {
    while (!rest.empty() && (IsBlank(rest.front()) || rest.front() == ',')) rest.remove_prefix(1);
    const std::size_t end = rest.find_first_of("- \t,!");
    return CountryCode(rest.substr(0, end));
}

std::string JsonText(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return {};
    return found->get<std::string>();
}

std::optional<ListedProxy> ReadJsonProxy(const nlohmann::json& item) {
    if (!item.is_object()) return std::nullopt;
    ListedProxy proxy;
    std::string host = JsonText(item, "host");
    if (host.empty()) host = JsonText(item, "ip");
    if (host.empty()) {
        // Some lists give only the proxy's text ("proxy": "http://1.2.3.4:80").
        const std::optional<ListedProxy> line = ReadListLine(JsonText(item, "proxy"));
        if (!line) return std::nullopt;
        proxy = *line;
    } else {
        const std::optional<std::string> kept = ListHost(host);
        if (!kept) return std::nullopt;
        proxy.host = *kept;
        const auto port = item.find("port");
        if (port == item.end()) return std::nullopt;
        std::optional<std::int32_t> value;
        if (port->is_number_unsigned() && port->get<std::uint64_t>() <= 65535) {
            value = ListPort(std::to_string(port->get<std::uint64_t>()));
        } else if (port->is_string()) {
            value = ListPort(port->get<std::string>());
        }
        if (!value) return std::nullopt;
        proxy.port = *value;
    }
    if (const std::string scheme = JsonText(item, "protocol"); !scheme.empty()) {
        const std::optional<ProxyProtocol> protocol = ParseProtocolScheme(scheme);
        if (!protocol) return std::nullopt;
        proxy.protocol = *protocol;
        proxy.protocol_said = true;
    }
    if (std::string user = JsonText(item, "username"); !user.empty()) {
        proxy.user = std::move(user);
        proxy.password = JsonText(item, "password");
    }
    proxy.country = CountryCode(JsonText(item, "country"));
    if (const auto geo = item.find("geolocation"); geo != item.end() && geo->is_object()) {
        if (const auto country = geo->find("country"); country != geo->end()) {
            if (country->is_string()) {
                proxy.country = CountryCode(country->get<std::string>());
            } else if (country->is_object()) {
                proxy.country = CountryCode(JsonText(*country, "iso_code"));
            }
        }
    }
    return proxy;
}

std::vector<ListedProxy> ReadJsonList(std::string_view body) {
    std::vector<ListedProxy> proxies;
    if (!JsonNestingWithin(body, kMaxJsonNesting)) return proxies;
    const nlohmann::json document = nlohmann::json::parse(body, nullptr, false);
    if (document.is_discarded()) return proxies;
    const nlohmann::json* items = &document;
    if (document.is_object()) {
        items = nullptr;
        for (const auto& [key, value] : document.items()) {
            if (value.is_array()) {
                items = &value;
                break;
            }
        }
    }
    if (items == nullptr || !items->is_array()) return proxies;
    for (const nlohmann::json& item : *items) {
        if (std::optional<ListedProxy> proxy = ReadJsonProxy(item)) proxies.push_back(std::move(*proxy));
    }
    return proxies;
}

}  // namespace

std::string ListedProxy::Identity() const {
    std::string host_key = host;
    for (char& c : host_key) c = LowerChar(c);
    return std::string(ProtocolScheme(protocol)) + " " + host_key + ":" + std::to_string(port);
}

std::optional<std::string> ListHost(std::string_view text) {
    if (text.empty() || text.size() > 253) return std::nullopt;
    if (std::optional<std::string> address = DecimalIPv4(text)) return address;
    bool letter = false;
    for (const char c : text) {
        if (IsLetter(c)) {
            letter = true;
        } else if (!IsDigit(c) && c != '-' && c != '.') {
            return std::nullopt;
        }
    }
    // Digits and dots alone that are no IPv4 address ("1.2.3", "999.1.1.1") are no host either.
    if (!letter || text.front() == '.' || text.front() == '-') return std::nullopt;
    return std::string(text);
}

std::optional<ListedProxy> ReadListLine(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() == '#') return std::nullopt;
    const std::size_t end = line.find_first_of(" \t,");
    std::string_view token = line.substr(0, end);
    const std::string_view rest = end == std::string_view::npos ? std::string_view() : line.substr(end);
    std::string country;
    // Our own lists' form: address "->" country (a country may hold blanks, so it is the line's rest).
    if (const std::size_t arrow = line.find(kCountryArrow); arrow != std::string_view::npos && arrow < end) {
        token = line.substr(0, arrow);
        country = std::string(Trim(line.substr(arrow + kCountryArrow.size())));
    } else {
        country = CountryOfAnnotation(rest);
    }
    ListedProxy proxy;
    if (!ReadAddressToken(token, proxy)) return std::nullopt;
    proxy.country = std::move(country);
    return proxy;
}

std::vector<ListedProxy> ReadProxyList(std::string_view body, ProxyProtocol unsaid) {
    std::vector<ListedProxy> read;
    const std::string_view trimmed = Trim(body);
    if (!trimmed.empty() && (trimmed.front() == '[' || trimmed.front() == '{')) {
        read = ReadJsonList(trimmed);
    } else {
        std::size_t start = 0;
        while (start < body.size()) {
            std::size_t stop = body.find('\n', start);
            if (stop == std::string_view::npos) stop = body.size();
            if (std::optional<ListedProxy> proxy = ReadListLine(body.substr(start, stop - start)))
                read.push_back(std::move(*proxy));
            start = stop + 1;
        }
    }
    std::vector<ListedProxy> proxies;
    std::set<std::string> seen;
    for (ListedProxy& proxy : read) {
        if (!proxy.protocol_said) proxy.protocol = unsaid;
        if (seen.insert(proxy.Identity()).second) proxies.push_back(std::move(proxy));
    }
    return proxies;
}

bool JsonNestingWithin(std::string_view text, std::size_t limit) {
    std::size_t depth = 0;
    bool in_string = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (in_string) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                in_string = false;
            }
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return false;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

}  // namespace vestrel::catalogue
