// Every web address the program opens, and the names of its help file, in one place.
#pragma once

#include <string>
#include <string_view>

namespace vestrel::app::links {

inline constexpr std::string_view kProductPage = "http://www.vestrel-proxy.net/";
inline constexpr std::string_view kCompanyPage = "http://www.vestrel-proxy.net/about/";
inline constexpr std::string_view kSupportPage = "http://www.vestrel-proxy.net/support/";
inline constexpr std::string_view kTellAFriendPage = "http://www.vestrel-proxy.net/tell-a-friend/";
inline constexpr std::string_view kAddressCheckPage = "http://www.vestrel-proxy.net/my-ip/";
inline constexpr std::string_view kTipsPage = "http://www.vestrel-proxy.net/tips/";
inline constexpr std::string_view kPollPage = "http://www.vestrel-proxy.net/poll/";

inline constexpr std::string_view kHelpFileName = "Vestrel.chm";
inline constexpr std::string_view kHelpTopic = "::/Introduction.htm";
// The word the help search runs at once.
inline constexpr std::string_view kHelpSearchText = "lesson";

// The help file in the program folder (`AppPath`), and the same with the introduction topic. An
// empty folder leaves the name starting with the backslash, as the help viewer then resolves it.
std::string HelpFilePath(std::string_view app_path);
std::string HelpTopicPath(std::string_view app_path);

}  // namespace vestrel::app::links
