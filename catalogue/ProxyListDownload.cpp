// Downloading the proxy list and pinging the generator page.
#include "catalogue/ProxyListDownload.h"

#include <algorithm>
#include <exception>

#include "catalogue/CatalogueLines.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::catalogue {
namespace {

std::string ServiceUrl(std::string_view path) {
    settings::RegStringSetting server(settings::kListServer);
    return "http://" + server.get() + std::string(path);
}

}  // namespace

std::string ProxyListUrl() { return ServiceUrl(kProxyListPath); }
std::string GeneratorUrl() { return ServiceUrl(kGeneratorPath); }

std::optional<std::string> TransferProxyList(const std::string& url,
                                             const platform::http::GetOptions& options) {
    const std::optional<platform::http::Url> parsed = platform::http::ParseUrl(url);
    if (!parsed) return std::nullopt;
    BodyAssembler body;
    const platform::http::GetResult result =
        platform::http::Get(*parsed, options, [&](std::string_view bytes) { body.Feed(bytes); });
    if (!result.complete || result.status != 200) return std::nullopt;
    body.Finish();
    if (body.Body().empty()) return std::nullopt;
    return body.TakeBody();
}

std::optional<std::string> FetchProxyList(const std::string& url, const ConnectionHooks& hooks,
                                          const platform::http::GetOptions& options) {
    // Direct first, so that the download never passes through our own relay.
    if (hooks.disable_connection_proxy) hooks.disable_connection_proxy(kDefaultConnectionSettings);
    std::optional<std::string> body;
    try {
        body = TransferProxyList(url, options);
    } catch (const std::exception&) {
        body.reset();
    }
    if (settings::RegDwordSetting(settings::kUseProxy).get() == 1 && hooks.set_connection_options) {
        const std::uint32_t port = settings::RegDwordSetting(settings::kLocalPort).get();
        hooks.set_connection_options(kDefaultConnectionSettings, "127.0.0.1:" + std::to_string(port));
    }
    return body;
}

GeneratorPing::GeneratorPing(std::string url, platform::http::GetOptions options)
    : url_(std::move(url)), options_(std::move(options)) {
    options_.cancel = &cancel_;
}

GeneratorPing::~GeneratorPing() {
    // The transfer reads url_ and cancel_: end it before they go.
    cancel_.store(true);
    StopAndWait();
}

void GeneratorPing::Run(std::uint32_t /*argument*/) {
    try {
        const std::optional<platform::http::Url> parsed = platform::http::ParseUrl(url_);
        if (!parsed) return;
        // The answer is of no use; only the request matters to the service.
        platform::http::Get(*parsed, options_, nullptr);
    } catch (...) {
        // The ping is best effort: nothing it meets may end the program.
    }
}

void GeneratorPinger::DropFinished() {
    std::erase_if(pings_, [](const std::unique_ptr<GeneratorPing>& ping) {
        return ping->WaitForExit(std::chrono::milliseconds(0));
    });
}

std::size_t GeneratorPinger::Running() {
    DropFinished();
    return pings_.size();
}

bool GeneratorPinger::Start(const std::string& url, const platform::http::GetOptions& options) {
    DropFinished();
    if (pings_.size() >= kMaxRunning) return false;
    auto ping = std::make_unique<GeneratorPing>(url, options);
    ping->argument = 0;
    if (!ping->Start()) return false;
    pings_.push_back(std::move(ping));
    return true;
}

RefreshResult RefreshProxyList(NewList& new_list, const ConnectionHooks& hooks, GeneratorPinger& pinger,
                               const platform::http::GetOptions& options) {
    RefreshResult result;
    if (hooks.disable_connection_proxy) hooks.disable_connection_proxy(kDefaultConnectionSettings);
    const std::optional<std::string> body = FetchProxyList(ProxyListUrl(), hooks, options);
    if (body) {
        new_list.clear();
        ForEachCatalogueLine(*body, [&](std::string_view line) { new_list.emplace_back(line); });
        result.updated = true;
    }
    pinger.Start(GeneratorUrl(), options);
    return result;
}

}  // namespace vestrel::catalogue
