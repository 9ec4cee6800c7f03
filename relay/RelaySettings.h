// Where the relay sends requests: the upstream proxy and its credentials, shared by every connection.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace vestrel::relay {

struct RelaySettings {
    std::uint32_t use_upstream = 0;
    std::string upstream_host;
    std::uint32_t upstream_port = 0;  // low 16 bits used
    std::string user;
    std::string password;
    std::uint32_t authorised = 0;
    // "Proxy-Authorization: Basic ...\r\n" when authorised.
    std::string authorisation_line;
};

// The record `start` and `reconfigure` store. The authorisation line belongs to the upstream it was
// formed for: settings without a user name carry none, so one proxy's credentials never travel to
// another proxy chosen later.
RelaySettings MakeRelaySettings(std::uint32_t use_upstream, std::string_view upstream_host,
                                std::uint32_t upstream_port, std::string_view user,
                                std::string_view password);

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
