// The running-browser test: the profile's lock first, then the process list.
#include "browsers/RunningBrowsers.h"

#include <span>

#include "browsers/GeckoPrefs.h"
#include "platform/fs/Directory.h"

namespace vestrel::browsers {
namespace {

constexpr std::string_view kFirefoxNames[] = {"firefox.exe"};
constexpr std::string_view kMozillaNames[] = {"mozilla.exe"};
// Netscape 6 and 7 ran as netscp.exe, the Netscape Browser as netscape.exe.
constexpr std::string_view kNetscapeNames[] = {"netscape.exe", "netscp.exe"};

std::span<const std::string_view> ExecutableNames(GeckoBrowser browser) {
    switch (browser) {
        case GeckoBrowser::Firefox:
            return kFirefoxNames;
        case GeckoBrowser::Mozilla:
            return kMozillaNames;
        case GeckoBrowser::Netscape:
            return kNetscapeNames;
    }
    return {};
}

}  // namespace

bool GeckoBrowserRunning(GeckoBrowser browser) {
    const std::string prefs = FindProfilePrefs(GeckoProfileRoot(ApplicationDataFolder(), browser));
    const std::size_t separator = prefs.find_last_of(platform::fs::kPathSeparator);
    // The browser holds "parent.lock" open without sharing for as long as it uses the profile, and the
    // system removes the file when the browser closes it.
    if (separator != std::string::npos &&
        detail::FileHeldOpen(platform::fs::JoinPath(prefs.substr(0, separator), "parent.lock"))) {
        return true;
    }
    for (std::string_view name : ExecutableNames(browser)) {
        if (detail::ProcessRunning(name)) return true;
    }
    return false;
}

}  // namespace vestrel::browsers
