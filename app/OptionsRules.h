// The rules of the options and privacy pages that need no window: which local port and which cleaning
// interval are accepted, and the texts that say so.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vestrel::app {

inline constexpr std::string_view kSpecifyPort = "Please specify a port number";
inline constexpr std::string_view kPortOutOfRange =
    "Please specify a port value within 1024 ... 65000 interval";
inline constexpr std::string_view kPortAvailable = "Proxy Port is Available and can be used by Vestrel";
inline constexpr std::string_view kPortInUse = "Proxy Port is in use by another program";
inline constexpr std::string_view kCannotCreateSocket = "Unable to connect to create socket";
inline constexpr std::string_view kDefaultPortText = "8080";

inline constexpr std::string_view kEnterInteger = "Please enter an integer.";
inline constexpr std::string_view kIntervalOutOfRange = "Please specify a value within 1 ... 32000 interval ";
inline constexpr std::uint32_t kFallbackInterval = 5;

// A whole number written in decimal digits only (no sign, no blank); nothing when the text is empty,
// holds anything else, or does not fit 32 bits.
std::optional<std::uint32_t> ParseWholeNumber(std::string_view text);

// The ports the relay may be moved to: 1025 to 64999. Ports up to 1024 belong to the system's
// services, and the top of the range to the system's outgoing connections.
bool PortAccepted(std::uint32_t port);
// The port of the page's edit when it is accepted; nothing for an empty, non-numeric or refused text.
std::optional<std::uint16_t> AcceptedPort(std::string_view text);

// The minutes between two cleanings: 2 to 31999.
bool IntervalAccepted(std::uint32_t minutes);

}  // namespace vestrel::app
