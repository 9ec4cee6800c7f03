// The pool of idle connections and the warm spares.
#include "relay/UpstreamPool.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vestrel::relay {

namespace net = platform::net;
using std::chrono::milliseconds;

bool IsQuiet(net::Socket& socket) {
    std::array<net::PollItem, 1> item{};
    item[0].socket = socket.Handle();
    item[0].want_read = true;
    return net::Poll(item, milliseconds(0)) == 0;
}

net::Socket UpstreamPool::Take(const std::string& destination) {
    std::vector<net::Socket> stale;
    net::Socket taken;
    {
        const std::lock_guard lock(mutex_);
        DropExpiredLocked(Clock::now());
        const auto found = idle_.find(destination);
        if (found == idle_.end()) return {};
        std::vector<Kept>& list = found->second;
        while (!list.empty() && !taken.Valid()) {
            net::Socket socket = std::move(list.back().socket);
            list.pop_back();
            if (IsQuiet(socket)) {
                taken = std::move(socket);
            } else {
                stale.push_back(std::move(socket));
            }
        }
        if (list.empty()) idle_.erase(found);
    }
    return taken;
}

void UpstreamPool::Put(const std::string& destination, net::Socket socket) {
    const auto now = Clock::now();
    net::Socket closed;
    const std::lock_guard lock(mutex_);
    DropExpiredLocked(now);
    std::vector<Kept>& list = idle_[destination];
    if (!open_ || list.size() >= per_destination_) {
        closed = std::move(socket);
        if (list.empty()) idle_.erase(destination);
        return;
    }
    list.push_back({std::move(socket), now});
}

void UpstreamPool::Clear(bool open) {
    std::map<std::string, std::vector<Kept>> closed;
    const std::lock_guard lock(mutex_);
    open_ = open;
    closed.swap(idle_);
}

std::size_t UpstreamPool::Idle() const {
    const std::lock_guard lock(mutex_);
    std::size_t count = 0;
    for (const auto& [destination, list] : idle_) count += list.size();
    return count;
}

void UpstreamPool::DropExpiredLocked(Clock::time_point now) {
    for (auto it = idle_.begin(); it != idle_.end();) {
        std::vector<Kept>& list = it->second;
        // The oldest are at the front.
        std::size_t expired = 0;
        while (expired < list.size() && now - list[expired].since >= idle_limit_) ++expired;
        list.erase(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(expired));
        it = list.empty() ? idle_.erase(it) : std::next(it);
    }
}

WarmSpares::~WarmSpares() {
    if (keeper_.joinable()) {
        keeper_.request_stop();
        keeper_.join();
    }
}

net::Socket WarmSpares::Take(const std::string& host, std::uint16_t port) {
    std::vector<net::Socket> closed;
    net::Socket taken;
    {
        const std::lock_guard lock(mutex_);
        if (!open_) return {};
        if (host != host_ || port != port_) {
            for (Spare& spare : spares_) closed.push_back(std::move(spare.socket));
            spares_.clear();
            takes_.clear();
            host_ = host;
            port_ = port;
            ++generation_;
        }
        const auto now = Clock::now();
        // The oldest first, so that none sits unused until it expires while others are used; one the
        // proxy has closed meanwhile is not handed out.
        while (!spares_.empty() && !taken.Valid()) {
            net::Socket socket = std::move(spares_.front().socket);
            const bool fresh = now - spares_.front().made < idle_limit_;
            spares_.erase(spares_.begin());
            if (fresh && IsQuiet(socket)) {
                taken = std::move(socket);
            } else {
                closed.push_back(std::move(socket));
            }
        }
        takes_.push_back(now);
        if (!keeper_.joinable()) {
            try {
                keeper_ = std::jthread([this](std::stop_token stop) { Keep(stop); });
            } catch (const std::system_error&) {
                // Without a keeper every tunnel simply connects for itself.
            }
        }
    }
    changed_.notify_all();
    return taken;
}

void WarmSpares::Clear(bool open) {
    std::vector<Spare> closed;
    {
        const std::lock_guard lock(mutex_);
        open_ = open;
        ++generation_;
        takes_.clear();
        closed.swap(spares_);
    }
    changed_.notify_all();
}

std::size_t WarmSpares::Ready() const {
    const std::lock_guard lock(mutex_);
    return spares_.size();
}

std::size_t WarmSpares::WantedLocked(Clock::time_point now) {
    std::size_t old = 0;
    while (old < takes_.size() && now - takes_[old] >= idle_limit_) ++old;
    takes_.erase(takes_.begin(), takes_.begin() + static_cast<std::ptrdiff_t>(old));
    // Far more takes than that were a burst of short connections: no browser keeps more open at once.
    if (takes_.size() > 4 * kMost) takes_.erase(takes_.begin(), takes_.end() - 4 * kMost);
    return open_ ? std::min(takes_.size(), kMost) : 0;
}

// The connections are made at once, each on a thread of its own, so that six cost one round trip to
// the proxy rather than six.
std::vector<net::Socket> WarmSpares::Make(const std::string& host, std::uint16_t port,
                                          std::size_t count) const {
    std::vector<net::Socket> made(count);
    auto connect = [&](std::size_t i) {
        std::error_code error;
        made[i] = net::ConnectTcp(host, port, connect_timeout_, error);
        if (made[i].Valid()) {
            made[i].SetNonBlocking(true);
            made[i].SetNoDelay(true);
        }
    };
    std::vector<std::jthread> helpers;
    for (std::size_t i = 1; i < count; ++i) {
        try {
            helpers.emplace_back(connect, i);
        } catch (const std::system_error&) {
            break;
        }
    }
    connect(0);
    return made;
}

void WarmSpares::Keep(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        const auto now = Clock::now();
        // Spares left unused for the idle limit are closed; takes that old no longer call for spares.
        std::vector<Spare> expired;
        while (!spares_.empty() && now - spares_.front().made >= idle_limit_) {
            expired.push_back(std::move(spares_.front()));
            spares_.erase(spares_.begin());
        }
        const std::size_t wanted = WantedLocked(now);
        if (spares_.size() < wanted) {
            const std::string host = host_;
            const std::uint16_t port = port_;
            const std::uint64_t generation = generation_;
            const std::size_t missing = wanted - spares_.size();
            lock.unlock();
            expired.clear();
            std::vector<net::Socket> made = Make(host, port, missing);
            lock.lock();
            const auto made_at = Clock::now();
            // Settings may have moved on while connecting; such spares are of no use.
            bool any = false;
            for (net::Socket& socket : made) {
                if (!socket.Valid()) continue;
                any = true;
                if (generation == generation_ && spares_.size() < kMost)
                    spares_.push_back({std::move(socket), made_at});
            }
            // A proxy that cannot be reached is not tried again before the next take.
            if (!any && generation == generation_) takes_.clear();
            continue;
        }
        // The next change: a take, a clear, the oldest spare's or take's expiry.
        auto next = Clock::time_point::max();
        if (!spares_.empty()) next = spares_.front().made + idle_limit_;
        if (!takes_.empty()) next = std::min(next, takes_.front() + idle_limit_);
        const std::size_t takes = takes_.size();
        const std::uint64_t generation = generation_;
        auto changed = [&] { return takes_.size() != takes || generation_ != generation; };
        if (next == Clock::time_point::max()) {
            changed_.wait(lock, stop, changed);
        } else {
            changed_.wait_until(lock, stop, next, changed);
        }
    }
}

}  // namespace vestrel::relay
