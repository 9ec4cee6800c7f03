// The public proxy list: its download from the list service with the browsers set direct around it,
// the list refresh that rebuilds the New list, and the ping that asks the service's generator page to
// run after each refresh.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/thread/WorkerThread.h"
#include "platform/http/HttpGet.h"

namespace vestrel::catalogue {

inline constexpr std::string_view kProxyListPath = "/services/vx/proxy/sortedproxylist.txt";
inline constexpr std::string_view kGeneratorPath = "/services/vx/proxy/proxygenerator.asp";
inline constexpr std::string_view kDefaultConnectionSettings = "DefaultConnectionSettings";

// "http://" + ListServer + the path.
std::string ProxyListUrl();
std::string GeneratorUrl();

// The browser configurator's two whole-system operations, handed in by the caller so that the
// catalogue does not depend on it. Either may be empty.
struct ConnectionHooks {
    std::function<bool(std::string_view connection_name)> disable_connection_proxy;
    std::function<bool(std::string_view connection_name, std::string_view server)> set_connection_options;
};

// The transfer of `url` alone: the body when the service answered 200 with a whole, non-empty body;
// nothing when the transfer failed, was cut, or the answer was anything else (an error page is never a
// list).
std::optional<std::string> TransferProxyList(const std::string& url,
                                             const platform::http::GetOptions& options = {});

// The browsers set direct, the transfer, then, with UseProxy 1, the browsers pointed back at
// "127.0.0.1:<LocalPort>" whether the transfer worked or not.
std::optional<std::string> FetchProxyList(const std::string& url, const ConnectionHooks& hooks,
                                          const platform::http::GetOptions& options = {});

// Requests the generator page once on its own thread and throws the answer away.
class GeneratorPing : public platform::WorkerThread {
  public:
    explicit GeneratorPing(std::string url, platform::http::GetOptions options = {});
    ~GeneratorPing() override;
    void Run(std::uint32_t argument) override;

  private:
    const std::string url_;
    platform::http::GetOptions options_;
    std::atomic<bool> cancel_{false};
};

// Owns the pings of the run: a refresh while an earlier ping is still going starts another one.
// Finished pings are dropped at the next start; a few at most run at once.
class GeneratorPinger {
  public:
    static constexpr std::size_t kMaxRunning = 4;
    // False when the ping was not started (too many still running, or no thread could be made).
    bool Start(const std::string& url, const platform::http::GetOptions& options = {});
    std::size_t Running();

  private:
    void DropFinished();
    std::vector<std::unique_ptr<GeneratorPing>> pings_;
};

// The New list: catalogue lines in body order.
using NewList = std::vector<std::string>;

struct RefreshResult {
    // False when there was no list: the New list then still holds the previous one.
    bool updated = false;
};

// The list refresh: browsers direct, fetch, the New list rebuilt from the kept pieces (only when there
// is a list), the generator ping started.
RefreshResult RefreshProxyList(NewList& new_list, const ConnectionHooks& hooks, GeneratorPinger& pinger,
                               const platform::http::GetOptions& options = {});

}  // namespace vestrel::catalogue
