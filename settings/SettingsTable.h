// Every registry value of the program: full path (key path and value name joined by a backslash),
// default and hive. No other file spells a registry path of ours.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/registry/Registry.h"

namespace vestrel::settings {

using platform::registry::Hive;

struct DwordSettingSpec {
    std::string_view full_path;
    std::uint32_t default_value;
    Hive hive = Hive::LocalMachine;
};

struct StringSettingSpec {
    std::string_view full_path;
    std::string_view default_value;
    Hive hive = Hive::LocalMachine;
};

// A REG_MULTI_SZ value: a list of texts, none by default.
struct MultiStringSettingSpec {
    std::string_view full_path;
    Hive hive = Hive::LocalMachine;
};

// The program's key and the privacy cleaner's subkey.
inline constexpr std::string_view kProgramKey = "Software\\Vestrel";
inline constexpr std::string_view kCleanerKey = "Software\\Vestrel\\Setari";

// Local relay.
inline constexpr DwordSettingSpec kLocalPort{"Software\\Vestrel\\LocalPort", 8080};
inline constexpr DwordSettingSpec kEnableJS{"Software\\Vestrel\\EnableJS", 0};
inline constexpr DwordSettingSpec kEnableActiveX{"Software\\Vestrel\\EnableActiveX", 0};
inline constexpr StringSettingSpec kLastDomain{"Software\\Vestrel\\LastDomain", ""};
// Seconds an upstream proxy may take to send the first byte of its answer before it counts as dead.
inline constexpr DwordSettingSpec kAnswerTimeout{"Software\\Vestrel\\AnswerTimeout", 15};

// Anonymity and the proxy catalogue.
inline constexpr DwordSettingSpec kUseProxy{"Software\\Vestrel\\UseProxy", 0};
// 1: when the proxy in use stops answering, move to the fastest working one of the Tested list.
inline constexpr DwordSettingSpec kAutoSwitch{"Software\\Vestrel\\AutoSwitch", 1};
inline constexpr StringSettingSpec kProxyName{"Software\\Vestrel\\ProxyName", ""};
inline constexpr DwordSettingSpec kFail{"Software\\Vestrel\\FAIL", 0};
inline constexpr StringSettingSpec kTmpResponseTime{"Software\\Vestrel\\TMPResponseTime", ""};
inline constexpr StringSettingSpec kTmpDownloadSpeed{"Software\\Vestrel\\TMPDownloadSpeed", ""};
// Host (optionally host:port) of the proxy list service.
inline constexpr StringSettingSpec kListServer{"Software\\Vestrel\\ListServer", "lists.vestrel-proxy.net"};
// Where proxies are judged; empty means the built-in public judges, tried in order.
inline constexpr StringSettingSpec kJudgeUrl{"Software\\Vestrel\\JudgeUrl", ""};
inline constexpr StringSettingSpec kJudgeHttpsUrl{"Software\\Vestrel\\JudgeHttpsUrl", ""};
// Addresses of plain-text proxy lists read beside the list service's own.
inline constexpr MultiStringSettingSpec kListSources{"Software\\Vestrel\\ListSources"};
// 1: the maintained public lists are read at every refresh too.
inline constexpr DwordSettingSpec kPublicLists{"Software\\Vestrel\\PublicLists", 1};

// Installation.
inline constexpr StringSettingSpec kAppPath{"Software\\Vestrel\\AppPath", ""};
inline constexpr StringSettingSpec kAppFullPath{"\\Software\\Vestrel\\AppFullPath", ""};

// Application shell.
inline constexpr DwordSettingSpec kRunAtStartup{"Software\\Vestrel\\RunAtStartup", 0};
inline constexpr DwordSettingSpec kHideHint{"\\Software\\Vestrel\\HideHint", 0};

// Browsers to point at the relay.
inline constexpr DwordSettingSpec kBrowserIE{"Software\\Vestrel\\IE", 0};
inline constexpr DwordSettingSpec kBrowserFireFox{"Software\\Vestrel\\FireFox", 0};
inline constexpr DwordSettingSpec kBrowserMozilla{"Software\\Vestrel\\Mozilla", 0};
inline constexpr DwordSettingSpec kBrowserNetscape{"Software\\Vestrel\\Netscape", 0};
inline constexpr DwordSettingSpec kBrowserOpera{"Software\\Vestrel\\Opera", 0};
inline constexpr DwordSettingSpec kBrowserAvant{"Software\\Vestrel\\Avant", 0};

// Privacy cleaner.
inline constexpr DwordSettingSpec kClearHistory{"Software\\Vestrel\\Setari\\IClear1", 0};
inline constexpr DwordSettingSpec kClearTypedUrls{"Software\\Vestrel\\Setari\\IClear2", 0};
inline constexpr DwordSettingSpec kClearTemporaryFiles{"Software\\Vestrel\\Setari\\IClear3", 0};
inline constexpr DwordSettingSpec kClearCookies{"Software\\Vestrel\\Setari\\IClear4", 0};
inline constexpr DwordSettingSpec kClearFormEntries{"Software\\Vestrel\\Setari\\IClear5", 0};
inline constexpr DwordSettingSpec kClearPasswords{"Software\\Vestrel\\Setari\\IClear6", 0};
inline constexpr DwordSettingSpec kClearFavorites{"Software\\Vestrel\\Setari\\IClear7", 0};
inline constexpr DwordSettingSpec kAutoClean{"Software\\Vestrel\\Setari\\AutoClean", 0};
inline constexpr DwordSettingSpec kSleep{"Software\\Vestrel\\Setari\\Sleep", 0};
// Sites whose cookies the cleaner keeps in every browser ("example.com" keeps its subdomains too).
inline constexpr MultiStringSettingSpec kKeepCookies{"Software\\Vestrel\\Setari\\KeepCookies"};

// The start-up entry that holds the text of AppFullPath.
inline constexpr StringSettingSpec kRunEntry{"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Vestrel",
                                             ""};

}  // namespace vestrel::settings
