// One browser connection of the relay: one request, its answer, or one tunnel.
#pragma once

#include <chrono>
#include <cstddef>

#include "platform/net/Socket.h"
#include "relay/RelaySettings.h"

namespace vestrel::relay {

struct RelayLimits {
    std::chrono::milliseconds connect_timeout{15'000};       // reaching the upstream proxy or server
    std::chrono::milliseconds idle_timeout{120'000};         // no byte either way on a request
    std::chrono::milliseconds tunnel_idle_timeout{600'000};  // no byte either way in a tunnel
    std::chrono::milliseconds head_timeout{30'000};          // the whole request head
    std::size_t max_connections = 1024;
    std::chrono::milliseconds thread_linger{30'000};  // an idle connection thread waits for the next
};

// Serves the browser connection `browser` to its end with the settings of `settings`, which the
// caller keeps alive. Never throws out of socket trouble: every failure ends the connection.
void RunConnection(platform::net::Socket browser, const RelaySettings& settings, const RelayLimits& limits);

}  // namespace vestrel::relay
