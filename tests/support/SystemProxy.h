// The system connection settings (WinInet) of the local network, as the browsers read them.
#pragma once

#include <windows.h>

#include <wininet.h>

#include <string>

namespace vestrel::testing {

struct SystemProxy {
    DWORD flags = 0;
    std::string server;
};

inline SystemProxy ReadSystemProxy() {
    INTERNET_PER_CONN_OPTIONA options[2] = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    INTERNET_PER_CONN_OPTION_LISTA list{};
    list.dwSize = sizeof(list);
    list.dwOptionCount = 2;
    list.pOptions = options;
    DWORD size = sizeof(list);
    SystemProxy read;
    if (!::InternetQueryOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) return read;
    read.flags = options[0].Value.dwValue;
    if (options[1].Value.pszValue != nullptr) {
        read.server = options[1].Value.pszValue;
        ::GlobalFree(options[1].Value.pszValue);
    }
    return read;
}

// Points the system's browsers at `server`, as Vestrel does while anonymity is on.
inline bool PointSystemProxyAt(const std::string& server) {
    INTERNET_PER_CONN_OPTIONA options[2] = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[0].Value.dwValue = PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    options[1].Value.pszValue = const_cast<char*>(server.c_str());
    INTERNET_PER_CONN_OPTION_LISTA list{};
    list.dwSize = sizeof(list);
    list.dwOptionCount = 2;
    list.pOptions = options;
    return ::InternetSetOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, sizeof(list)) &&
           ::InternetSetOptionA(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
}

inline bool IsDirect(const SystemProxy& proxy) { return (proxy.flags & PROXY_TYPE_PROXY) == 0; }

}  // namespace vestrel::testing
