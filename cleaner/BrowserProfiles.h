// Where the browsers of today keep their profiles, read from each browser's own list of them: the
// "Local State" file of the Chromium family, Firefox's "profiles.ini".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vestrel::cleaner {

enum class BrowserFamily { Chromium, Gecko };

// The user's two application-data folders (%LOCALAPPDATA%, %APPDATA% on Windows).
struct UserFolders {
    std::string local_app_data;
    std::string app_data;
};

struct BrowserProfile {
    std::string browser;  // the browser's name for the user: "Chrome", "Firefox", ...
    BrowserFamily family = BrowserFamily::Chromium;
    std::string name;          // "Default", "Profile 3"; Firefox's folder name
    std::string data_folder;   // the profile's own files
    std::string cache_folder;  // its caches (the same folder where the browser keeps them together)
    std::string lock_file;     // held by the browser while it runs this profile
};

// The folder names listed in a "Local State" file's profile.info_cache, in their order; never the
// guest's or the system's profile, nor a name that would lead outside the User Data folder.
std::vector<std::string> ChromiumProfileNames(std::string_view local_state);

struct GeckoProfileEntry {
    std::string path;  // as written, with '/' separators when relative
    bool is_relative = true;
};
// The [ProfileN] sections of a "profiles.ini", in their order.
std::vector<GeckoProfileEntry> GeckoProfileEntries(std::string_view profiles_ini);

// The URLs a Chromium "Bookmarks" file names, from every root folder down.
std::vector<std::string> ChromiumBookmarkUrls(std::string_view bookmarks);

// Every profile of every known browser found below `folders`, browser by browser in a fixed order.
std::vector<BrowserProfile> FindBrowserProfiles(const UserFolders& folders);

}  // namespace vestrel::cleaner
