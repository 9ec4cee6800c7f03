// Small servers and a client on 127.0.0.1 for the relay's tests: origins, fake upstream proxies and
// peers that misbehave, each connection served on its own thread and joined at the end.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/Socket.h"

namespace vestrel::relay::testing {

namespace net = platform::net;

class LoopbackServer {
  public:
    using Handler = std::function<void(net::Socket&)>;

    explicit LoopbackServer(Handler handler) : handler_(std::move(handler)) {
        std::error_code error;
        listener_ = net::Listener::OnLoopback(0, 256, error);
        listener_.SetNonBlocking(true);
        acceptor_ = std::thread([this] { AcceptLoop(); });
    }
    // Connections still open are shut down first, so that a handler waiting on a connection the relay
    // keeps for later ends at once.
    ~LoopbackServer() {
        stopping_ = true;
        acceptor_.join();
        const std::lock_guard lock(mutex_);
        for (const std::shared_ptr<net::Socket>& peer : peers_) peer->ShutdownBoth();
        for (std::thread& worker : workers_) worker.join();
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t port() const { return listener_.Port(); }
    int accepted() const { return accepted_.load(); }

  private:
    void AcceptLoop() {
        while (!stopping_) {
            net::PollItem item;
            item.socket = listener_.Handle();
            item.want_read = true;
            if (net::Poll({&item, 1}, std::chrono::milliseconds(50)) <= 0) continue;
            std::error_code error;
            net::Socket peer = listener_.Accept(error);
            if (!peer.Valid()) continue;
            peer.SetNonBlocking(false);
            // Every wait of a handler is bounded, so that a broken relay fails the test, not hangs it.
            peer.SetReceiveTimeout(std::chrono::seconds(20));
            peer.SetSendTimeout(std::chrono::seconds(20));
            ++accepted_;
            const std::lock_guard lock(mutex_);
            peers_.push_back(std::make_shared<net::Socket>(std::move(peer)));
            workers_.emplace_back([this, socket = peers_.back()] {
                try {
                    handler_(*socket);
                } catch (...) {
                }
                // The handler is done with the connection: its peer sees it end as if it were closed.
                socket->ShutdownBoth();
            });
        }
    }

    Handler handler_;
    net::Listener listener_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    std::mutex mutex_;
    std::vector<std::shared_ptr<net::Socket>> peers_;
    std::vector<std::thread> workers_;
    std::thread acceptor_;
};

// Reads up to and including the blank line; what came after it is left in `rest`.
inline std::optional<std::string> ReadHead(net::Socket& socket, std::string& rest) {
    std::string bytes;
    char buffer[4096];
    for (;;) {
        if (const auto end = bytes.find("\r\n\r\n"); end != std::string::npos) {
            rest = bytes.substr(end + 4);
            return bytes.substr(0, end + 4);
        }
        const auto n = socket.Receive(buffer, sizeof(buffer));
        if (n <= 0) return std::nullopt;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

// Reads `size` bytes in all, `rest` first.
inline std::optional<std::string> ReadExactly(net::Socket& socket, std::string rest, std::size_t size) {
    char buffer[65536];
    while (rest.size() < size) {
        const auto n = socket.Receive(buffer, std::min(sizeof(buffer), size - rest.size()));
        if (n <= 0) return std::nullopt;
        rest.append(buffer, static_cast<std::size_t>(n));
    }
    return rest;
}

inline std::string ReadToEnd(net::Socket& socket) {
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const auto n = socket.Receive(buffer, sizeof(buffer));
        if (n <= 0) return bytes;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

// Reads one answer framed by Content-Length (none: no body), `rest` first; what follows it is left in
// `rest`. Enough for a browser on a connection kept open, with answers made to be read that way.
inline std::optional<std::string> ReadLengthAnswer(net::Socket& socket, std::string& rest) {
    std::string bytes = rest;
    char buffer[65536];
    for (;;) {
        if (const auto end = bytes.find("\r\n\r\n"); end != std::string::npos) {
            std::size_t length = 0;
            if (const auto at = bytes.find("Content-Length: "); at != std::string::npos && at < end)
                length = std::stoul(bytes.substr(at + 16));
            auto whole = ReadExactly(socket, bytes, end + 4 + length);
            if (!whole) return std::nullopt;
            rest = whole->substr(end + 4 + length);
            return whole->substr(0, end + 4 + length);
        }
        const auto n = socket.Receive(buffer, sizeof(buffer));
        if (n <= 0) return std::nullopt;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

inline net::Socket Connect(std::uint16_t port) {
    std::error_code error;
    net::Socket socket = net::ConnectTcp("127.0.0.1", port, std::chrono::seconds(5), error);
    socket.SetReceiveTimeout(std::chrono::seconds(20));
    socket.SetSendTimeout(std::chrono::seconds(20));
    return socket;
}

// Sends `request`, says it has no more to send, and reads every answer until the relay closes.
inline std::string Exchange(std::uint16_t port, const std::string& request) {
    net::Socket socket = Connect(port);
    if (!socket.Valid() || !socket.SendAll(request)) return {};
    socket.ShutdownSend();
    return ReadToEnd(socket);
}

// A checksum that tells two large bodies apart (FNV-1a).
inline std::uint64_t Checksum(std::string_view bytes) {
    std::uint64_t hash = 1469598103934665603ull;
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

inline std::string PatternBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

}  // namespace vestrel::relay::testing
