// Name lookup over Windows Sockets' getaddrinfo.
#include <winsock2.h>

#include <windows.h>

#include <ws2tcpip.h>

#include "platform/http/HostLookup.h"
#include "platform/net/Socket.h"

namespace vestrel::platform::http {

std::optional<std::string> LookupIPv4(std::string_view host) {
    if (host.empty()) return std::nullopt;
    net::EnsureStarted();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* head = nullptr;
    const std::string name(host);
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &head) != 0 || head == nullptr) return std::nullopt;
    char text[NI_MAXHOST] = {};
    const bool converted = ::getnameinfo(head->ai_addr, static_cast<int>(head->ai_addrlen), text,
                                         sizeof(text), nullptr, 0, NI_NUMERICHOST) == 0;
    ::freeaddrinfo(head);
    if (!converted) return std::nullopt;
    return std::string(text);
}

}  // namespace vestrel::platform::http
