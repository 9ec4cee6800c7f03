// Port and interval checks.
#include "app/OptionsRules.h"

#include <limits>

namespace vestrel::app {

std::optional<std::uint32_t> ParseWholeNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

bool PortAccepted(std::uint32_t port) { return port > 1024 && port < 65000; }

std::optional<std::uint16_t> AcceptedPort(std::string_view text) {
    const std::optional<std::uint32_t> port = ParseWholeNumber(text);
    if (!port || !PortAccepted(*port)) return std::nullopt;
    return static_cast<std::uint16_t>(*port);
}

bool IntervalAccepted(std::uint32_t minutes) { return minutes > 1 && minutes < 32000; }

}  // namespace vestrel::app
