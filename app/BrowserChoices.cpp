// The browser page's flags, ties and apply.
#include "app/BrowserChoices.h"

#include <exception>
#include <string_view>
#include <system_error>

#include "app/Anonymity.h"
#include "browsers/GeckoPrefs.h"
#include "browsers/InstalledBrowsers.h"
#include "browsers/OperaPrefs.h"
#include "browsers/RunningBrowsers.h"
#include "browsers/SystemProxy.h"
#include "platform/registry/Registry.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegKey.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {
namespace {

namespace registry = platform::registry;

// Flag value names under the program's key.
constexpr const char* kIE = "IE";
constexpr const char* kNetscape = "Netscape";
constexpr const char* kOpera = "Opera";
constexpr const char* kMozilla = "Mozilla";
constexpr const char* kFirefox = "FireFox";
constexpr const char* kAvant = "Avant";

settings::RegKey ProgramKey() {
    return settings::RegKey(registry::Hive::LocalMachine, settings::kProgramKey, registry::kKeyReadWrite);
}

bool FlagSet(settings::RegKey& key, const char* name) {
    std::uint32_t value = 0;
    return key.getDword(name, value) == registry::kSuccess && value != 0;
}

bool NetscapeProfilesEdited(unsigned kind) { return (kind & browsers::kNetscapeBrowser) != 0; }
bool NetscapeTiedToMozilla(unsigned kind) { return (kind & browsers::kNetscape6) != 0; }

// One browser's apply, with the user told of what stopped it.
class Applier {
  public:
    Applier(settings::RegKey& key, const std::function<void(const std::string&)>& tell)
        : key_(key), tell_(tell) {}

    // A browser that follows the system connection: changed only when the change agrees with UseProxy.
    void SystemBrowser(const char* flag, bool box, bool use_proxy) {
        const bool set = FlagSet(key_, flag);
        if (set && !box && !use_proxy) {
            browsers::ClearSystemProxy();
            key_.setDword(flag, 0);
        } else if (!set && box && use_proxy) {
            browsers::SetSystemProxy(RelayServer());
            key_.setDword(flag, 1);
        }
    }

    // A browser with files of its own. `edit` is false when the change is recorded without touching
    // any file.
    void FileBrowser(const char* flag, std::string_view name, bool box, bool edit,
                     const std::function<std::error_code(bool enable)>& step,
                     const std::function<bool()>& running) {
        const bool set = FlagSet(key_, flag);
        if (set == box) return;
        if (edit) {
            if (running && running()) {
                tell_("Please close " + std::string(name) + " first");
                return;
            }
            std::string failure;
            try {
                if (const std::error_code error = step(box)) failure = error.message();
            } catch (const std::exception& error) {
                failure = error.what();
            } catch (...) {
                failure = "unknown error";
            }
            if (!failure.empty()) {
                tell_(std::string(name) + " could not be configured: " + failure);
                return;
            }
        }
        key_.setDword(flag, box ? 1 : 0);
    }

  private:
    settings::RegKey& key_;
    const std::function<void(const std::string&)>& tell_;
};

std::function<std::error_code(bool)> GeckoStep(browsers::GeckoBrowser browser) {
    return [browser](bool enable) {
        return enable ? browsers::EnableGeckoProxy(browser) : browsers::DisableGeckoProxy(browser);
    };
}

std::function<bool()> GeckoRunning(browsers::GeckoBrowser browser) {
    return [browser] { return browsers::GeckoBrowserRunning(browser); };
}

}  // namespace

InstalledBrowserSet FindInstalledBrowsers() {
    InstalledBrowserSet installed;
    installed.netscape = browsers::IsNetscapeInstalled();
    installed.opera = browsers::IsOperaInstalled();
    installed.mozilla = browsers::IsMozillaInstalled();
    installed.firefox = browsers::IsFirefoxInstalled();
    installed.avant = browsers::IsAvantInstalled();
    installed.netscape_kind = browsers::NetscapeKind();
    return installed;
}

BrowserBoxes BoxesFromFlags(const InstalledBrowserSet& installed) {
    BrowserBoxes boxes;
    settings::RegKey key = ProgramKey();
    if (!key.exists()) return boxes;
    boxes.internet_explorer = FlagSet(key, kIE) ? 1 : 0;
    boxes.netscape = FlagSet(key, kNetscape) && installed.netscape ? 1 : 0;
    boxes.opera = FlagSet(key, kOpera) && installed.opera ? 1 : 0;
    boxes.mozilla = FlagSet(key, kMozilla) && installed.mozilla ? 1 : 0;
    boxes.firefox = FlagSet(key, kFirefox) && installed.firefox ? 1 : 0;
    boxes.avant = FlagSet(key, kAvant) && installed.avant ? 1 : 0;
    key.close();
    return boxes;
}

void FollowTies(BrowserBox clicked, BrowserBoxes& boxes, const InstalledBrowserSet& installed) {
    switch (clicked) {
        case BrowserBox::InternetExplorer:
            if (installed.avant) boxes.avant = boxes.internet_explorer;
            break;
        case BrowserBox::Avant:
            boxes.internet_explorer = boxes.avant;
            break;
        case BrowserBox::Netscape:
            if (NetscapeTiedToMozilla(installed.netscape_kind)) boxes.mozilla = boxes.netscape;
            break;
        case BrowserBox::Mozilla:
            if (NetscapeTiedToMozilla(installed.netscape_kind)) boxes.netscape = boxes.mozilla;
            break;
        case BrowserBox::Opera:
        case BrowserBox::Firefox:
            break;
    }
}

void ApplyBrowserChoices(const BrowserBoxes& boxes, const std::function<void(const std::string&)>& tell) {
    const bool use_proxy = settings::RegDwordSetting(settings::kUseProxy).get() == 1;
    const InstalledBrowserSet installed = FindInstalledBrowsers();
    settings::RegKey key = ProgramKey();
    if (!key.exists()) return;
    Applier apply(key, tell);
    using browsers::GeckoBrowser;

    apply.SystemBrowser(kIE, boxes.internet_explorer != 0, use_proxy);
    if (installed.netscape) {
        apply.FileBrowser(kNetscape, "Netscape", boxes.netscape != 0,
                          NetscapeProfilesEdited(installed.netscape_kind), GeckoStep(GeckoBrowser::Netscape),
                          GeckoRunning(GeckoBrowser::Netscape));
    }
    // A browser no longer installed loses its flag, so that nothing edits what is left of its files.
    if (installed.firefox) {
        apply.FileBrowser(kFirefox, "Firefox", boxes.firefox != 0, true, GeckoStep(GeckoBrowser::Firefox),
                          GeckoRunning(GeckoBrowser::Firefox));
    } else {
        key.setDword(kFirefox, 0);
    }
    if (installed.mozilla) {
        apply.FileBrowser(kMozilla, "Mozilla", boxes.mozilla != 0, true, GeckoStep(GeckoBrowser::Mozilla),
                          GeckoRunning(GeckoBrowser::Mozilla));
    } else {
        key.setDword(kMozilla, 0);
    }
    if (installed.opera) {
        apply.FileBrowser(
            kOpera, "Opera", boxes.opera != 0, true,
            [](bool enable) {
                enable ? browsers::EnableOperaProxy() : browsers::DisableOperaProxy();
                return std::error_code();
            },
            nullptr);
    } else {
        key.setDword(kOpera, 0);
    }
    if (installed.avant) {
        apply.SystemBrowser(kAvant, boxes.avant != 0, use_proxy);
    } else {
        key.setDword(kAvant, 0);
    }
    key.close();
}

}  // namespace vestrel::app
