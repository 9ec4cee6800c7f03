// Connections to the upstream proxy (or to web servers) kept open between requests, so that the next
// request to the same place does not pay for a new TCP handshake; and one spare connection to the
// upstream proxy made ahead of need, for the next tunnel.
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

// One connection to the upstream proxy opened in advance by a thread of its own: after every use it
// makes the next one, and it closes one that stayed unused for the idle limit.
class WarmSpare {
  public:
    WarmSpare(std::chrono::milliseconds connect_timeout, std::chrono::milliseconds idle_limit)
        : connect_timeout_(connect_timeout), idle_limit_(idle_limit) {}
    ~WarmSpare();
    WarmSpare(const WarmSpare&) = delete;
    WarmSpare& operator=(const WarmSpare&) = delete;

    // The spare for `host`:`port` when one is open and still quiet, or an invalid socket; either way a
    // new spare is made for the next use.
    platform::net::Socket Take(const std::string& host, std::uint16_t port);
    // Closes the spare; `open` says whether spares may be made from now on.
    void Clear(bool open);
    bool Ready() const;

  private:
    using Clock = std::chrono::steady_clock;
    void Keep(std::stop_token stop);

    const std::chrono::milliseconds connect_timeout_;
    const std::chrono::milliseconds idle_limit_;
    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    std::string host_;
    std::uint16_t port_ = 0;
    bool wanted_ = false;
    bool open_ = true;
    platform::net::Socket spare_;
    Clock::time_point made_;
    std::jthread keeper_;
};

}  // namespace vestrel::relay
