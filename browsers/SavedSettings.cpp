// The saved-settings records in the registry: Saved\<kind>\<number>\<values>, with "Complete" = 1
// written last; the user's under HKEY_CURRENT_USER, an earlier version's under HKEY_LOCAL_MACHINE.
#include "browsers/SavedSettings.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/registry/Registry.h"

namespace vestrel::browsers {
namespace {

namespace registry = platform::registry;
using registry::Hive;

constexpr Hive kUserHive = Hive::CurrentUser;
constexpr Hive kEarlierHive = Hive::LocalMachine;

constexpr char kComplete[] = "Complete";
// More records than any system has connections and profiles; bounds every walk.
constexpr std::uint32_t kMaxRecords = 4096;

std::string KindPath(std::string_view kind) {
    return std::string(kSavedSettingsKey) + "\\" + std::string(kind);
}

std::optional<std::uint32_t> ReadNumber(const registry::Key& key, const std::string& name) {
    std::uint32_t type = 0;
    std::uint32_t value = 0;
    std::uint32_t size = sizeof(value);
    if (key.QueryValue(name, &type, &value, &size) != registry::kSuccess || type != registry::kTypeDword)
        return std::nullopt;
    return value;
}

std::optional<std::string> ReadText(const registry::Key& key, const std::string& name) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (key.QueryValue(name, &type, nullptr, &size) != registry::kSuccess || type != registry::kTypeString)
        return std::nullopt;
    std::string text(size, '\0');
    if (size > 0 && key.QueryValue(name, &type, text.data(), &size) != registry::kSuccess)
        return std::nullopt;
    text.resize(::strnlen(text.data(), std::min<std::size_t>(size, text.size())));
    return text;
}

std::optional<SavedRecord> ReadRecord(const registry::Key& key) {
    if (ReadNumber(key, kComplete) != 1u) return std::nullopt;
    SavedRecord record;
    std::string name;
    for (std::uint32_t i = 0; i < kMaxRecords && key.EnumValue(i, name) == registry::kSuccess; ++i) {
        if (name == kComplete) continue;
        if (auto number = ReadNumber(key, name)) {
            record.numbers[name] = *number;
        } else if (auto text = ReadText(key, name)) {
            record.texts[name] = std::move(*text);
        }
    }
    return record;
}

// Record subkeys are numbered; the numbers in use, in ascending order.
std::vector<std::uint32_t> RecordNumbers(const registry::Key& kind_key) {
    std::vector<std::uint32_t> numbers;
    std::string name;
    for (std::uint32_t i = 0; i < kMaxRecords && kind_key.EnumSubkey(i, name) == registry::kSuccess; ++i) {
        if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos && name.size() < 9)
            numbers.push_back(static_cast<std::uint32_t>(std::stoul(name)));
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

bool WriteRecord(const std::string& path, const SavedRecord& record) {
    registry::Key key;
    if (registry::CreateKey(kUserHive, path, registry::kKeyReadWrite, key, nullptr) != registry::kSuccess) {
        return false;
    }
    for (const auto& [name, text] : record.texts) {
        if (key.SetValue(name, registry::kTypeString, text.c_str(),
                         static_cast<std::uint32_t>(text.size() + 1)) != registry::kSuccess) {
            return false;
        }
    }
    for (const auto& [name, number] : record.numbers) {
        if (key.SetValue(name, registry::kTypeDword, &number, sizeof(number)) != registry::kSuccess)
            return false;
    }
    const std::uint32_t complete = 1;
    return key.SetValue(kComplete, registry::kTypeDword, &complete, sizeof(complete)) == registry::kSuccess;
}

std::vector<SavedRecord> LoadRecords(Hive hive, std::string_view kind) {
    std::vector<SavedRecord> records;
    registry::Key kind_key;
    if (registry::OpenKey(hive, KindPath(kind), registry::kKeyRead, kind_key) != registry::kSuccess)
        return records;
    for (const std::uint32_t number : RecordNumbers(kind_key)) {
        registry::Key key;
        if (registry::OpenKey(hive, KindPath(kind) + "\\" + std::to_string(number), registry::kKeyRead,
                              key) != registry::kSuccess) {
            continue;
        }
        if (auto record = ReadRecord(key)) records.push_back(std::move(*record));
    }
    return records;
}

bool AnyRecords(Hive hive) {
    return std::any_of(std::begin(kSavedKinds), std::end(kSavedKinds),
                       [&](std::string_view kind) { return !LoadRecords(hive, kind).empty(); });
}

}  // namespace

std::vector<SavedRecord> LoadSavedRecords(std::string_view kind) { return LoadRecords(kUserHive, kind); }

bool AddSavedRecord(std::string_view kind, const SavedRecord& record) {
    std::uint32_t next = 0;
    {
        registry::Key kind_key;
        if (registry::OpenKey(kUserHive, KindPath(kind), registry::kKeyRead, kind_key) ==
            registry::kSuccess) {
            const std::vector<std::uint32_t> numbers = RecordNumbers(kind_key);
            if (!numbers.empty()) next = numbers.back() + 1;
        }
    }
    const std::string path = KindPath(kind) + "\\" + std::to_string(next);
    if (WriteRecord(path, record)) return true;
    static_cast<void>(registry::DeleteKeyTree(kUserHive, path));
    return false;
}

bool ReplaceSavedRecords(std::string_view kind, const std::vector<SavedRecord>& records) {
    const long removed = registry::DeleteKeyTree(kUserHive, KindPath(kind));
    if (removed != registry::kSuccess && removed != registry::kFileNotFound) return false;
    bool written = true;
    for (const SavedRecord& record : records) written = AddSavedRecord(kind, record) && written;
    return written;
}

bool AnySavedRecords() { return AnyRecords(kUserHive); }

std::vector<SavedRecord> LoadEarlierSavedRecords(std::string_view kind) {
    return LoadRecords(kEarlierHive, kind);
}

bool AnyEarlierSavedRecords() { return AnyRecords(kEarlierHive); }

bool RemoveEarlierSavedRecords() {
    const long removed = registry::DeleteKeyTree(kEarlierHive, std::string(kSavedSettingsKey));
    return removed == registry::kSuccess || removed == registry::kFileNotFound;
}

}  // namespace vestrel::browsers
