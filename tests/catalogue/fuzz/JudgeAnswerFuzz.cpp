// libFuzzer target for what peers hand back: a judge's answer as a proxy may return it and a proxy list
// as a list server may serve it. Whatever the bytes, reading and grading end without a fault; an answer
// read as JSON reads the same once written out again; every proxy read from a list reads back the same
// from its own text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/ListFormats.h"
#include "catalogue/ProxyJudge.h"

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vestrel::catalogue;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    for (const ListedProxy& proxy : ReadProxyList(body)) {
        const std::optional<ListedProxy> again = ReadListLine(proxy.Text());
        if (proxy.user.find_first_of(":@/ \t,") != std::string::npos ||
            proxy.password.find_first_of("@/ \t,") != std::string::npos ||
            proxy.country.find_first_of("\r\n") != std::string::npos) {
            continue;  // such credentials or countries come only from JSON and have no line form
        }
        if (!again || again->Identity() != proxy.Identity() || again->user != proxy.user ||
            again->password != proxy.password) {
            __builtin_trap();
        }
    }
    const std::optional<JudgeView> view = ParseJudgeAnswer(body);
    if (!view) return 0;
    GradeView(*view, {"127.0.0.1", "2001:db8::1", "::ffff:10.0.0.1", "[fe80::1]:80"}, "feedface");
    GradeView(*view, *view, {"127.0.0.1"}, "feedface");
    // Only an answer that was JSON must survive JSON again: an environment echo may hold bytes that are
    // no UTF-8, which JSON cannot carry.
    const std::size_t first = body.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos || body[first] != '{') return 0;
    std::string json = "{\"remote_addr\": " + Quoted(view->remote_address) +
                       ", \"query\": " + Quoted(view->query) + ", \"headers\": [";
    for (std::size_t i = 0; i < view->headers.size(); ++i) {
        json += (i == 0 ? "[" : ", [") + Quoted(view->headers[i].first) + ", " +
                Quoted(view->headers[i].second) + "]";
    }
    json += "]}";
    const std::optional<JudgeView> again = ParseJudgeAnswer(json);
    if (!again || again->remote_address != view->remote_address || again->query != view->query ||
        again->headers != view->headers) {
        __builtin_trap();
    }
    return 0;
}
