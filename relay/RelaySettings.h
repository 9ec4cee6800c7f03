// Where the relay sends requests: the upstream proxy and its credentials, shared by every connection.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace vestrel::relay {

// How the relay speaks to the upstream proxy. HTTP proxies get the browser's requests in absolute form
// and CONNECT; SOCKS proxies get a tunnel per connection, always by name, so that no lookup of the
// destination is made on this computer.
enum class UpstreamProtocol { Http, Socks4a, Socks5 };

inline constexpr std::chrono::seconds kDefaultAnswerTimeout{15};

// The upstream proxy as the catalogue knows it: its protocol, address and optional credentials (HTTP
// Basic, or SOCKS5 username/password; SOCKS4a sends the user name as its user id).
struct Upstream {
    UpstreamProtocol protocol = UpstreamProtocol::Http;
    std::string host;
    std::uint16_t port = 0;
    std::string user;
    std::string password;
};

struct RelaySettings {
    std::uint32_t use_upstream = 0;
    UpstreamProtocol protocol = UpstreamProtocol::Http;
    std::string upstream_host;
    std::uint32_t upstream_port = 0;  // low 16 bits used
    std::string user;
    std::string password;
    std::uint32_t authorised = 0;
    // "Proxy-Authorization: Basic ...\r\n" when authorised.
    std::string authorisation_line;
    // How long the upstream may take, after the request went out, before the first byte of its answer.
    std::chrono::milliseconds answer_timeout = kDefaultAnswerTimeout;
};

// The record `start` and `reconfigure` store. The authorisation line belongs to the upstream it was
// formed for: settings without a user name carry none, so one proxy's credentials never travel to
// another proxy chosen later.
RelaySettings MakeRelaySettings(std::uint32_t use_upstream, std::string_view upstream_host,
                                std::uint32_t upstream_port, std::string_view user,
                                std::string_view password);
// The same through `upstream`, always used.
RelaySettings MakeRelaySettings(const Upstream& upstream,
                                std::chrono::milliseconds answer_timeout = kDefaultAnswerTimeout);

// The process-wide settings. Each connection takes one snapshot when it starts and keeps it, so a
// `reconfigure` on another thread never changes a record while a connection reads it.
class RelaySettingsStore {
  public:
    RelaySettingsStore() : current_(std::make_shared<const RelaySettings>()) {}
    void Replace(RelaySettings settings);
    std::shared_ptr<const RelaySettings> Snapshot() const;

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<const RelaySettings> current_;
};

}  // namespace vestrel::relay
