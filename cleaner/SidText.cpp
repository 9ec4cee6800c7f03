// SID text formatting.
#include "cleaner/SidText.h"

#include <cstdio>

namespace vestrel::cleaner {

std::string sidToText(const std::array<std::uint8_t, 6>& authority,
                      std::span<const std::uint32_t> sub_authorities) {
    std::string text = "S-1-";
    char number[32];
    if (authority[0] != 0 || authority[1] != 0) {
        std::snprintf(number, sizeof number, "0x%02X%02X%02X%02X%02X%02X", authority[0], authority[1],
                      authority[2], authority[3], authority[4], authority[5]);
    } else {
        const std::uint32_t value = (static_cast<std::uint32_t>(authority[2]) << 24) |
                                    (static_cast<std::uint32_t>(authority[3]) << 16) |
                                    (static_cast<std::uint32_t>(authority[4]) << 8) | authority[5];
        std::snprintf(number, sizeof number, "%lu", static_cast<unsigned long>(value));
    }
    text += number;
    for (const std::uint32_t sub : sub_authorities) {
        std::snprintf(number, sizeof number, "-%lu", static_cast<unsigned long>(sub));
        text += number;
    }
    return text;
}

}  // namespace vestrel::cleaner
