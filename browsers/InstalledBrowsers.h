// Which browsers are installed, judged by their entries under the system's Uninstall key.
#pragma once

#include <cstdint>

namespace vestrel::browsers {

// Each test accepts the browser's long-known uninstall keys; the Firefox, Opera and Netscape tests also
// accept any uninstall key whose name begins with the browser's name, so that current versions count.
// Both registry views are looked at. Probing leaves no key behind.
bool IsNetscapeInstalled();
bool IsOperaInstalled();
bool IsMozillaInstalled();
bool IsFirefoxInstalled();
bool IsAvantInstalled();

// Netscape generations present: 6 for Netscape 6, plus 8 for the Netscape Browser (whose profiles are
// the ones edited): 0, 6, 8 or 14.
inline constexpr std::uint32_t kNetscape6 = 6;
inline constexpr std::uint32_t kNetscapeBrowser = 8;
std::uint32_t NetscapeKind();

}  // namespace vestrel::browsers
