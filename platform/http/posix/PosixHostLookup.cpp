// Name lookup over getaddrinfo.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/http/HostLookup.h"

namespace vestrel::platform::http {

std::optional<std::string> LookupIPv4(std::string_view host) {
    if (host.empty()) return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* head = nullptr;
    const std::string name(host);
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &head) != 0 || head == nullptr) return std::nullopt;
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(head->ai_addr);
    const bool converted = ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof(text)) != nullptr;
    ::freeaddrinfo(head);
    if (!converted) return std::nullopt;
    return std::string(text);
}

}  // namespace vestrel::platform::http
