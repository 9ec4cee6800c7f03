// The computer's own addresses from getifaddrs.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>

#include "platform/net/LocalAddresses.h"

namespace vestrel::platform::net {

std::vector<std::string> LocalAddresses() {
    std::vector<std::string> addresses;
    ifaddrs* head = nullptr;
    if (::getifaddrs(&head) != 0) return addresses;
    for (const ifaddrs* entry = head; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_UP) == 0 ||
            (entry->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        char text[INET6_ADDRSTRLEN] = {};
        if (entry->ifa_addr->sa_family == AF_INET) {
            const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof(text)) != nullptr)
                addresses.emplace_back(text);
        } else if (entry->ifa_addr->sa_family == AF_INET6) {
            const auto* address = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            if (IN6_IS_ADDR_LINKLOCAL(&address->sin6_addr) || IN6_IS_ADDR_LOOPBACK(&address->sin6_addr))
                continue;
            if (::inet_ntop(AF_INET6, &address->sin6_addr, text, sizeof(text)) != nullptr)
                addresses.emplace_back(text);
        }
    }
    ::freeifaddrs(head);
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    return addresses;
}

}  // namespace vestrel::platform::net
