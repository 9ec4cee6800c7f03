// Plain-text proxy lists: the sources setting, reading a list, fetching every source and merging
// their proxies behind the list service's own.
#include "catalogue/ListSources.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "catalogue/ProxyText.h"
#include "settings/RegDwordSetting.h"
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

std::vector<std::string> PublicListUrls() {
    std::vector<std::string> urls;
    for (const PublicList& list : kPublicLists) urls.emplace_back(list.url);
    return urls;
}

bool PublicListsIncluded() { return settings::RegDwordSetting(settings::kPublicLists).get() != 0; }

void SetPublicListsIncluded(bool included) {
    // Reread: a fresh setting object takes its cache for the value, and would skip writing a 0.
    settings::RegDwordSetting(settings::kPublicLists, true).set(included ? 1 : 0);
}

std::vector<std::string> RefreshSourceUrls() {
    std::vector<std::string> urls;
    if (PublicListsIncluded()) urls = PublicListUrls();
    for (std::string& url : ReadListSources()) {
        if (std::find(urls.begin(), urls.end(), url) == urls.end()) urls.push_back(std::move(url));
    }
    return urls;
}

ProxyProtocol UnsaidProtocolOf(std::string_view url) {
    for (const PublicList& list : kPublicLists) {
        if (list.url == url) return list.protocol;
    }
    return ProxyProtocol::kHttp;
}

std::vector<std::string> ParsePlainList(std::string_view body, ProxyProtocol unsaid) {
    std::vector<std::string> lines;
    for (const ListedProxy& proxy : ReadProxyList(body, unsaid)) lines.push_back(proxy.Text());
    return lines;
}

namespace {

// One source's transfer, on a thread of its own; `done` is told at its end.
void FetchOne(SourceOutcome& outcome, platform::http::GetOptions options, std::mutex& mutex,
              std::condition_variable& done, std::size_t& finished) {
    try {
        std::optional<platform::http::Url> parsed = platform::http::ParseHttpsUrl(outcome.url);
        if (!parsed) parsed = platform::http::ParseUrl(outcome.url);
        if (parsed) {
            // Read as it came, not through the service list's reader: an empty list is still a list,
            // and a NUL or a long line means nothing special here.
            std::string body;
            const platform::http::GetResult result =
                platform::http::Get(*parsed, options, [&](std::string_view bytes) { body.append(bytes); });
            if (result.complete && result.status == 200 && !options.cancel->load()) {
                outcome.proxies = ReadProxyList(body, UnsaidProtocolOf(outcome.url));
                for (const ListedProxy& proxy : outcome.proxies) outcome.lines.push_back(proxy.Text());
                outcome.ok = true;
            }
        }
    } catch (const std::exception&) {
        outcome.ok = false;
        outcome.lines.clear();
        outcome.proxies.clear();
    }
    std::lock_guard<std::mutex> lock(mutex);
    ++finished;
    done.notify_all();
}

}  // namespace

std::vector<SourceOutcome> FetchListSources(const std::vector<std::string>& urls,
                                            const platform::http::GetOptions& options) {
    using Clock = std::chrono::steady_clock;
    std::vector<SourceOutcome> outcomes(urls.size());
    // Each thread's own cancel: a source past its time is ended without touching the others.
    std::vector<std::atomic<bool>> cancels(urls.size());
    std::mutex mutex;
    std::condition_variable done;
    std::size_t finished = 0;
    std::vector<std::thread> threads;
    threads.reserve(urls.size());
    const Clock::time_point deadline = Clock::now() + kSourceTimeLimit;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        outcomes[i].url = urls[i];
        platform::http::GetOptions own = options;
        own.cancel = &cancels[i];
        own.max_body_bytes = std::min(options.max_body_bytes, kSourceMaxBytes);
        // A wait on one piece of the answer outlasts a cancel by this much at most.
        own.connect_timeout = std::min<std::chrono::milliseconds>(options.connect_timeout, kSourceTimeLimit);
        own.receive_timeout =
            std::min<std::chrono::milliseconds>(options.receive_timeout, std::chrono::seconds(5));
        own.accept_any_certificate = false;
        try {
            threads.emplace_back(FetchOne, std::ref(outcomes[i]), std::move(own), std::ref(mutex),
                                 std::ref(done), std::ref(finished));
        } catch (const std::system_error&) {
            // No thread: this source fails; the others still count.
            std::lock_guard<std::mutex> lock(mutex);
            ++finished;
        }
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (finished < urls.size()) {
            const bool cancelled = options.cancel != nullptr && options.cancel->load();
            if (cancelled || Clock::now() >= deadline) break;
            done.wait_for(lock, std::chrono::milliseconds(200));
        }
    }
    for (std::atomic<bool>& cancel : cancels) cancel.store(true);
    for (std::thread& thread : threads) thread.join();
    return outcomes;
}

std::vector<std::string> MergeSourceLines(std::vector<std::string> service_lines,
                                          const std::vector<SourceOutcome>& sources) {
    // One proxy per protocol, address and port: lists put the same address in their http and socks files.
    const auto identity = [](std::string_view line) {
        return std::string(ProtocolScheme(ProxyProtocolOf(line))) + " " +
               Lowered(AddressKeyOf(AddressPart(line)));
    };
    std::set<std::string> seen;
    for (const std::string& line : service_lines) seen.insert(identity(line));
    for (const SourceOutcome& source : sources) {
        for (const std::string& line : source.lines) {
            if (seen.insert(identity(line)).second) service_lines.push_back(line);
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

namespace vestrel::catalogue {

std::string GroupedCount(std::size_t count) {
    std::string digits = std::to_string(count);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

std::string RefreshMessage(std::string_view service_url, bool service_answered, std::size_t new_list_size,
                           const std::vector<SourceOutcome>& sources) {
    std::size_t lists = service_answered ? 1 : 0;
    for (const SourceOutcome& source : sources) lists += source.ok ? 1 : 0;
    std::string text;
    if (lists == 0) {
        text = std::string(kNothingDownloaded);
    } else {
        text = GroupedCount(new_list_size) + (new_list_size == 1 ? " proxy" : " proxies") + " from " +
               GroupedCount(lists) + (lists == 1 ? " list." : " lists.");
        if (!service_answered && !service_url.empty())
            text += " The list at " + std::string(service_url) + " could not be read.";
    }
    if (const std::string failed = FailedSourcesText(sources); !failed.empty()) text += " " + failed;
    return text;
}

}  // namespace vestrel::catalogue
