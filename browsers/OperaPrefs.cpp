// The Opera file steps: program-folder "Opera6.ini", profile "Opera6.ini", program-folder
// "OperaDef6.ini", always in this order.
#include "browsers/OperaPrefs.h"

#include <cstring>
#include <initializer_list>
#include <optional>
#include <utility>

#include "browsers/GeckoPrefs.h"
#include "browsers/IniText.h"
#include "browsers/ProfileFolders.h"
#include "platform/fs/Directory.h"
#include "platform/fs/Files.h"
#include "platform/registry/Registry.h"
#include "settings/RegDwordSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::browsers {
namespace {

namespace registry = platform::registry;

constexpr std::string_view kOperaAppPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Opera.exe";
constexpr std::size_t kMaxPathValue = 1024;

std::optional<std::string> ReadPathValue(std::uint32_t view) {
    registry::Key key;
    if (registry::OpenKey(registry::Hive::LocalMachine, std::string(kOperaAppPath), registry::kKeyRead | view,
                          key) != registry::kSuccess) {
        return std::nullopt;
    }
    char buffer[kMaxPathValue];
    std::uint32_t type = 0;
    std::uint32_t size = sizeof(buffer);
    if (key.QueryValue("Path", &type, buffer, &size) != registry::kSuccess) return std::nullopt;
    if (type != registry::kTypeString && type != registry::kTypeExpandString) return std::nullopt;
    std::string folder(buffer, ::strnlen(buffer, size));
    if (folder.empty()) return std::nullopt;
    return folder;
}

struct OperaFiles {
    std::string program_ini;
    std::string profile_ini;
    std::string program_defaults_ini;
};

OperaFiles Locate() {
    OperaFiles files;
    // Without a program folder there is no program file to write; joining an empty folder would
    // instead name a file at the root of the current drive.
    const std::string folder = OperaProgramFolder();
    if (!folder.empty()) {
        files.program_ini = platform::fs::JoinPath(folder, "Opera6.ini");
        files.program_defaults_ini = platform::fs::JoinPath(folder, "OperaDef6.ini");
    }
    files.profile_ini = OperaProfileIni(ApplicationDataFolder());
    return files;
}

void WriteIfPresent(const std::string& path,
                    std::initializer_list<std::pair<std::string_view, std::string_view>> keys,
                    std::string_view section) {
    if (path.empty() || !platform::fs::FileExists(path)) return;
    for (const auto& [key, value] : keys) {
        // A failed write is not reported: the other keys and files are still handled.
        static_cast<void>(
            WriteIniFileValue(std::string(section), std::string(key), std::string(value), path));
    }
}

}  // namespace

std::string OperaProgramFolder() {
    if (auto folder = ReadPathValue(0)) return *folder;
    if (auto folder = ReadPathValue(registry::kKeyWow64_32)) return *folder;
    return {};
}

void EnableOperaProxy() {
    const OperaFiles files = Locate();
    const std::string server =
        std::string(kRelayHost) + ":" + std::to_string(settings::RegDwordSetting(settings::kLocalPort).get());
    for (const std::string* path : {&files.program_ini, &files.profile_ini, &files.program_defaults_ini}) {
        WriteIfPresent(
            *path, {{"Use HTTP", "1"}, {"HTTP Server", server}, {"Use HTTPS", "1"}, {"HTTPS Server", server}},
            "Proxy");
        if (path != &files.profile_ini) WriteIfPresent(*path, {{"Home URL", kOperaHomePage}}, "User Prefs");
    }
}

void DisableOperaProxy() {
    const OperaFiles files = Locate();
    for (const std::string* path : {&files.program_ini, &files.profile_ini, &files.program_defaults_ini}) {
        WriteIfPresent(*path, {{"Use HTTP", "0"}, {"Use HTTPS", "0"}}, "Proxy");
    }
}

}  // namespace vestrel::browsers
