// The relay object, its listener thread and the start of connection threads.
#include "relay/LocalRelay.h"

#include <array>
#include <deque>
#include <string>
#include <system_error>
#include <utility>

#include "relay/HttpHead.h"

namespace vestrel::relay {

namespace net = platform::net;
using std::chrono::milliseconds;

// What the connection threads share with the relay; they hold it alive themselves, since they are
// never waited for and may outlive a `stop`.
// An accepted connection with the settings it was accepted under.
struct LocalRelay::Accepted {
    net::Socket browser;
    std::shared_ptr<const RelaySettings> settings;
};

struct LocalRelay::Shared {
    explicit Shared(RelayLimits relay_limits) : limits(relay_limits), upstreams(limits) {}

    const RelayLimits limits;
    RelaySettingsStore settings;
    Upstreams upstreams;
    // The port listened on, which requests must not name.
    std::atomic<std::uint16_t> own_port{0};
    // True from the start until `stop`, or until the listener ends by itself.
    std::atomic<bool> running{false};
    mutable std::mutex mutex;
    mutable std::condition_variable ended;
    std::size_t active = 0;
    // Connection threads outlive their connection for a while and take the next one, since starting
    // a thread costs more than serving a small answer. Guarded by `mutex`.
    std::condition_variable handed_over;
    std::deque<Accepted> waiting;
    std::size_t idle_threads = 0;
};

namespace {

// Refuses a connection beyond the bound without waiting for it: the answer is small enough for any
// socket buffer, and the listener must not be held by a peer that does not read.
void Refuse(net::Socket& browser) {
    static const std::string answer = ShortAnswer(503, "Service Unavailable");
    browser.SetNonBlocking(true);
    if (browser.Send(answer.data(), answer.size()) > 0) browser.ShutdownSend();
    std::array<char, 4096> sink;
    for (int i = 0; i < 16 && browser.Receive(sink.data(), sink.size()) > 0; ++i) {
    }
    browser.Close();
}

}  // namespace

LocalRelay::LocalRelay(RelayLimits limits) : shared_(std::make_shared<Shared>(limits)) {}

LocalRelay::~LocalRelay() {
    const std::lock_guard lock(control_);
    StopLocked();
}

bool LocalRelay::start(std::uint32_t listen_port, std::uint32_t use_upstream, std::string_view upstream_host,
                       std::uint32_t upstream_port, std::string_view user, std::string_view password) {
    const std::lock_guard lock(control_);
    return StartLocked(listen_port,
                       MakeRelaySettings(use_upstream, upstream_host, upstream_port, user, password));
}

bool LocalRelay::start(std::uint32_t listen_port, const Upstream& upstream,
                       std::chrono::milliseconds answer_timeout) {
    const std::lock_guard lock(control_);
    return StartLocked(listen_port, MakeRelaySettings(upstream, answer_timeout));
}

bool LocalRelay::StartLocked(std::uint32_t listen_port, RelaySettings settings) {
    StopLocked();
    listen_port_ = listen_port;
    shared_->settings.Replace(std::move(settings));

    // Only the browsers of this machine may use the relay: anyone else reaching it would browse
    // through the user's proxy under the user's name.
    std::error_code error;
    net::Listener listener =
        net::Listener::OnLoopback(static_cast<std::uint16_t>(listen_port & 0xFFFF), 128, error);
    if (!listener.Valid()) return false;
    const std::uint16_t port = listener.Port();
    shared_->own_port = port;
    shared_->upstreams.pool.Clear(true);
    shared_->upstreams.spares.Clear(true);
    // Raised before the listener runs, so that a listener failing at once leaves it lowered.
    shared_->running = true;
    try {
        listener_ = std::jthread(&LocalRelay::Listen, shared_, std::move(listener));
    } catch (const std::system_error&) {
        shared_->running = false;
        return false;
    }
    bound_port_ = port;
    return true;
}

bool LocalRelay::reconfigure(std::uint32_t listen_port, std::uint32_t use_upstream,
                             std::string_view upstream_host, std::uint32_t upstream_port,
                             std::string_view user, std::string_view password) {
    const std::lock_guard lock(control_);
    listen_port_ = listen_port;
    shared_->settings.Replace(MakeRelaySettings(use_upstream, upstream_host, upstream_port, user, password));
    return true;
}

bool LocalRelay::reconfigure(std::uint32_t listen_port, const Upstream& upstream,
                             std::chrono::milliseconds answer_timeout) {
    const std::lock_guard lock(control_);
    listen_port_ = listen_port;
    shared_->settings.Replace(MakeRelaySettings(upstream, answer_timeout));
    return true;
}

void LocalRelay::stop() {
    const std::lock_guard lock(control_);
    StopLocked();
}

bool LocalRelay::isRunning() const { return shared_->running.load(); }

std::size_t LocalRelay::idleUpstreamConnections() const { return shared_->upstreams.pool.Idle(); }

std::size_t LocalRelay::sparesReady() const { return shared_->upstreams.spares.Ready(); }

void LocalRelay::StopLocked() {
    shared_->running = false;
    // Connections kept for later requests are of no use to a stopped relay.
    shared_->upstreams.pool.Clear(false);
    shared_->upstreams.spares.Clear(false);
    if (!listener_.joinable()) return;
    listener_.request_stop();
    // A connection of our own wakes the listener from its wait at once; without it the listener
    // notices within its poll interval.
    std::error_code error;
    net::Socket wake = net::ConnectTcp("127.0.0.1", bound_port_.load(), milliseconds(1'000), error);
    listener_.join();
    bound_port_ = 0;
}

std::uint32_t LocalRelay::listenPort() const {
    const std::lock_guard lock(control_);
    return listen_port_;
}

std::size_t LocalRelay::activeConnections() const {
    const std::lock_guard lock(shared_->mutex);
    return shared_->active;
}

bool LocalRelay::waitForConnectionsToEnd(milliseconds timeout) const {
    std::unique_lock lock(shared_->mutex);
    return shared_->ended.wait_for(lock, timeout, [&] { return shared_->active == 0; });
}

void LocalRelay::Listen(std::stop_token stop, std::shared_ptr<Shared> shared, net::Listener listener) {
    try {
        listener.SetNonBlocking(true);
        while (!stop.stop_requested()) {
            std::array<net::PollItem, 1> item{};
            item[0].socket = listener.Handle();
            item[0].want_read = true;
            if (net::Poll(item, milliseconds(250)) <= 0 || stop.stop_requested()) continue;
            // Take every connection that waits before polling again.
            for (int taken = 0; taken < 64 && !stop.stop_requested(); ++taken) {
                std::error_code error;
                net::Socket browser = listener.Accept(error);
                if (!browser.Valid()) {
                    // Out of descriptors or a connection reset before it was taken: try again
                    // shortly rather than spin.
                    if (!net::LastCallWouldBlock()) std::this_thread::sleep_for(milliseconds(10));
                    break;
                }
                if (stop.stop_requested()) break;
                Serve(shared, std::move(browser));
            }
        }
    } catch (...) {
        // Nothing may leave a thread; the listener simply ends, and the relay says it no longer runs.
        shared->running = false;
    }
}

void LocalRelay::Serve(const std::shared_ptr<Shared>& shared, net::Socket browser) {
    Accepted accepted{std::move(browser), shared->settings.Snapshot()};
    {
        std::unique_lock lock(shared->mutex);
        if (shared->active >= shared->limits.max_connections) {
            lock.unlock();
            return Refuse(accepted.browser);
        }
        ++shared->active;
        if (shared->waiting.size() < shared->idle_threads) {
            shared->waiting.push_back(std::move(accepted));
            shared->handed_over.notify_one();
            return;
        }
    }
    try {
        std::thread(&LocalRelay::ServeConnections, shared, std::move(accepted)).detach();
    } catch (const std::system_error&) {
        const std::lock_guard lock(shared->mutex);
        --shared->active;
        shared->ended.notify_all();
    }
}

void LocalRelay::ServeConnections(std::shared_ptr<Shared> shared, Accepted accepted) {
    for (;;) {
        try {
            RunConnection(std::move(accepted.browser), *accepted.settings, shared->limits, shared->upstreams,
                          shared->own_port.load());
        } catch (...) {
            // A connection that fails in an unforeseen way ends alone.
        }
        accepted.settings.reset();
        std::unique_lock lock(shared->mutex);
        --shared->active;
        shared->ended.notify_all();
        ++shared->idle_threads;
        const bool handed = shared->handed_over.wait_for(lock, shared->limits.thread_linger,
                                                         [&] { return !shared->waiting.empty(); });
        --shared->idle_threads;
        if (!handed) return;
        accepted = std::move(shared->waiting.front());
        shared->waiting.pop_front();
    }
}

LocalRelay& TheLocalRelay() {
    static LocalRelay relay;
    return relay;
}

}  // namespace vestrel::relay
