// Connections to the upstream proxy (or to web servers) kept open between requests, so that the next
// request to the same place does not pay for a new TCP handshake; and spare connections to the
// upstream proxy made ahead of need, for the next tunnels.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/Socket.h"

namespace vestrel::relay {

// True when an idle connection has nothing to say: a peer that closed it, or one that sent bytes
// nobody asked for, has made it useless.
bool IsQuiet(platform::net::Socket& socket);

// Idle connections per destination ("host:port"), the most recently used first.
class UpstreamPool {
  public:
    UpstreamPool(std::chrono::milliseconds idle_limit, std::size_t per_destination)
        : idle_limit_(idle_limit), per_destination_(per_destination) {}

    // An idle connection to `destination` still open, or an invalid socket.
    platform::net::Socket Take(const std::string& destination);
    // Keeps `socket` for the next request to `destination`; closes it when the pool is full or shut.
    void Put(const std::string& destination, platform::net::Socket socket);
    // Closes every idle connection; `open` says whether connections may be kept from now on.
    void Clear(bool open);
    std::size_t Idle() const;

  private:
    using Clock = std::chrono::steady_clock;
    struct Kept {
        platform::net::Socket socket;
        Clock::time_point since;
    };
    void DropExpiredLocked(Clock::time_point now);

    const std::chrono::milliseconds idle_limit_;
    const std::size_t per_destination_;
    mutable std::mutex mutex_;
    std::map<std::string, std::vector<Kept>> idle_;
    bool open_ = true;
};

// Connections to the upstream proxy opened in advance by a thread of its own, for the next tunnels
// and requests: as many as were taken within the idle limit, since a browser opens up to six
// connections to its proxy at once and each that finds no spare pays a round trip to the proxy. Each
// closes when it stayed unused for the idle limit; none is made before the first is wanted.
class WarmSpares {
  public:
    static constexpr std::size_t kMost = 6;

    WarmSpares(std::chrono::milliseconds connect_timeout, std::chrono::milliseconds idle_limit)
        : connect_timeout_(connect_timeout), idle_limit_(idle_limit) {}
    ~WarmSpares();
    WarmSpares(const WarmSpares&) = delete;
    WarmSpares& operator=(const WarmSpares&) = delete;

    // A spare for `host`:`port` when one is open and still quiet, or an invalid socket; either way the
    // spares are made up again for the next uses.
    platform::net::Socket Take(const std::string& host, std::uint16_t port);
    // Closes the spares; `open` says whether spares may be made from now on.
    void Clear(bool open);
    std::size_t Ready() const;

  private:
    using Clock = std::chrono::steady_clock;
    struct Spare {
        platform::net::Socket socket;
        Clock::time_point made;
    };
    void Keep(std::stop_token stop);
    // How many spares the takes of the last idle limit call for; forgets older takes.
    std::size_t WantedLocked(Clock::time_point now);
    std::vector<platform::net::Socket> Make(const std::string& host, std::uint16_t port,
                                            std::size_t count) const;

    const std::chrono::milliseconds connect_timeout_;
    const std::chrono::milliseconds idle_limit_;
    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    std::string host_;
    std::uint16_t port_ = 0;
    bool open_ = true;
    // Raised whenever the spares made so far stop being of use (another proxy, a clear), so that
    // connections still being made then are closed instead of kept.
    std::uint64_t generation_ = 0;
    std::vector<Spare> spares_;             // the oldest first
    std::vector<Clock::time_point> takes_;  // the oldest first, within the idle limit
    std::jthread keeper_;
};

}  // namespace vestrel::relay
