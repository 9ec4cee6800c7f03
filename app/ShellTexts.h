// The application shell's fixed texts and the small rules that build its status lines and tips.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vestrel::app {

inline constexpr std::string_view kWindowTitle = "Vestrel";
inline constexpr std::string_view kInstanceMutexName = "AFX_Quorv_H__5B5F33E8_2175_4C23_BB38_A334CADD6B88";

// What the status lines show when the computer's own address cannot be found.
inline constexpr std::string_view kUnknownAddress = "Unkwon IP";

// The notification-area tip holds at most 63 characters and its terminating zero.
inline constexpr std::size_t kTrayTipLength = 63;
std::string TrayTip(std::string_view text);

// The tip a navigation button puts into the tips panel while the pointer is over it.
std::optional<std::string> TipFor(std::string_view button_name);
// Buttons whose name holds "BTN" clear the tips panel when the pointer leaves them.
bool IsTipButton(std::string_view button_name);

// The status lines as the main window writes them when it opens. The address in use is the proxy
// only while anonymity is on with a proxy chosen.
std::string StartupAddressInUseLine(std::uint32_t use_proxy, std::string_view proxy_name,
                                    std::string_view real_address);
std::string StartupRealAddressLine(std::string_view real_address);

}  // namespace vestrel::app
