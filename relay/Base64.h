// Base64 of the proxy credentials for the Proxy-Authorization line.
#pragma once

#include <string>
#include <string_view>

namespace vestrel::relay {

// Standard Base64 (RFC 4648) with "=" padding and no line breaks.
std::string encodeBase64(std::string_view input);

}  // namespace vestrel::relay
