// SetConnectionOptions and DisableConnectionProxy over the system, Gecko and Opera steps.
#include "browsers/ConnectionOptions.h"

#include <system_error>

#include "browsers/GeckoPrefs.h"
#include "browsers/OperaPrefs.h"
#include "browsers/SavedSettings.h"
#include "browsers/SavedSettingsUpgrade.h"
#include "browsers/SystemProxy.h"
#include "browsers/WebRtcPolicy.h"
#include "settings/RegDwordSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::browsers {
namespace {

bool FlagSet(const settings::DwordSettingSpec& entry) { return settings::RegDwordSetting(entry).get() == 1; }

void SetSystemFlags(std::uint32_t value) {
    settings::RegDwordSetting(settings::kBrowserIE).set(value);
    settings::RegDwordSetting(settings::kBrowserAvant).set(value);
}

struct FileFlags {
    bool opera;
    bool netscape;
    bool mozilla;
    bool firefox;
};

FileFlags ReadFileFlags() {
    return {FlagSet(settings::kBrowserOpera), FlagSet(settings::kBrowserNetscape),
            FlagSet(settings::kBrowserMozilla), FlagSet(settings::kBrowserFireFox)};
}

void ThrowIfFailed(std::error_code error) {
    if (error) throw std::system_error(error, "cannot rewrite the browser's prefs.js");
}

}  // namespace

bool SetConnectionOptions(std::string_view /*connection_name*/, const std::string& server,
                          ConnectionSettings& connections) {
    if (!SetSystemProxy(server, connections)) return false;
    SetSystemFlags(1);
    ContainWebRtc();
    const FileFlags flags = ReadFileFlags();
    if (flags.opera) EnableOperaProxy();
    if (flags.netscape) ThrowIfFailed(EnableGeckoProxy(GeckoBrowser::Netscape));
    if (flags.mozilla) ThrowIfFailed(EnableGeckoProxy(GeckoBrowser::Mozilla));
    if (flags.firefox) ThrowIfFailed(EnableGeckoProxy(GeckoBrowser::Firefox));
    return true;
}

bool DisableConnectionProxy(std::string_view /*connection_name*/, ConnectionSettings& connections) {
    // Going direct matters more than anything after it (the catalogue download relies on it), so each
    // connection change is guarded on its own and whatever fails later is dropped.
    try {
        if (!detail::ClearSystemProxyTargets(connections, true)) return false;
    } catch (...) {
        // Dropped on purpose, like every failure on this path: the browser steps below still run.
    }
    try {
        detail::FinishClearSystemProxy(connections);
        SetSystemFlags(0);
        ReleaseWebRtc();
        const FileFlags flags = ReadFileFlags();
        if (flags.opera) DisableOperaProxy();
        if (flags.netscape) ThrowIfFailed(DisableGeckoProxy(GeckoBrowser::Netscape));
        if (flags.mozilla) ThrowIfFailed(DisableGeckoProxy(GeckoBrowser::Mozilla));
        if (flags.firefox) ThrowIfFailed(DisableGeckoProxy(GeckoBrowser::Firefox));
    } catch (...) {
        // Dropped on purpose: the caller goes on with a direct connection either way.
    }
    try {
        // Whatever is still saved belongs to a browser no longer chosen, or to one whose step failed
        // above: the user's own settings come back all the same.
        if (!LoadSavedRecords(kSavedOperaKeys).empty()) DisableOperaProxy();
        static_cast<void>(RestoreSavedGeckoProfiles());
    } catch (...) {
    }
    return true;
}

bool RecoverConnectionOptions(const std::string& relay_server, ConnectionSettings& connections) {
    static_cast<void>(AdoptEarlierSavedSettings(connections));
    if (AnySavedRecords()) {
        static_cast<void>(DisableConnectionProxy("DefaultConnectionSettings", connections));
        return true;
    }
    return DirectConnectionsLeftAt(relay_server, connections);
}

}  // namespace vestrel::browsers
