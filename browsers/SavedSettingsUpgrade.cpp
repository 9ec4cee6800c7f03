// Taking over an earlier version's machine-wide saved settings for the user they belong to.
#include "browsers/SavedSettingsUpgrade.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browsers/ProfileFolders.h"
#include "browsers/SavedSettings.h"
#include "browsers/SystemProxy.h"
#include "browsers/WebRtcPolicy.h"
#include "platform/registry/Registry.h"

namespace vestrel::browsers {
namespace {

namespace registry = platform::registry;

constexpr std::string_view kLoopback = "127.0.0.1:";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether `path` lies inside `folder`; Windows compares names without regard to case.
bool IsInside(std::string_view path, std::string_view folder) {
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.remove_suffix(1);
    if (folder.empty() || path.size() <= folder.size()) return false;
    if (path[folder.size()] != '\\' && path[folder.size()] != '/') return false;
    return std::equal(folder.begin(), folder.end(), path.begin(),
                      [](char a, char b) { return Lower(a) == Lower(b); });
}

// The files of one user that the records name: every Gecko profile, and Opera's profile file (its
// program file is shared by every user of the machine, so it says nothing of whose the records are).
std::vector<std::string> UserFiles() {
    std::vector<std::string> files;
    for (const SavedRecord& record : LoadEarlierSavedRecords(kSavedGeckoPrefs)) {
        if (const std::string* path = record.Text(kSavedFilePath)) files.push_back(*path);
    }
    for (const SavedRecord& record : LoadEarlierSavedRecords(kSavedOperaKeys)) {
        const auto program_file = record.numbers.find("ProgramFile");
        if (program_file != record.numbers.end() && program_file->second == 1) continue;
        if (const std::string* path = record.Text(kSavedFilePath)) files.push_back(*path);
    }
    return files;
}

bool ConnectionsPointAtLoopback(ConnectionSettings& connections) {
    std::vector<std::optional<std::string>> targets = SystemProxyTargets(connections);
    targets.push_back(std::nullopt);
    return std::any_of(targets.begin(), targets.end(), [&](const std::optional<std::string>& target) {
        const std::optional<PerConnectionOptions> options = connections.Query(target);
        return options && (options->flags & kProxyTypeProxy) != 0 &&
               options->proxy_server.value_or("").rfind(std::string(kLoopback), 0) == 0;
    });
}

bool PolicyStillContained() {
    for (const SavedRecord& record : LoadEarlierSavedRecords(kSavedPolicies)) {
        const std::string* path = record.Text("Key");
        registry::Key key;
        if (path == nullptr || registry::OpenKey(registry::Hive::CurrentUser, *path, registry::kKeyRead,
                                                 key) != registry::kSuccess)
            continue;
        char value[64] = {};
        std::uint32_t type = 0;
        std::uint32_t size = sizeof(value) - 1;
        if (key.QueryValue(std::string(kWebRtcPolicyName), &type, value, &size) == registry::kSuccess &&
            type == registry::kTypeString && std::string_view(value) == kWebRtcPolicyValue)
            return true;
    }
    return false;
}

bool BelongsToThisUser(ConnectionSettings& connections) {
    const std::vector<std::string> files = UserFiles();
    if (!files.empty()) {
        const std::string app_data = ApplicationDataFolder();
        return std::any_of(files.begin(), files.end(),
                           [&](const std::string& file) { return IsInside(file, app_data); });
    }
    return ConnectionsPointAtLoopback(connections) || PolicyStillContained();
}

void ForgetUserRecords() {
    for (const std::string_view kind : kSavedKinds) static_cast<void>(ReplaceSavedRecords(kind, {}));
}

}  // namespace

bool AdoptEarlierSavedSettings(ConnectionSettings& connections) {
    if (!AnyEarlierSavedRecords() || AnySavedRecords() || !BelongsToThisUser(connections)) return false;
    for (const std::string_view kind : kSavedKinds) {
        for (const SavedRecord& record : LoadEarlierSavedRecords(kind)) {
            if (!AddSavedRecord(kind, record)) {
                ForgetUserRecords();
                return false;
            }
        }
    }
    // Put back once: records that stayed under the machine's key as well would be taken again at the
    // next start, over whatever the user has set since.
    if (!RemoveEarlierSavedRecords()) {
        ForgetUserRecords();
        return false;
    }
    return true;
}

}  // namespace vestrel::browsers
