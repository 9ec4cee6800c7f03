// The text form of a security identifier, as the user's Protected Storage key is named.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace vestrel::cleaner {

// "S-1-", the identifier authority, then "-" and each sub-authority in decimal. The authority is decimal
// when it fits in 32 bits (every authority in use) and hexadecimal ("0x" and twelve digits) otherwise.
std::string sidToText(const std::array<std::uint8_t, 6>& authority,
                      std::span<const std::uint32_t> sub_authorities);

}  // namespace vestrel::cleaner
