// The pool of idle connections and the warm spare.
#include "relay/UpstreamPool.h"

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

WarmSpare::~WarmSpare() {
    if (keeper_.joinable()) {
        keeper_.request_stop();
        keeper_.join();
    }
}

net::Socket WarmSpare::Take(const std::string& host, std::uint16_t port) {
    net::Socket taken;
    {
        const std::lock_guard lock(mutex_);
        if (!open_) return {};
        if (spare_.Valid() && host == host_ && port == port_) taken = std::move(spare_);
        spare_.Close();
        host_ = host;
        port_ = port;
        wanted_ = true;
        if (!keeper_.joinable()) {
            try {
                keeper_ = std::jthread([this](std::stop_token stop) { Keep(stop); });
            } catch (const std::system_error&) {
                // Without a keeper every tunnel simply connects for itself.
            }
        }
    }
    changed_.notify_all();
    // A spare the proxy has closed meanwhile is not handed out; the keeper makes a fresh one.
    if (taken.Valid() && !IsQuiet(taken)) taken.Close();
    return taken;
}

void WarmSpare::Clear(bool open) {
    net::Socket closed;
    {
        const std::lock_guard lock(mutex_);
        open_ = open;
        wanted_ = false;
        closed = std::move(spare_);
    }
    changed_.notify_all();
}

bool WarmSpare::Ready() const {
    const std::lock_guard lock(mutex_);
    return spare_.Valid();
}

void WarmSpare::Keep(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        if (wanted_ && open_) {
            wanted_ = false;
            const std::string host = host_;
            const std::uint16_t port = port_;
            lock.unlock();
            std::error_code error;
            net::Socket made = net::ConnectTcp(host, port, connect_timeout_, error);
            if (made.Valid()) {
                made.SetNonBlocking(true);
                made.SetNoDelay(true);
            }
            lock.lock();
            // Settings may have moved on while connecting; such a spare is of no use.
            if (made.Valid() && open_ && host == host_ && port == port_ && !spare_.Valid()) {
                spare_ = std::move(made);
                made_ = Clock::now();
            }
            continue;
        }
        if (spare_.Valid()) {
            const auto expires = made_ + idle_limit_;
            if (Clock::now() >= expires) {
                spare_.Close();
                continue;
            }
            changed_.wait_until(lock, stop, expires, [&] { return wanted_; });
        } else {
            changed_.wait(lock, stop, [&] { return wanted_; });
        }
    }
}

}  // namespace vestrel::relay
