// The many-connects sweep over the sockets service's non-blocking connect and poll.
#include "catalogue/ConnectSweep.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/http/HostLookup.h"
#include "platform/net/Socket.h"

namespace vestrel::catalogue {

namespace {

namespace net = platform::net;
using Clock = std::chrono::steady_clock;

struct UnderWay {
    std::size_t index;
    net::Socket socket;
    Clock::time_point began;
};

// The longest one poll waits, so that a stop is seen soon.
constexpr std::chrono::milliseconds kPollSlice{100};

}  // namespace

void SweepConnects(std::span<const SweepTarget> targets, std::span<const std::size_t> order,
                   const SweepOptions& options, const SweepEnded& ended) {
    const auto stopped = [&] { return options.stop != nullptr && options.stop->load(); };
    const std::size_t at_once = std::max<std::size_t>(options.max_at_once, 1);
    std::vector<UnderWay> under_way;
    under_way.reserve(std::min(at_once, order.size()));
    std::vector<net::PollItem> items;
    std::size_t next = 0;
    while (!stopped() && (next < order.size() || !under_way.empty())) {
        // Start as many as there is room for; those that end at once are told at once.
        while (next < order.size() && under_way.size() < at_once && !stopped()) {
            const std::size_t index = order[next++];
            const SweepTarget& target = targets[index];
            std::optional<std::string> address;
            if (target.port >= 1 && target.port <= 65535) address = platform::http::LookupIPv4(target.host);
            std::error_code error;
            net::Socket socket;
            if (address) socket = net::StartConnect(*address, static_cast<std::uint16_t>(target.port), error);
            if (!socket.Valid()) {
                ended(index, ConnectEnd::kFailed, 0);
                continue;
            }
            under_way.push_back({index, std::move(socket), Clock::now()});
        }
        if (under_way.empty()) continue;

        const Clock::time_point now = Clock::now();
        Clock::time_point first_deadline = now + kPollSlice;
        items.resize(under_way.size());
        for (std::size_t i = 0; i < under_way.size(); ++i) {
            items[i] = net::PollItem{};
            items[i].socket = under_way[i].socket.Handle();
            items[i].want_write = true;
            first_deadline = std::min(first_deadline, under_way[i].began + options.limit);
        }
        const auto wait = std::max<std::chrono::milliseconds>(
            std::chrono::duration_cast<std::chrono::milliseconds>(first_deadline - now),
            std::chrono::milliseconds(0));
        const int ready = net::Poll(items, wait);
        if (ready < 0) {
            // A poll that cannot wait would spin: every connect under way counts as failed.
            for (UnderWay& entry : under_way) ended(entry.index, ConnectEnd::kFailed, 0);
            under_way.clear();
            continue;
        }

        const Clock::time_point after = Clock::now();
        std::size_t kept = 0;
        for (std::size_t i = 0; i < under_way.size(); ++i) {
            UnderWay& entry = under_way[i];
            std::optional<ConnectEnd> end;
            std::uint32_t ms = 0;
            if (items[i].writable || items[i].failed) {
                if (net::FinishConnect(entry.socket)) {
                    end = ConnectEnd::kFailed;
                } else {
                    end = ConnectEnd::kConnected;
                    const auto took =
                        std::chrono::duration_cast<std::chrono::milliseconds>(after - entry.began);
                    ms = static_cast<std::uint32_t>(std::max<std::int64_t>(took.count(), 1));
                }
            } else if (after - entry.began >= options.limit) {
                end = ConnectEnd::kSilent;
            }
            if (!end) {
                if (kept != i) under_way[kept] = std::move(entry);
                ++kept;
                continue;
            }
            const std::size_t index = entry.index;
            entry.socket.Close();
            ended(index, *end, ms);
        }
        under_way.erase(under_way.begin() + static_cast<std::ptrdiff_t>(kept), under_way.end());
    }
}

}  // namespace vestrel::catalogue
