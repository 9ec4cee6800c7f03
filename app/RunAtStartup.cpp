// The run-at-logon entry in the machine's or the user's Run key.
#include "app/RunAtStartup.h"

#include "platform/registry/Registry.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "settings/RegistryPath.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {
namespace {

namespace registry = platform::registry;

constexpr registry::Hive kPlaces[] = {registry::Hive::LocalMachine, registry::Hive::CurrentUser};

std::string EntryText(registry::Hive hive) {
    return settings::RegStringSetting(settings::kRunEntry.full_path, "", true, hive).get();
}

// The write with its result: the setting objects do not report one.
bool WriteEntry(registry::Hive hive, const std::string& text) {
    const settings::RegistryPath path = settings::SplitFullPath(settings::kRunEntry.full_path);
    registry::Key key;
    if (registry::CreateKey(hive, path.key_path, registry::kKeyWrite, key, nullptr) != registry::kSuccess) {
        return false;
    }
    return key.SetValue(path.value_name, registry::kTypeString, text.c_str(),
                        static_cast<std::uint32_t>(text.size() + 1)) == registry::kSuccess;
}

RunEntryPlace PlaceOf(registry::Hive hive) {
    return hive == registry::Hive::LocalMachine ? RunEntryPlace::LocalMachine : RunEntryPlace::CurrentUser;
}

}  // namespace

RunEntryPlace StoredRunEntry() {
    for (registry::Hive hive : kPlaces) {
        if (!EntryText(hive).empty()) return PlaceOf(hive);
    }
    return RunEntryPlace::None;
}

RunEntryPlace WriteRunEntry(const std::string& command) {
    if (WriteEntry(registry::Hive::LocalMachine, command)) {
        // Two entries would start the program twice at logon.
        if (!EntryText(registry::Hive::CurrentUser).empty()) WriteEntry(registry::Hive::CurrentUser, "");
        return RunEntryPlace::LocalMachine;
    }
    if (WriteEntry(registry::Hive::CurrentUser, command)) return RunEntryPlace::CurrentUser;
    return RunEntryPlace::None;
}

bool ClearRunEntry() {
    bool cleared = true;
    for (registry::Hive hive : kPlaces) {
        if (!EntryText(hive).empty() && !WriteEntry(hive, "")) cleared = false;
    }
    return cleared;
}

bool ApplyRunAtStartup(bool wanted, const std::string& running_program) {
    bool stored = false;
    if (wanted) {
        std::string command = settings::RegStringSetting(settings::kAppFullPath).get();
        if (command.empty()) command = running_program;
        stored = !command.empty() && WriteRunEntry(command) != RunEntryPlace::None;
    } else {
        ClearRunEntry();
        stored = StoredRunEntry() != RunEntryPlace::None;
    }
    settings::RegDwordSetting(settings::kRunAtStartup, true).set(stored ? 1 : 0);
    return stored;
}

bool RunAtStartupOn() {
    return settings::RegDwordSetting(settings::kRunAtStartup).get() == 1 &&
           StoredRunEntry() != RunEntryPlace::None;
}

}  // namespace vestrel::app
