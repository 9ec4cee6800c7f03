// The configurator's system services in the native build, where no browser or internet layer of the
// system is involved: connection options kept in memory, no application-data folder, no running browser,
// and our own profile-string writer.
#include "browsers/ConnectionSettings.h"
#include "browsers/IniText.h"
#include "browsers/ProfileFolders.h"
#include "browsers/RunningBrowsers.h"
#include "platform/fs/Files.h"

namespace vestrel::browsers {

ConnectionSettings& SystemConnectionSettings() {
    static MemoryConnectionSettings settings;
    return settings;
}

namespace detail {
std::string SystemApplicationDataFolder() { return {}; }
// No browser runs in the native build.
bool FileHeldOpen(const std::string&) { return false; }
bool ProcessRunning(std::string_view) { return false; }
}  // namespace detail

bool WriteIniFileValue(const std::string& section, const std::string& key, const std::string& value,
                       const std::string& path) {
    std::string text;
    if (platform::fs::FileExists(path)) {
        auto existing = platform::fs::ReadWholeFile(path);
        if (!existing) return false;
        text = std::move(*existing);
    }
    return !platform::fs::WriteFileAtomically(path, SetIniValue(text, section, key, value));
}

bool DeleteIniFileValue(const std::string& section, const std::string& key, const std::string& path) {
    if (!platform::fs::FileExists(path)) return true;
    auto existing = platform::fs::ReadWholeFile(path);
    if (!existing) return false;
    const std::string edited = RemoveIniValue(*existing, section, key);
    return edited == *existing || !platform::fs::WriteFileAtomically(path, edited);
}

}  // namespace vestrel::browsers
