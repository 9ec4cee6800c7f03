// The parts of the socket service that are the same on every system.
#include "platform/net/Socket.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace vestrel::platform::net {

bool Socket::SendAll(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const std::ptrdiff_t sent = Send(bytes, size);
        if (sent <= 0) return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

Listener Listener::OnLoopback(std::uint16_t port, int backlog, std::error_code& error) {
    EnsureStarted();
    Listener listener;
    Socket socket = detail::NewStreamSocket(error);
    if (!socket.Valid()) return listener;
    detail::ClaimListenAddress(socket);
    const std::optional<std::uint16_t> bound = detail::BindLoopbackAndListen(socket, port, backlog, error);
    if (!bound) return listener;
    listener.port_ = *bound;
    listener.socket_ = std::move(socket);
    error.clear();
    return listener;
}

std::optional<int> detail::WaitForConnect(std::chrono::steady_clock::time_point deadline,
                                          const std::atomic<bool>* cancel,
                                          const std::function<int(int)>& wait_slice) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return 0;
        if (cancel != nullptr && cancel->load()) return std::nullopt;
        const int ready = wait_slice(static_cast<int>(std::min<std::int64_t>(left.count(), 200)));
        if (ready != 0) return ready;
    }
}

}  // namespace vestrel::platform::net
