// Keeps WebRTC in Chrome and Edge to the proxy while anonymity is on: their user-level policy
// "WebRtcIPHandling" = "disable_non_proxied_udp", under which they send WebRTC media only through the
// proxy (or not at all) instead of revealing the machine's own addresses. Switching off removes only
// what was added here: a value the user had comes back, keys created for the policy go again.
#pragma once

#include <string_view>

namespace vestrel::browsers {

inline constexpr std::string_view kWebRtcPolicyName = "WebRtcIPHandling";
inline constexpr std::string_view kWebRtcPolicyValue = "disable_non_proxied_udp";
inline constexpr std::string_view kChromePolicyKey = "Software\\Policies\\Google\\Chrome";
inline constexpr std::string_view kEdgePolicyKey = "Software\\Policies\\Microsoft\\Edge";

// Sets the policy for both browsers (HKEY_CURRENT_USER), saving what it replaces the first time.
// A policy value of another type than text is the administrator's and is left alone.
void ContainWebRtc();
// Puts back what ContainWebRtc saved; a value the user changed meanwhile is left as it is.
void ReleaseWebRtc();

}  // namespace vestrel::browsers
