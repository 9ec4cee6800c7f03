// The local relay: the program's own HTTP proxy on 127.0.0.1, which sends every browser request on
// through the chosen upstream proxy (or straight to the web server).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

#include "relay/Connection.h"
#include "relay/RelaySettings.h"

namespace vestrel::relay {

class LocalRelay {
  public:
    LocalRelay() : LocalRelay(RelayLimits{}) {}
    explicit LocalRelay(RelayLimits limits);
    virtual ~LocalRelay();
    LocalRelay(const LocalRelay&) = delete;
    LocalRelay& operator=(const LocalRelay&) = delete;

    // Stores the settings and starts listening on 127.0.0.1 at `listen_port` (0: a free port, see
    // boundPort()). False when the port cannot be bound or the listener thread cannot start, so that
    // the caller can tell the user. A running relay is stopped first.
    bool start(std::uint32_t listen_port, std::uint32_t use_upstream, std::string_view upstream_host,
               std::uint32_t upstream_port, std::string_view user, std::string_view password);
    // New settings for connections accepted from now on; the listener stays where it is.
    bool reconfigure(std::uint32_t listen_port, std::uint32_t use_upstream, std::string_view upstream_host,
                     std::uint32_t upstream_port, std::string_view user, std::string_view password);
    // The same through `upstream`, whose first answer byte may take up to `answer_timeout`.
    bool start(std::uint32_t listen_port, const Upstream& upstream,
               std::chrono::milliseconds answer_timeout = kDefaultAnswerTimeout);
    bool reconfigure(std::uint32_t listen_port, const Upstream& upstream,
                     std::chrono::milliseconds answer_timeout = kDefaultAnswerTimeout);
    bool isRunning() const;
    // Closes the listening socket before returning; connections already accepted go on to their end.
    void stop();

    // The port actually listened on, 0 while stopped.
    std::uint16_t boundPort() const { return bound_port_.load(); }
    std::uint32_t listenPort() const;
    std::size_t activeConnections() const;
    // Upstream connections kept open for the next request, and the warm spares open.
    std::size_t idleUpstreamConnections() const;
    std::size_t sparesReady() const;
    // Waits until every accepted connection has ended; false when `timeout` ran out first.
    bool waitForConnectionsToEnd(std::chrono::milliseconds timeout) const;

  private:
    struct Shared;
    struct Accepted;

    bool StartLocked(std::uint32_t listen_port, RelaySettings settings);
    void StopLocked();
    static void Listen(std::stop_token stop, std::shared_ptr<Shared> shared,
                       platform::net::Listener listener);
    static void Serve(const std::shared_ptr<Shared>& shared, platform::net::Socket browser);
    static void ServeConnections(std::shared_ptr<Shared> shared, Accepted accepted);

    std::shared_ptr<Shared> shared_;
    mutable std::mutex control_;
    std::jthread listener_;
    std::atomic<std::uint16_t> bound_port_{0};
    std::uint32_t listen_port_ = 8080;
};

// The process-wide relay that the anonymity switch drives.
LocalRelay& TheLocalRelay();

}  // namespace vestrel::relay
