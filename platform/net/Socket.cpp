// The parts of the socket service that are the same on every system.
#include "platform/net/Socket.h"

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

}  // namespace vestrel::platform::net
