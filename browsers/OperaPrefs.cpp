// The Opera file steps: program-folder "Opera6.ini", profile "Opera6.ini", program-folder
// "OperaDef6.ini", always in this order.
#include "browsers/OperaPrefs.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include "browsers/GeckoPrefs.h"
#include "browsers/IniText.h"
#include "browsers/ProfileFolders.h"
#include "browsers/SavedSettings.h"
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

constexpr const char* kSavedPath = kSavedFilePath;

// Every key the enable step may write into a file, as "section\key": saved before the first write.
std::vector<std::pair<std::string, std::string>> WrittenKeys(bool program_file) {
    std::vector<std::pair<std::string, std::string>> keys = {
        {"Proxy", "Use HTTP"}, {"Proxy", "HTTP Server"}, {"Proxy", "Use HTTPS"}, {"Proxy", "HTTPS Server"}};
    if (program_file) keys.emplace_back("User Prefs", "Home URL");
    return keys;
}

std::string SavedName(const std::pair<std::string, std::string>& key) {
    return key.first + "\\" + key.second;
}

bool IsSaved(const std::vector<SavedRecord>& records, const std::string& path) {
    return std::any_of(records.begin(), records.end(), [&](const SavedRecord& record) {
        const std::string* saved = record.Text(kSavedPath);
        return saved != nullptr && *saved == path;
    });
}

// Saves the keys of one existing file the enable step is about to write, unless they are saved already.
void SaveFile(const std::vector<SavedRecord>& records, const std::string& path, bool program_file) {
    if (path.empty() || !platform::fs::FileExists(path) || IsSaved(records, path)) return;
    const std::optional<std::string> text = platform::fs::ReadWholeFile(path);
    // A file that cannot be read is not saved; switching off then sets it back as it always has.
    if (!text) return;
    SavedRecord record;
    record.texts[kSavedPath] = path;
    record.numbers["ProgramFile"] = program_file ? 1 : 0;
    for (const auto& key : WrittenKeys(program_file)) {
        if (auto value = GetIniValue(*text, key.first, key.second)) record.texts[SavedName(key)] = *value;
    }
    static_cast<void>(AddSavedRecord(kSavedOperaKeys, record));
}

bool PointsAtRelay(const std::string& path) {
    if (path.empty() || !platform::fs::FileExists(path)) return false;
    const std::optional<std::string> text = platform::fs::ReadWholeFile(path);
    if (!text) return false;
    const std::string relay = std::string(kRelayHost) + ":";
    for (const char* key : {"HTTP Server", "HTTPS Server"}) {
        const std::optional<std::string> server = GetIniValue(*text, "Proxy", key);
        if (server && server->rfind(relay, 0) == 0) return true;
    }
    return false;
}

// Puts back one saved file; false when a key could not be written (the record is then kept).
bool RestoreFile(const SavedRecord& record) {
    const std::string* path = record.Text(kSavedPath);
    if (path == nullptr || !platform::fs::FileExists(*path)) return true;
    const auto program_file = record.numbers.find("ProgramFile");
    bool restored = true;
    for (const auto& key : WrittenKeys(program_file != record.numbers.end() && program_file->second == 1)) {
        const std::string* previous = record.Text(SavedName(key));
        restored = (previous != nullptr ? WriteIniFileValue(key.first, key.second, *previous, *path)
                                        : DeleteIniFileValue(key.first, key.second, *path)) &&
                   restored;
    }
    return restored;
}

}  // namespace

std::string OperaProgramFolder() {
    if (auto folder = ReadPathValue(0)) return *folder;
    if (auto folder = ReadPathValue(registry::kKeyWow64_32)) return *folder;
    return {};
}

void EnableOperaProxy() {
    const OperaFiles files = Locate();
    const std::vector<SavedRecord> records = LoadSavedRecords(kSavedOperaKeys);
    SaveFile(records, files.program_ini, true);
    SaveFile(records, files.profile_ini, false);
    SaveFile(records, files.program_defaults_ini, true);
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
    const std::vector<SavedRecord> records = LoadSavedRecords(kSavedOperaKeys);
    for (const std::string* path : {&files.program_ini, &files.profile_ini, &files.program_defaults_ini}) {
        // Without a saved state the proxy is switched off, as before any state was saved, but only in a
        // file that points at the relay: a proxy of the user's own stays.
        if (!IsSaved(records, *path) && PointsAtRelay(*path))
            WriteIfPresent(*path, {{"Use HTTP", "0"}, {"Use HTTPS", "0"}}, "Proxy");
    }
    std::vector<SavedRecord> kept;
    for (const SavedRecord& record : records) {
        if (!RestoreFile(record)) kept.push_back(record);
    }
    static_cast<void>(ReplaceSavedRecords(kSavedOperaKeys, kept));
}

}  // namespace vestrel::browsers
