// Where the browsers keep their profiles: folders below the user's application-data folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vestrel::browsers {

enum class GeckoBrowser { Firefox, Mozilla, Netscape };

// The user's application-data folder as the system gives it (the shell's CSIDL_APPDATA on Windows);
// empty when the system has none. Natively there is none unless a test sets one.
std::string ApplicationDataFolder();
// Makes ApplicationDataFolder() return `folder` (nothing: the system's again). For tests.
void OverrideApplicationDataFolder(std::optional<std::string> folder);

// The folder searched for a browser's "prefs.js", ending with a separator; empty without `app_data`.
std::string GeckoProfileRoot(std::string_view app_data, GeckoBrowser browser);
// Opera's profile "Opera6.ini"; empty without `app_data`.
std::string OperaProfileIni(std::string_view app_data);

namespace detail {
// The platform's answer, without the test override.
std::string SystemApplicationDataFolder();
}  // namespace detail

}  // namespace vestrel::browsers
