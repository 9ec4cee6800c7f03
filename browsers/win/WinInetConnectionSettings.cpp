// The system's per-connection proxy options through WinInet's global options (a null internet handle).
// https://learn.microsoft.com/windows/win32/wininet/setting-and-retrieving-internet-options
#include <windows.h>

#include <ras.h>
#include <raserror.h>
#include <wininet.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "browsers/ConnectionSettings.h"
#include "platform/registry/Registry.h"

namespace vestrel::browsers {
namespace {

// Where the system keeps each connection's options, one binary value per connection; the two values
// below belong to the local network.
constexpr char kConnectionsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

bool IsLocalNetworkValue(const std::string& name) {
    return ::lstrcmpiA(name.c_str(), "DefaultConnectionSettings") == 0 ||
           ::lstrcmpiA(name.c_str(), "SavedLegacySettings") == 0;
}

// The phone-book entries (dial-up and VPN) of the current user and of all users.
std::vector<std::string> PhoneBookEntries() {
    std::vector<RASENTRYNAMEA> names(1);
    names[0].dwSize = sizeof(RASENTRYNAMEA);
    DWORD bytes = sizeof(RASENTRYNAMEA);
    DWORD count = 0;
    DWORD result = ::RasEnumEntriesA(nullptr, nullptr, names.data(), &bytes, &count);
    if (result == ERROR_BUFFER_TOO_SMALL && bytes > 0) {
        names = std::vector<RASENTRYNAMEA>(bytes / sizeof(RASENTRYNAMEA) + 1);
        for (RASENTRYNAMEA& name : names) name.dwSize = sizeof(RASENTRYNAMEA);
        bytes = static_cast<DWORD>(names.size() * sizeof(RASENTRYNAMEA));
        result = ::RasEnumEntriesA(nullptr, nullptr, names.data(), &bytes, &count);
    }
    std::vector<std::string> entries;
    if (result != ERROR_SUCCESS) return entries;
    for (DWORD i = 0; i < count && i < names.size(); ++i) entries.emplace_back(names[i].szEntryName);
    return entries;
}

// The connections that hold options of their own. Wine's RasEnumEntriesA reports no entry at all, and
// an entry whose phone book cannot be read is still known here.
std::vector<std::string> EntriesWithOptions() {
    namespace registry = platform::registry;
    std::vector<std::string> entries;
    registry::Key key;
    if (registry::OpenKey(registry::Hive::CurrentUser, kConnectionsKey, registry::kKeyRead, key) !=
        registry::kSuccess) {
        return entries;
    }
    std::string name;
    for (std::uint32_t i = 0; i < 1024 && key.EnumValue(i, name) == registry::kSuccess; ++i) {
        if (!name.empty() && !IsLocalNetworkValue(name)) entries.push_back(name);
    }
    return entries;
}

char* TextOption(const std::string& text) {
    // An empty text clears the option. WinInet only reads the texts; its ANSI structures lack the const.
    return text.empty() ? nullptr : const_cast<char*>(text.c_str());
}

std::string TakeText(char* text) {
    if (text == nullptr) return {};
    std::string taken(text);
    ::GlobalFree(text);
    return taken;
}

class WinInetConnectionSettings : public ConnectionSettings {
  public:
    bool Apply(const PerConnectionOptions& options) override {
        const DWORD count = 1 + (options.proxy_server ? 1 : 0) + (options.proxy_bypass ? 1 : 0) +
                            (options.auto_config_url ? 1 : 0);
        // The options array lives for this one call only.
        std::unique_ptr<INTERNET_PER_CONN_OPTIONA[]> array(new (std::nothrow)
                                                               INTERNET_PER_CONN_OPTIONA[count]);
        if (!array) return false;
        DWORD next = 0;
        array[next].dwOption = INTERNET_PER_CONN_FLAGS;
        array[next++].Value.dwValue = options.flags;
        if (options.proxy_server) {
            array[next].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
            array[next++].Value.pszValue = TextOption(*options.proxy_server);
        }
        if (options.proxy_bypass) {
            array[next].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
            array[next++].Value.pszValue = TextOption(*options.proxy_bypass);
        }
        if (options.auto_config_url) {
            array[next].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
            array[next++].Value.pszValue = TextOption(*options.auto_config_url);
        }
        INTERNET_PER_CONN_OPTION_LISTA list{};
        list.dwSize = sizeof(list);
        list.pszConnection = options.connection ? const_cast<char*>(options.connection->c_str()) : nullptr;
        list.dwOptionCount = count;
        list.pOptions = array.get();
        // What the system makes of the list is not ours to report: the settings are the system's.
        static_cast<void>(
            ::InternetSetOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, sizeof(list)));
        return true;
    }

    void NotifySettingsChanged() override {
        static_cast<void>(::InternetSetOptionA(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0));
    }

    void Refresh() override {
        static_cast<void>(::InternetSetOptionA(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0));
    }

    std::optional<PerConnectionOptions> Query(const std::optional<std::string>& connection) override {
        INTERNET_PER_CONN_OPTIONA options[4] = {};
        options[0].dwOption = INTERNET_PER_CONN_FLAGS;
        options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
        options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
        options[3].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
        INTERNET_PER_CONN_OPTION_LISTA list{};
        list.dwSize = sizeof(list);
        list.pszConnection = connection ? const_cast<char*>(connection->c_str()) : nullptr;
        list.dwOptionCount = 4;
        list.pOptions = options;
        DWORD size = sizeof(list);
        if (!::InternetQueryOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size))
            return std::nullopt;
        // The texts are the caller's to free, whatever happens next.
        PerConnectionOptions result;
        result.connection = connection;
        result.flags = options[0].Value.dwValue;
        result.proxy_server = TakeText(options[1].Value.pszValue);
        result.proxy_bypass = TakeText(options[2].Value.pszValue);
        result.auto_config_url = TakeText(options[3].Value.pszValue);
        return result;
    }

    std::vector<std::string> DialUpEntries() override {
        std::vector<std::string> entries = PhoneBookEntries();
        for (std::string& name : EntriesWithOptions()) {
            const bool known = std::any_of(entries.begin(), entries.end(), [&](const std::string& entry) {
                return ::lstrcmpiA(entry.c_str(), name.c_str()) == 0;
            });
            if (!known) entries.push_back(std::move(name));
        }
        return entries;
    }

    void DebugMessage(std::string_view text) override { ::OutputDebugStringA(std::string(text).c_str()); }
};

}  // namespace

ConnectionSettings& SystemConnectionSettings() {
    static WinInetConnectionSettings settings;
    return settings;
}

}  // namespace vestrel::browsers
