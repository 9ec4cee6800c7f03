// Reading a judge's answer (our JSON object, httpbin's, or the plain-text environment echo) and grading
// what the judge saw against what it shows of a direct request. Both read bytes from a peer that may be
// hostile: JSON goes to the JSON library only after its nesting was found shallow, and every other loop
// is bounded by the body's size.
#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>

#include "catalogue/ListFormats.h"
#include "catalogue/ProxyJudge.h"

namespace vestrel::catalogue {
namespace {

// A judge's answer is a flat object with one level of headers below it.
constexpr std::size_t kMaxJsonNesting = 8;

char LowerChar(char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerChar(a[i]) != LowerChar(b[i])) return false;
    }
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// ---- The JSON forms -------------------------------------------------------------------------

// Our own form {"remote_addr": S, "query": S, "headers": [[S, S], ...]}, or httpbin's {"origin": S,
// "url": S, "args": {...}, "headers": {"Name": S, ...}} (the query is the url's; origin is what the
// judge takes for the peer, the raw X-Forwarded-For when one came). Nothing for any other shape.
std::optional<JudgeView> ReadJsonAnswer(std::string_view text) {
    if (!JsonNestingWithin(text, kMaxJsonNesting)) return std::nullopt;
    const nlohmann::json answer = nlohmann::json::parse(text, nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) return std::nullopt;
    const auto string_at = [&](const char* key) -> std::optional<std::string> {
        const auto found = answer.find(key);
        if (found == answer.end() || !found->is_string()) return std::nullopt;
        return found->get<std::string>();
    };
    const auto headers = answer.find("headers");
    if (headers == answer.end()) return std::nullopt;
    JudgeView view;
    if (const std::optional<std::string> address = string_at("remote_addr")) {
        const std::optional<std::string> query = string_at("query");
        if (!query || !headers->is_array()) return std::nullopt;
        // Our own form has these three and nothing else.
        for (const auto& [key, value] : answer.items()) {
            if (key != "remote_addr" && key != "query" && key != "headers") return std::nullopt;
        }
        view.remote_address = *address;
        view.query = *query;
        for (const nlohmann::json& pair : *headers) {
            if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string() || !pair[1].is_string())
                return std::nullopt;
            view.headers.emplace_back(pair[0].get<std::string>(), pair[1].get<std::string>());
        }
        return view;
    }
    const std::optional<std::string> origin = string_at("origin");
    if (!origin || !headers->is_object()) return std::nullopt;
    view.remote_address = *origin;
    if (const std::optional<std::string> url = string_at("url")) {
        if (const std::size_t question = url->find('?'); question != std::string::npos)
            view.query = url->substr(question + 1);
    }
    for (const auto& [name, value] : headers->items()) {
        if (!value.is_string()) return std::nullopt;
        view.headers.emplace_back(name, value.get<std::string>());
    }
    return view;
}

// ---- The environment echo ---------------------------------------------------------------------

// The few entities such pages use in values.
std::string DecodeEntities(std::string_view text) {
    static constexpr std::array<std::pair<std::string_view, char>, 6> kEntities = {
        {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}, {"&apos;", '\''}}};
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& [entity, c] : kEntities) {
                if (EqualsNoCase(text.substr(i, entity.size()), entity)) {
                    out += c;
                    i += entity.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

// True for a line made only of the page's frame: <html>, <head>, <body>, <pre>, <p> and their closing
// tags, without attributes. Anything else around the variables (a script, an image) is not the judge's.
bool IsFrameLine(std::string_view line) {
    static constexpr std::array<std::string_view, 5> kFrameTags = {"html", "head", "body", "pre", "p"};
    line = Trim(line);
    while (!line.empty()) {
        if (line.front() != '<') return false;
        const std::size_t close = line.find('>');
        if (close == std::string_view::npos) return false;
        std::string_view name = line.substr(1, close - 1);
        if (!name.empty() && name.front() == '/') name.remove_prefix(1);
        bool known = false;
        for (const std::string_view tag : kFrameTags) known = known || EqualsNoCase(name, tag);
        if (!known) return false;
        line = Trim(line.substr(close + 1));
    }
    return true;
}

// "X_FORWARDED_FOR" → "X-Forwarded-For".
std::string HeaderNameOf(std::string_view variable) {
    std::string name;
    bool word_start = true;
    for (const char c : variable) {
        if (c == '_') {
            name += '-';
            word_start = true;
            continue;
        }
        name += word_start ? static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c) : LowerChar(c);
        word_start = false;
    }
    return name;
}

std::optional<JudgeView> ReadEnvironmentEcho(std::string_view body) {
    // Lines end at LF or at a <br>, <br/> or <br /> of a page that shows the variables as HTML.
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= body.size(); ++i) {
        std::size_t skip = 0;
        if (i == body.size() || body[i] == '\n') {
            skip = 1;
        } else if (body[i] == '<') {
            for (const std::string_view br : {"<br>", "<br/>", "<br />"}) {
                if (EqualsNoCase(body.substr(i, br.size()), br)) skip = br.size();
            }
        }
        if (skip == 0) continue;
        lines.push_back(body.substr(start, i - start));
        start = i + skip;
        i = start - 1;
    }

    JudgeView view;
    bool have_address = false;
    for (const std::string_view raw : lines) {
        const std::string_view line = Trim(raw);
        if (line.empty() || IsFrameLine(line)) continue;
        std::size_t end = 0;
        while (end < line.size() &&
               ((line[end] >= 'A' && line[end] <= 'Z') || (line[end] >= 'a' && line[end] <= 'z') ||
                (line[end] >= '0' && line[end] <= '9') || line[end] == '_')) {
            ++end;
        }
        if (end == 0) return std::nullopt;
        const std::string_view name = line.substr(0, end);
        std::string_view rest = Trim(line.substr(end));
        if (rest.empty() || (rest.front() != '=' && rest.front() != ':')) return std::nullopt;
        const std::string value = DecodeEntities(Trim(rest.substr(1)));
        if (EqualsNoCase(name, "REMOTE_ADDR")) {
            view.remote_address = value;
            have_address = true;
        } else if (EqualsNoCase(name, "QUERY_STRING")) {
            view.query = value;
        } else if (name.size() > 5 && EqualsNoCase(name.substr(0, 5), "HTTP_")) {
            view.headers.emplace_back(HeaderNameOf(name.substr(5)), value);
        }
    }
    if (!have_address) return std::nullopt;
    return view;
}

// ---- Addresses --------------------------------------------------------------------------------

// An address in a form that compares equal however it was written: 4 bytes for IPv4, 16 for IPv6.
using Canonical = std::string;

std::optional<Canonical> ParseIPv4(std::string_view text) {
    Canonical bytes;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') return std::nullopt;
            text.remove_prefix(1);
        }
        std::size_t digits = 0;
        unsigned value = 0;
        while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9') {
            value = value * 10 + static_cast<unsigned>(text[digits] - '0');
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return std::nullopt;
        bytes += static_cast<char>(value);
        text.remove_prefix(digits);
    }
    if (!text.empty()) return std::nullopt;
    return bytes;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<Canonical> ParseIPv6(std::string_view text) {
    // A zone ("%eth0") names the interface, not the address.
    text = text.substr(0, text.find('%'));
    std::vector<std::uint16_t> head;
    std::vector<std::uint16_t> tail;
    bool gap = false;
    std::vector<std::uint16_t>* groups = &head;
    if (text.substr(0, 2) == "::") {
        gap = true;
        groups = &tail;
        text.remove_prefix(2);
    }
    std::optional<Canonical> embedded_v4;
    while (!text.empty()) {
        const std::size_t colon = text.find(':');
        const std::string_view group = text.substr(0, colon);
        if (colon == std::string_view::npos && group.find('.') != std::string_view::npos) {
            // The last 32 bits written as an IPv4 address (::ffff:1.2.3.4).
            embedded_v4 = ParseIPv4(group);
            if (!embedded_v4) return std::nullopt;
            const auto b = [&](int i) {
                return static_cast<std::uint8_t>((*embedded_v4)[static_cast<std::size_t>(i)]);
            };
            groups->push_back(static_cast<std::uint16_t>(b(0) << 8 | b(1)));
            groups->push_back(static_cast<std::uint16_t>(b(2) << 8 | b(3)));
            text = {};
            break;
        }
        if (group.empty() || group.size() > 4) return std::nullopt;
        std::uint16_t value = 0;
        for (const char c : group) {
            const int digit = HexValue(c);
            if (digit < 0) return std::nullopt;
            value = static_cast<std::uint16_t>(value << 4 | digit);
        }
        groups->push_back(value);
        if (colon == std::string_view::npos) {
            text = {};
            break;
        }
        text.remove_prefix(colon + 1);
        if (!text.empty() && text.front() == ':') {
            if (gap) return std::nullopt;
            gap = true;
            groups = &tail;
            text.remove_prefix(1);
        } else if (text.empty()) {
            return std::nullopt;  // a single trailing colon
        }
    }
    const std::size_t count = head.size() + tail.size();
    if (gap ? count > 7 : count != 8) return std::nullopt;
    Canonical bytes;
    const auto put = [&](std::uint16_t group) {
        bytes += static_cast<char>(group >> 8);
        bytes += static_cast<char>(group & 0xFF);
    };
    for (const std::uint16_t group : head) put(group);
    for (std::size_t i = count; i < 8; ++i) put(0);
    for (const std::uint16_t group : tail) put(group);
    // An IPv4 address mapped into IPv6 is that IPv4 address.
    if (bytes.compare(0, 12, std::string("\0\0\0\0\0\0\0\0\0\0\xFF\xFF", 12)) == 0) return bytes.substr(12);
    return bytes;
}

// One token of a header value as an address: "1.2.3.4", "1.2.3.4:5678", an IPv6 address, "[v6]" or
// "[v6]:port"; nothing for anything else.
std::optional<Canonical> AddressOfToken(std::string_view token) {
    if (token.empty()) return std::nullopt;
    if (token.front() == '[') {
        const std::size_t close = token.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        return ParseIPv6(token.substr(1, close - 1));
    }
    if (std::optional<Canonical> v4 = ParseIPv4(token)) return v4;
    const std::size_t colon = token.find(':');
    if (colon != std::string_view::npos && token.find(':', colon + 1) == std::string_view::npos) {
        return ParseIPv4(token.substr(0, colon));
    }
    return ParseIPv6(token);
}

// Every address written in a header value, as whole tokens between separators.
std::vector<Canonical> AddressesIn(std::string_view value) {
    std::vector<Canonical> found;
    constexpr std::string_view kSeparators = ",; \t=\"'()<>";
    std::size_t start = 0;
    while (start < value.size()) {
        std::size_t end = value.find_first_of(kSeparators, start);
        if (end == std::string_view::npos) end = value.size();
        if (end > start) {
            if (std::optional<Canonical> address = AddressOfToken(value.substr(start, end - start))) {
                found.push_back(std::move(*address));
            }
        }
        start = end + 1;
    }
    return found;
}

constexpr std::array<std::string_view, 8> kProxyHeaders = {
    "Via",       "X-Forwarded-For",  "Forwarded",  "X-Real-IP",
    "Client-IP", "Proxy-Connection", "X-Proxy-ID", "X-Tinyproxy"};

// The entries of a list-valued header ("a, b, c" has 3); a blank value has none.
std::size_t ListEntries(std::string_view value) {
    std::size_t entries = 0;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t comma = value.find(',', start);
        if (comma == std::string_view::npos) comma = value.size();
        if (!Trim(value.substr(start, comma - start)).empty()) ++entries;
        start = comma + 1;
    }
    return entries;
}

}  // namespace

std::optional<JudgeView> ParseJudgeAnswer(std::string_view body) {
    const std::string_view trimmed = Trim(body);
    if (trimmed.empty()) return std::nullopt;
    if (trimmed.front() == '{') return ReadJsonAnswer(trimmed);
    return ReadEnvironmentEcho(trimmed);
}

Grade GradeView(const JudgeView& view, const std::vector<std::string>& real_addresses,
                std::string_view marker) {
    return GradeView(view, JudgeView{}, real_addresses, marker);
}

Grade GradeView(const JudgeView& view, const JudgeView& baseline,
                const std::vector<std::string>& real_addresses, std::string_view marker) {
    if (marker.empty() || view.query.find(marker) == std::string::npos) return Grade::kBroken;
    std::vector<Canonical> real;
    for (const std::string& address : real_addresses) {
        for (Canonical& canonical : AddressesIn(address)) real.push_back(std::move(canonical));
    }
    const auto reveals = [&](std::string_view text) {
        for (const Canonical& seen : AddressesIn(text)) {
            for (const Canonical& mine : real) {
                if (seen == mine) return true;
            }
        }
        return false;
    };
    if (reveals(view.remote_address)) return Grade::kTransparent;
    for (const auto& [name, value] : view.headers) {
        // Host names the judge, which may well be on an address of the user's (a judge of one's own).
        if (EqualsNoCase(Trim(name), "Host")) continue;
        if (reveals(value)) return Grade::kTransparent;
    }
    // A header the judge's own front end adds to every request (X-Forwarded-For on the public httpbin)
    // is the judge's, not the proxy's: it counts only when the proxy added an entry to it.
    const auto baseline_entries = [&](std::string_view name) -> std::optional<std::size_t> {
        for (const auto& [seen_name, value] : baseline.headers) {
            if (EqualsNoCase(Trim(seen_name), name)) return ListEntries(value);
        }
        return std::nullopt;
    };
    for (const auto& [name, value] : view.headers) {
        for (const std::string_view proxy_header : kProxyHeaders) {
            if (!EqualsNoCase(Trim(name), proxy_header)) continue;
            const std::optional<std::size_t> before = baseline_entries(proxy_header);
            if (!before || ListEntries(value) > *before) return Grade::kAnonymous;
        }
    }
    return Grade::kElite;
}

}  // namespace vestrel::catalogue
