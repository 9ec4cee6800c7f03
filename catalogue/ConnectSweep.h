// Timing connects to many proxies at once: up to a thousand connects under way, all waited on by one
// poll (which, unlike select, has no limit on the sockets it watches), each with a limit of its own.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace vestrel::catalogue {

// Windows leaves about 16,000 ephemeral ports to all programs together; a thousand connects at once
// keeps well clear of them (a connect that is never answered holds its port only until its limit).
inline constexpr std::size_t kMaxConnectsAtOnce = 1024;
// The first pass over a long list: a proxy worth using accepts well within this.
inline constexpr std::chrono::milliseconds kFirstPassLimit{2000};

enum class ConnectEnd : std::uint8_t {
    kConnected,
    // Refused, no route, unknown host, a port outside 1..65535: trying again will not help.
    kFailed,
    // Nothing came back within the limit: a longer limit might still reach it.
    kSilent,
};

struct SweepTarget {
    std::string host;
    std::int32_t port = 0;
};

struct SweepOptions {
    std::size_t max_at_once = kMaxConnectsAtOnce;
    std::chrono::milliseconds limit = kFirstPassLimit;
    // Once true, no further connect starts and those under way are dropped (not told).
    const std::atomic<bool>* stop = nullptr;
};

// Told, on the sweeping thread, how the connect to targets[index] ended; `ms` the connect time (at
// least 1) when connected, else 0. The connection itself is closed at once: nothing is sent.
using SweepEnded = std::function<void(std::size_t index, ConnectEnd end, std::uint32_t ms)>;

// Connects to targets[i] for each i of `order`, in that order, keeping up to options.max_at_once
// under way; blocks until each has ended or the stop was set.
void SweepConnects(std::span<const SweepTarget> targets, std::span<const std::size_t> order,
                   const SweepOptions& options, const SweepEnded& ended);

}  // namespace vestrel::catalogue
