// Name lookup on its own, for callers that must time a connect without the lookup in it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vestrel::platform::http {

// The dotted form of the first IPv4 address of `host` (a dotted address gives itself); nothing when
// the name does not resolve or is empty.
std::optional<std::string> LookupIPv4(std::string_view host);

}  // namespace vestrel::platform::http
