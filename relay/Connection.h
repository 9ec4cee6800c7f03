// One browser connection of the relay: requests and their answers in turn while the browser keeps the
// connection open, or one tunnel.
#pragma once

#include <chrono>
#include <cstddef>

#include "platform/net/Socket.h"
#include "relay/RelaySettings.h"
#include "relay/UpstreamPool.h"

namespace vestrel::relay {

struct RelayLimits {
    // Reaching the upstream proxy or server: a proxy whose connect has not completed by then is dead.
    std::chrono::milliseconds connect_timeout{5'000};
    // An upstream proxy's reply to CONNECT (the first answer byte of a plain request has the settings'
    // answer timeout).
    std::chrono::milliseconds connect_reply_timeout{10'000};
    std::chrono::milliseconds idle_timeout{120'000};  // no byte either way on a request, or between two
    std::chrono::milliseconds tunnel_idle_timeout{600'000};  // no byte either way in a tunnel
    std::chrono::milliseconds head_timeout{30'000};          // the whole request head
    std::size_t max_connections = 1024;
    std::size_t max_requests_per_connection = 1000;
    std::chrono::milliseconds thread_linger{30'000};      // an idle connection thread waits for the next
    std::chrono::milliseconds pool_idle_timeout{15'000};  // an unused upstream connection is closed
    std::size_t pool_per_destination = 8;
    std::chrono::milliseconds spare_idle_timeout{10'000};  // a warm spare is closed unused
};

// What the connections of one relay share besides their settings.
struct Upstreams {
    explicit Upstreams(const RelayLimits& limits)
        : pool(limits.pool_idle_timeout, limits.pool_per_destination),
          spares(limits.connect_timeout, limits.spare_idle_timeout) {}
    UpstreamPool pool;
    WarmSpares spares;
};

// Serves the browser connection `browser` to its end with the settings of `settings`, which the
// caller keeps alive. Never throws out of socket trouble: every failure ends the connection.
// `own_port` is the port the relay listens on: requests naming it are answered, not sent on.
void RunConnection(platform::net::Socket browser, const RelaySettings& settings, const RelayLimits& limits,
                   Upstreams& upstreams, std::uint16_t own_port);

}  // namespace vestrel::relay
