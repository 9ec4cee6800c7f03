// Plain-text proxy lists: the sources setting, reading a list, fetching every source and merging
// their proxies behind the list service's own.
#include "catalogue/ListSources.h"

#include <exception>
#include <optional>
#include <set>

#include "catalogue/ProxyText.h"
#include "settings/RegMultiStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::catalogue {
namespace {

std::string Lowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lowered;
}

// The part of a line that names the proxy: before "->", or the whole line.
std::string_view AddressPart(std::string_view line) { return line.substr(0, line.find(kCountryArrow)); }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::vector<std::string> ReadListSources() {
    return settings::RegMultiStringSetting(settings::kListSources).get();
}

std::error_code WriteListSources(const std::vector<std::string>& urls) {
    std::vector<std::string> kept;
    for (const std::string& url : urls) {
        const std::string_view trimmed = TrimBlanks(url);
        if (!trimmed.empty()) kept.emplace_back(trimmed);
    }
    return settings::RegMultiStringSetting(settings::kListSources).set(kept);
}

std::vector<std::string> ParsePlainList(std::string_view body) {
    std::vector<std::string> lines;
    std::set<std::string> seen;
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('\n', start);
        if (end == std::string_view::npos) end = body.size();
        std::string_view line = TrimBlanks(body.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == '#') continue;
        // Lists written for browsers' proxy settings often carry the scheme the proxy speaks.
        if (const std::size_t scheme = line.find("://");
            scheme != std::string_view::npos && scheme < AddressPart(line).size()) {
            line.remove_prefix(scheme + 3);
        }
        if (!line.empty() && line.back() == '/') line.remove_suffix(1);
        if (!IsProxyAddressText(line)) continue;
        if (!seen.insert(Lowered(AddressKeyOf(line))).second) continue;
        lines.emplace_back(line);
    }
    return lines;
}

std::vector<SourceOutcome> FetchListSources(const std::vector<std::string>& urls,
                                            const platform::http::GetOptions& options) {
    std::vector<SourceOutcome> outcomes;
    for (const std::string& url : urls) {
        SourceOutcome outcome;
        outcome.url = url;
        try {
            // Read as it came, not through the service list's reader: an empty list is still a list,
            // and a NUL or a long line means nothing special here.
            if (const std::optional<platform::http::Url> parsed = platform::http::ParseUrl(url)) {
                std::string body;
                const platform::http::GetResult result = platform::http::Get(
                    *parsed, options, [&](std::string_view bytes) { body.append(bytes); });
                if (result.complete && result.status == 200) {
                    outcome.ok = true;
                    outcome.lines = ParsePlainList(body);
                }
            }
        } catch (const std::exception&) {
            outcome.ok = false;
            outcome.lines.clear();
        }
        outcomes.push_back(std::move(outcome));
        if (options.cancel != nullptr && options.cancel->load()) break;
    }
    return outcomes;
}

std::vector<std::string> MergeSourceLines(std::vector<std::string> service_lines,
                                          const std::vector<SourceOutcome>& sources) {
    std::set<std::string> seen;
    for (const std::string& line : service_lines) seen.insert(Lowered(AddressKeyOf(AddressPart(line))));
    for (const SourceOutcome& source : sources) {
        for (const std::string& line : source.lines) {
            if (seen.insert(Lowered(AddressKeyOf(AddressPart(line)))).second) service_lines.push_back(line);
        }
    }
    return service_lines;
}

std::string FailedSourcesText(const std::vector<SourceOutcome>& sources) {
    std::string text;
    for (const SourceOutcome& source : sources) {
        if (source.ok) continue;
        if (!text.empty()) text += ' ';
        text += "The list at " + source.url + " could not be read.";
    }
    return text;
}

}  // namespace vestrel::catalogue
