// What the configurator replaced when it pointed the system and the browsers at the relay, kept until
// it is put back. The records are the user's own, like the settings they hold: they live in the
// registry under HKEY_CURRENT_USER\Software\Vestrel\Saved, so that they outlive a killed or crashed
// process and that user's next start puts them back (never another user's). Each record is one subkey,
// marked complete only once every value of it is written, so that a record cut short by a crash is
// never taken for the user's settings.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vestrel::browsers {

inline constexpr std::string_view kSavedSettingsKey = "Software\\Vestrel\\Saved";

// The kinds of records, one subkey of the saved-settings key each.
inline constexpr std::string_view kSavedConnections = "Connections";
inline constexpr std::string_view kSavedGeckoPrefs = "Gecko";
inline constexpr std::string_view kSavedOperaKeys = "Opera";
inline constexpr std::string_view kSavedPolicies = "Policies";
// The text of a Gecko or Opera record that names the file it was saved from.
inline constexpr char kSavedFilePath[] = "Path";

// One saved record: named texts and numbers. A name missing from both means "absent".
struct SavedRecord {
    std::map<std::string, std::string> texts;
    std::map<std::string, std::uint32_t> numbers;

    const std::string* Text(const std::string& name) const {
        const auto it = texts.find(name);
        return it == texts.end() ? nullptr : &it->second;
    }
    bool operator==(const SavedRecord&) const = default;
};

// The complete records of one kind, in the order they were added.
std::vector<SavedRecord> LoadSavedRecords(std::string_view kind);
// Adds one record; false when it could not be written whole (then nothing of it counts).
bool AddSavedRecord(std::string_view kind, const SavedRecord& record);
// Replaces every record of one kind; an empty list removes the kind. False when a write failed.
bool ReplaceSavedRecords(std::string_view kind, const std::vector<SavedRecord>& records);
// Whether any record of any kind waits to be put back.
bool AnySavedRecords();

// Earlier versions kept the records under HKEY_LOCAL_MACHINE (same path), for whichever user had
// switched anonymity on. These read and remove what such a version left; see SavedSettingsUpgrade.h.
std::vector<SavedRecord> LoadEarlierSavedRecords(std::string_view kind);
bool AnyEarlierSavedRecords();
bool RemoveEarlierSavedRecords();

// Every kind of record.
inline constexpr std::string_view kSavedKinds[] = {kSavedConnections, kSavedGeckoPrefs, kSavedOperaKeys,
                                                   kSavedPolicies};

}  // namespace vestrel::browsers
