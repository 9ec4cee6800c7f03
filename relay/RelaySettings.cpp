// The relay's upstream settings and their snapshots.
#include "relay/RelaySettings.h"

#include <utility>

#include "relay/Base64.h"

namespace vestrel::relay {

RelaySettings MakeRelaySettings(std::uint32_t use_upstream, std::string_view upstream_host,
                                std::uint32_t upstream_port, std::string_view user,
                                std::string_view password) {
    RelaySettings settings;
    settings.use_upstream = use_upstream;
    settings.upstream_host = std::string(upstream_host);
    settings.upstream_port = upstream_port;
    settings.user = std::string(user);
    settings.password = std::string(password);
    if (use_upstream != 0 && !user.empty()) {
        settings.authorised = 1;
        settings.authorisation_line =
            "Proxy-Authorization: Basic " + encodeBase64(settings.user + ":" + settings.password) + "\r\n";
    }
    return settings;
}

RelaySettings MakeRelaySettings(const Upstream& upstream, std::chrono::milliseconds answer_timeout) {
    RelaySettings settings =
        MakeRelaySettings(1, upstream.host, upstream.port, upstream.user, upstream.password);
    settings.protocol = upstream.protocol;
    // SOCKS proxies take their credentials in their own greeting, never in a header.
    if (upstream.protocol != UpstreamProtocol::Http) {
        settings.authorised = 0;
        settings.authorisation_line.clear();
    }
    settings.answer_timeout = answer_timeout;
    return settings;
}

void RelaySettingsStore::Replace(RelaySettings settings) {
    auto fresh = std::make_shared<const RelaySettings>(std::move(settings));
    const std::lock_guard lock(mutex_);
    current_.swap(fresh);
    // The old record dies with `fresh` once the lock is released; connections still using it hold
    // their own reference.
}

std::shared_ptr<const RelaySettings> RelaySettingsStore::Snapshot() const {
    const std::lock_guard lock(mutex_);
    return current_;
}

}  // namespace vestrel::relay
