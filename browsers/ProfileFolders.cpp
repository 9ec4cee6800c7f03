// Profile folders built from the application-data folder the system reports, so that they are found
// wherever the system keeps that folder (it moved after the first Windows versions).
#include "browsers/ProfileFolders.h"

#include <initializer_list>

#include "platform/fs/Directory.h"

namespace vestrel::browsers {
namespace {

std::optional<std::string>& Override() {
    static std::optional<std::string> folder;
    return folder;
}

std::string Join(std::string_view base, std::initializer_list<std::string_view> parts, bool trailing) {
    if (base.empty()) return {};
    std::string path(base);
    for (std::string_view part : parts) path = platform::fs::JoinPath(path, part);
    if (trailing) path.push_back(platform::fs::kPathSeparator);
    return path;
}

}  // namespace

std::string ApplicationDataFolder() {
    if (Override()) return *Override();
    return detail::SystemApplicationDataFolder();
}

void OverrideApplicationDataFolder(std::optional<std::string> folder) { Override() = std::move(folder); }

std::string GeckoProfileRoot(std::string_view app_data, GeckoBrowser browser) {
    switch (browser) {
        case GeckoBrowser::Firefox:
            return Join(app_data, {"Mozilla", "Firefox", "Profiles"}, true);
        case GeckoBrowser::Mozilla:
            return Join(app_data, {"Mozilla", "Profiles", "default"}, true);
        case GeckoBrowser::Netscape:
            return Join(app_data, {"Netscape", "NSAE", "Profiles"}, true);
    }
    return {};
}

std::string OperaProfileIni(std::string_view app_data) {
    return Join(app_data, {"Opera", "Opera", "profile", "Opera6.ini"}, false);
}

}  // namespace vestrel::browsers
