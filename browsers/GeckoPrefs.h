// Points Firefox, Mozilla and Netscape at the relay, and back, by editing the user_pref statements of
// the profile's "prefs.js". The edits are textual: only the statements they name change, every other
// byte of the file stays as it was.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "browsers/ProfileFolders.h"

namespace vestrel::browsers {

inline constexpr std::string_view kRelayHost = "127.0.0.1";

// The text of a "prefs.js" with the HTTP and HTTPS proxy set to 127.0.0.1 and `port`, manual proxy
// mode on, and WebRTC kept to the proxy (no candidate addresses of its own, no direct UDP). Statements found are edited in place; missing ones are appended, each on a line of
// its own, with the file's own line breaks. A statement whose value or closing ");" cannot be made out
// on its line is left alone (a fresh one is appended when no sound one exists).
std::string EnableGeckoPrefs(std::string_view text, std::uint32_t port);
// The text with the proxy port, proxy type and HTTPS proxy statements removed (their lines stay, empty);
// the HTTP host statement stays.
std::string DisableGeckoPrefs(std::string_view text);

// What a "prefs.js" holds for each statement the enable edit changes: the values of that statement,
// in file order; a name that is missing had no statement.
using GeckoPrefValues = std::map<std::string, std::vector<std::string>>;
GeckoPrefValues CaptureGeckoPrefs(std::string_view text);
// The text with the statements the enable edit changes put back as `saved` holds them: their values
// given back, the statements that were absent removed with their lines. Every other byte, including
// whatever the browser itself wrote meanwhile, stays.
std::string RestoreGeckoPrefs(std::string_view text, const GeckoPrefValues& saved);

// The "prefs.js" to edit below `profile_root`: the match in the folder that comes last in a
// post-order walk of the root (the root itself when it holds one); empty when there is none.
std::string FindProfilePrefs(const std::string& profile_root);

// Edit the profile found below `profile_root`, pointing it at 127.0.0.1 and the `LocalPort` setting.
// Enabling first saves what it replaces (unless that file's state is saved already); disabling puts
// back what was saved, or, with nothing saved, removes the proxy statements as it always has, from a
// profile that points at 127.0.0.1 only.
// Nothing to edit is not an error; a file that cannot be read or replaced is (the old file then stays
// whole).
std::error_code EnableGeckoProxy(const std::string& profile_root);
std::error_code DisableGeckoProxy(const std::string& profile_root);

// The same for one browser's root below the user's application-data folder.
std::error_code EnableGeckoProxy(GeckoBrowser browser);
std::error_code DisableGeckoProxy(GeckoBrowser browser);

// Puts back every saved profile, whichever browser it belongs to; a profile whose file is gone is
// forgotten. The first error met, after trying every profile.
std::error_code RestoreSavedGeckoProfiles();

}  // namespace vestrel::browsers
