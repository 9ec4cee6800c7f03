// The system's per-connection proxy options through WinInet's global options (a null internet handle).
// https://learn.microsoft.com/windows/win32/wininet/setting-and-retrieving-internet-options
#include <windows.h>

#include <wininet.h>

#include <memory>
#include <new>
#include <string>

#include "browsers/ConnectionSettings.h"

namespace vestrel::browsers {
namespace {

class WinInetConnectionSettings : public ConnectionSettings {
  public:
    bool Apply(const PerConnectionOptions& options) override {
        const DWORD count = 1 + (options.proxy_server ? 1 : 0) + (options.proxy_bypass ? 1 : 0);
        // The options array lives for this one call only.
        std::unique_ptr<INTERNET_PER_CONN_OPTIONA[]> array(new (std::nothrow)
                                                               INTERNET_PER_CONN_OPTIONA[count]);
        if (!array) return false;
        DWORD next = 0;
        array[next].dwOption = INTERNET_PER_CONN_FLAGS;
        array[next++].Value.dwValue = options.flags;
        // WinInet only reads the texts; its ANSI structures just lack the const.
        if (options.proxy_server) {
            array[next].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
            array[next++].Value.pszValue = const_cast<char*>(options.proxy_server->c_str());
        }
        if (options.proxy_bypass) {
            array[next].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
            array[next++].Value.pszValue = const_cast<char*>(options.proxy_bypass->c_str());
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

    void DebugMessage(std::string_view text) override { ::OutputDebugStringA(std::string(text).c_str()); }
};

}  // namespace

ConnectionSettings& SystemConnectionSettings() {
    static WinInetConnectionSettings settings;
    return settings;
}

}  // namespace vestrel::browsers
