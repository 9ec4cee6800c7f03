// Finding the browsers' profiles through their own lists.
#include "cleaner/BrowserProfiles.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <nlohmann/json.hpp>

#include "platform/fs/Directory.h"
#include "platform/fs/Files.h"

namespace vestrel::cleaner {
namespace {

namespace fs = platform::fs;
using nlohmann::json;

enum class Base { Local, Roaming };

struct ChromiumBrowser {
    std::string_view name;
    Base base;
    std::string_view user_data;  // below the base, '/'-separated
    // Opera keeps its default profile in the top folder itself, and its caches in the local folder.
    bool profile_at_top = false;
};

constexpr ChromiumBrowser kChromiumBrowsers[] = {
    {"Chrome", Base::Local, "Google/Chrome/User Data"},
    {"Edge", Base::Local, "Microsoft/Edge/User Data"},
    {"Brave", Base::Local, "BraveSoftware/Brave-Browser/User Data"},
    {"Vivaldi", Base::Local, "Vivaldi/User Data"},
    {"Chromium", Base::Local, "Chromium/User Data"},
    {"Opera", Base::Roaming, "Opera Software/Opera Stable", true},
    {"Opera GX", Base::Roaming, "Opera Software/Opera GX Stable", true},
};

constexpr std::string_view kFirefoxFolder = "Mozilla/Firefox";

// `base` and a '/'-separated relative path, joined with the system's separators.
std::string Below(const std::string& base, std::string_view relative) {
    std::string path = base;
    while (!relative.empty()) {
        const auto slash = relative.find_first_of("/\\");
        const std::string_view part = relative.substr(0, slash);
        if (!part.empty()) path = fs::JoinPath(path, part);
        if (slash == std::string_view::npos) break;
        relative.remove_prefix(slash + 1);
    }
    return path;
}

// A single folder name that stays where it is put: no separators, no "..", not empty.
bool IsPlainFolderName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\:") == std::string_view::npos;
}

// A relative profile path whose parts are all plain names.
bool IsPlainRelativePath(std::string_view path) {
    if (path.empty() || path.front() == '/' || path.front() == '\\') return false;
    while (!path.empty()) {
        const auto slash = path.find_first_of("/\\");
        if (!IsPlainFolderName(path.substr(0, slash))) return false;
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return true;
}

std::string Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return std::string(text);
}

void CollectUrls(const json& node, std::vector<std::string>& urls, int depth) {
    // Folders nest as deep as the user made them; a file nested past any sensible depth is not walked.
    if (depth > 64 || !node.is_object()) return;
    if (const auto type = node.find("type"); type != node.end() && *type == "url") {
        if (const auto url = node.find("url"); url != node.end() && url->is_string()) {
            urls.push_back(url->get<std::string>());
        }
    }
    if (const auto children = node.find("children"); children != node.end() && children->is_array()) {
        for (const json& child : *children) CollectUrls(child, urls, depth + 1);
    }
}

void AddChromiumProfiles(const ChromiumBrowser& browser, const UserFolders& folders,
                         std::vector<BrowserProfile>& out) {
    const std::string& base = browser.base == Base::Local ? folders.local_app_data : folders.app_data;
    if (base.empty()) return;
    const std::string top = Below(base, browser.user_data);
    if (!fs::IsDirectory(top)) return;
    const std::string local_top = Below(folders.local_app_data, browser.user_data);
    std::vector<std::string> names;
    if (const auto state = fs::ReadWholeFile(fs::JoinPath(top, "Local State")))
        names = ChromiumProfileNames(*state);
    // Without a readable list, the one profile every installation has.
    if (names.empty()) names.push_back("Default");
    for (const std::string& name : names) {
        BrowserProfile profile;
        profile.browser = std::string(browser.name);
        profile.family = BrowserFamily::Chromium;
        profile.name = name;
        const bool at_top = browser.profile_at_top && name == "Default";
        profile.data_folder = at_top ? top : fs::JoinPath(top, name);
        if (!fs::IsDirectory(profile.data_folder)) continue;
        profile.cache_folder = browser.base == Base::Local ? profile.data_folder
                               : at_top                    ? local_top
                                                           : fs::JoinPath(local_top, name);
        // One lock for the whole User Data folder: a running browser holds every profile in it.
        profile.lock_file = fs::JoinPath(top, "lockfile");
        out.push_back(std::move(profile));
    }
}

void AddGeckoProfiles(const UserFolders& folders, std::vector<BrowserProfile>& out) {
    if (folders.app_data.empty()) return;
    const std::string top = Below(folders.app_data, kFirefoxFolder);
    const auto ini = fs::ReadWholeFile(fs::JoinPath(top, "profiles.ini"));
    if (!ini) return;
    for (const GeckoProfileEntry& entry : GeckoProfileEntries(*ini)) {
        BrowserProfile profile;
        profile.browser = "Firefox";
        profile.family = BrowserFamily::Gecko;
        if (entry.is_relative) {
            if (!IsPlainRelativePath(entry.path)) continue;
            profile.data_folder = Below(top, entry.path);
            // The caches of a relative profile live at the same place below the local folder.
            profile.cache_folder = folders.local_app_data.empty()
                                       ? profile.data_folder
                                       : Below(Below(folders.local_app_data, kFirefoxFolder), entry.path);
        } else {
            profile.data_folder = entry.path;
            profile.cache_folder = entry.path;
        }
        const auto last = profile.data_folder.find_last_of("/\\");
        profile.name = last == std::string::npos ? profile.data_folder : profile.data_folder.substr(last + 1);
        if (!fs::IsDirectory(profile.data_folder)) continue;
        profile.lock_file = fs::JoinPath(profile.data_folder, "parent.lock");
        out.push_back(std::move(profile));
    }
}

}  // namespace

std::vector<std::string> ChromiumProfileNames(std::string_view local_state) {
    std::vector<std::string> names;
    const json state = json::parse(local_state, nullptr, false);
    if (!state.is_object()) return names;
    const auto profile = state.find("profile");
    if (profile == state.end() || !profile->is_object()) return names;
    const auto cache = profile->find("info_cache");
    if (cache == profile->end() || !cache->is_object()) return names;
    for (const auto& [name, attributes] : cache->items()) {
        if (name == "Guest Profile" || name == "System Profile" || !IsPlainFolderName(name)) continue;
        names.push_back(name);
    }
    return names;
}

std::vector<GeckoProfileEntry> GeckoProfileEntries(std::string_view profiles_ini) {
    // Section name to its keys, in the order the sections come.
    std::vector<std::pair<std::string, std::map<std::string, std::string>>> sections;
    while (!profiles_ini.empty()) {
        const auto end = profiles_ini.find('\n');
        const std::string line = Trim(profiles_ini.substr(0, end));
        profiles_ini.remove_prefix(end == std::string_view::npos ? profiles_ini.size() : end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            sections.emplace_back(line.substr(1, line.size() - 2), std::map<std::string, std::string>{});
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos || sections.empty()) continue;
        sections.back().second[Trim(std::string_view(line).substr(0, equals))] =
            Trim(std::string_view(line).substr(equals + 1));
    }
    std::vector<GeckoProfileEntry> entries;
    for (const auto& [section, keys] : sections) {
        // [Profile0], [Profile1], ...: the only sections that name profiles.
        if (section.size() <= 7 || section.compare(0, 7, "Profile") != 0 ||
            !std::all_of(section.begin() + 7, section.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        const auto path = keys.find("Path");
        if (path == keys.end() || path->second.empty()) continue;
        const auto relative = keys.find("IsRelative");
        entries.push_back({path->second, relative == keys.end() || relative->second != "0"});
    }
    return entries;
}

std::vector<std::string> ChromiumBookmarkUrls(std::string_view bookmarks) {
    std::vector<std::string> urls;
    const json file = json::parse(bookmarks, nullptr, false);
    if (!file.is_object()) return urls;
    const auto roots = file.find("roots");
    if (roots == file.end() || !roots->is_object()) return urls;
    for (const auto& [name, root] : roots->items()) CollectUrls(root, urls, 0);
    return urls;
}

std::vector<BrowserProfile> FindBrowserProfiles(const UserFolders& folders) {
    std::vector<BrowserProfile> profiles;
    for (const ChromiumBrowser& browser : kChromiumBrowsers) AddChromiumProfiles(browser, folders, profiles);
    AddGeckoProfiles(folders, profiles);
    return profiles;
}

}  // namespace vestrel::cleaner
