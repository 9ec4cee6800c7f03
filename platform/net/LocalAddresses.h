// The computer's own addresses, as its network interfaces carry them.
#pragma once

#include <string>
#include <vector>

namespace vestrel::platform::net {

// The IPv4 (dotted) and IPv6 (text form, without a zone) addresses of the interfaces that are up,
// loopback and link-local IPv6 ones left out, sorted and each once. Empty when they cannot be read.
std::vector<std::string> LocalAddresses();

}  // namespace vestrel::platform::net
