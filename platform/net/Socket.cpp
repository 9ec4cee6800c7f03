// The parts of the socket service that are the same on every system.
#include "platform/net/Socket.h"

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

}  // namespace vestrel::platform::net
