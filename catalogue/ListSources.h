// Proxy lists beside the list service's own, read at every list refresh: the maintained public lists
// (kPublicLists, while the setting PublicLists is 1) and the addresses the user adds (the multi-string
// setting ListSources). All are fetched at once, each within its own time and size bounds.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "catalogue/ListFormats.h"
#include "platform/http/HttpGet.h"

namespace vestrel::catalogue {

// The maintained public lists, all over HTTPS, each with the protocol its bare host:port lines speak
// (a line with a scheme says its own).
struct PublicList {
    std::string_view name;
    std::string_view url;
    ProxyProtocol protocol = ProxyProtocol::kHttp;
};
inline constexpr PublicList kPublicLists[] = {
    {"monosans http", "https://raw.githubusercontent.com/monosans/proxy-list/main/proxies/http.txt"},
    {"monosans socks4", "https://raw.githubusercontent.com/monosans/proxy-list/main/proxies/socks4.txt",
     ProxyProtocol::kSocks4},
    {"monosans socks5", "https://raw.githubusercontent.com/monosans/proxy-list/main/proxies/socks5.txt",
     ProxyProtocol::kSocks5},
    {"proxifly http",
     "https://raw.githubusercontent.com/proxifly/free-proxy-list/main/proxies/protocols/http/data.txt"},
    {"proxifly https",
     "https://raw.githubusercontent.com/proxifly/free-proxy-list/main/proxies/protocols/https/data.txt"},
    {"proxifly socks4",
     "https://raw.githubusercontent.com/proxifly/free-proxy-list/main/proxies/protocols/socks4/data.txt",
     ProxyProtocol::kSocks4},
    {"proxifly socks5",
     "https://raw.githubusercontent.com/proxifly/free-proxy-list/main/proxies/protocols/socks5/data.txt",
     ProxyProtocol::kSocks5},
    {"TheSpeedX http", "https://raw.githubusercontent.com/TheSpeedX/PROXY-List/master/http.txt"},
    {"TheSpeedX socks4", "https://raw.githubusercontent.com/TheSpeedX/PROXY-List/master/socks4.txt",
     ProxyProtocol::kSocks4},
    {"TheSpeedX socks5", "https://raw.githubusercontent.com/TheSpeedX/PROXY-List/master/socks5.txt",
     ProxyProtocol::kSocks5},
    {"spys.me", "https://spys.me/proxy.txt"},
};
// The protocol of the bare lines of the list at `url`: the public list's own, HTTP for any other.
ProxyProtocol UnsaidProtocolOf(std::string_view url);
// The addresses of kPublicLists in their order.
std::vector<std::string> PublicListUrls();
// The setting PublicLists: true unless it is 0.
bool PublicListsIncluded();
void SetPublicListsIncluded(bool included);
// What one refresh reads beside the service: the public lists (when included), then the user's sources
// not among them.
std::vector<std::string> RefreshSourceUrls();

// Each source's bounds: the whole transfer and the body.
inline constexpr std::chrono::seconds kSourceTimeLimit{20};
inline constexpr std::size_t kSourceMaxBytes = 8u << 20;

// The source addresses in their order; none when the setting is missing or empty.
std::vector<std::string> ReadListSources();
// Stores `urls` as the REG_MULTI_SZ value ListSources (blank entries dropped).
std::error_code WriteListSources(const std::vector<std::string>& urls);

// The New list's lines of a list body (ReadProxyList): the texts of its proxies, in body order, each
// with its protocol (SOCKS ones with their scheme; bare lines speak `unsaid`).
std::vector<std::string> ParsePlainList(std::string_view body, ProxyProtocol unsaid = ProxyProtocol::kHttp);

struct SourceOutcome {
    std::string url;
    // The source answered 200 with a whole body within its bounds.
    bool ok = false;
    // The texts of its proxies (ListedProxy::Text), which join the New list.
    std::vector<std::string> lines;
    // The same proxies as read, with protocol and credentials.
    std::vector<ListedProxy> proxies;
};

// Every source fetched at once, each on a thread of its own within kSourceTimeLimit and kSourceMaxBytes
// (blocking until the last has ended; run it on a worker). HTTPS sources have their certificate
// checked. The outcomes come in the order of `urls`. A bare line speaks UnsaidProtocolOf its list.
std::vector<SourceOutcome> FetchListSources(const std::vector<std::string>& urls,
                                            const platform::http::GetOptions& options = {});

// The New list's lines: `service_lines` as they are, then each source's lines whose proxy (protocol,
// address and port) is not there yet.
std::vector<std::string> MergeSourceLines(std::vector<std::string> service_lines,
                                          const std::vector<SourceOutcome>& sources);

// The refresh message's part about sources that failed: "The list at URL could not be read." per
// failed source, joined by spaces; empty when none failed.
std::string FailedSourcesText(const std::vector<SourceOutcome>& sources);

// A count as the messages write it: "3,412".
std::string GroupedCount(std::size_t count);

// The refresh's message: "3,412 proxies from 4 lists." (the New list's size, and the lists that
// answered: the service's when it did, and each source that did), then the failed sources'
// FailedSourcesText (the service named first when it failed: `service_url`). "1 proxy", "1 list" in the
// singular. With nothing from anywhere:
// "The proxy list could not be downloaded. The previous list is kept." and the failed sources.
std::string RefreshMessage(std::string_view service_url, bool service_answered, std::size_t new_list_size,
                           const std::vector<SourceOutcome>& sources);
inline constexpr std::string_view kNothingDownloaded =
    "The proxy list could not be downloaded. The previous list is kept.";

}  // namespace vestrel::catalogue
