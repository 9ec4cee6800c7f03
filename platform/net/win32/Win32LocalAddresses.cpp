// The computer's own addresses from GetAdaptersAddresses (iphlpapi).
#include <winsock2.h>

#include <windows.h>

#include <ws2tcpip.h>

#include <iphlpapi.h>

#include <algorithm>
#include <vector>

#include "platform/net/LocalAddresses.h"
#include "platform/net/Socket.h"

namespace vestrel::platform::net {

std::vector<std::string> LocalAddresses() {
    EnsureStarted();
    std::vector<std::string> addresses;
    // The size the call asks for can grow between two calls when an adapter appears; try a few times.
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        status = ::GetAdaptersAddresses(
            AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER, nullptr,
            reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (status != NO_ERROR) return addresses;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr; unicast = unicast->Next) {
            const sockaddr* address = unicast->Address.lpSockaddr;
            if (address == nullptr) continue;
            char text[INET6_ADDRSTRLEN] = {};
            if (address->sa_family == AF_INET) {
                const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
                if (v4->sin_addr.S_un.S_un_b.s_b1 == 127) continue;
                if (::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof(text)) != nullptr)
                    addresses.emplace_back(text);
            } else if (address->sa_family == AF_INET6) {
                const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
                if (IN6_IS_ADDR_LINKLOCAL(&v6->sin6_addr) || IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr)) continue;
                if (::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof(text)) != nullptr)
                    addresses.emplace_back(text);
            }
        }
    }
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    return addresses;
}

}  // namespace vestrel::platform::net
