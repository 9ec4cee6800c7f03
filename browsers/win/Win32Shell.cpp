// The configurator's shell and kernel services on Windows: the user's application-data folder and the
// system's profile-string writer.
#include <windows.h>

#include <shlobj.h>

#include "browsers/IniText.h"
#include "browsers/ProfileFolders.h"

namespace vestrel::browsers {

namespace detail {

std::string SystemApplicationDataFolder() {
    char folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) return {};
    return folder;
}

}  // namespace detail

bool WriteIniFileValue(const std::string& section, const std::string& key, const std::string& value,
                       const std::string& path) {
    return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) != FALSE;
}

bool DeleteIniFileValue(const std::string& section, const std::string& key, const std::string& path) {
    return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, path.c_str()) != FALSE;
}

}  // namespace vestrel::browsers
