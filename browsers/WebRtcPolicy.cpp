// The WebRTC policy of Chrome and Edge, with its saved records (see SavedSettings.h).
#include "browsers/WebRtcPolicy.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "browsers/SavedSettings.h"
#include "platform/registry/Registry.h"

namespace vestrel::browsers {
namespace {

namespace registry = platform::registry;

constexpr char kKey[] = "Key";
constexpr char kPrevious[] = "Previous";
// The shallowest key that was created for the policy; removed again, with the keys below it, if
// they hold nothing else by then.
constexpr char kCreatedFrom[] = "CreatedFrom";

struct PolicyValue {
    bool present = false;
    bool is_text = false;
    std::string text;
};

bool KeyExists(const std::string& path) {
    registry::Key key;
    return registry::OpenKey(registry::Hive::CurrentUser, path, registry::kKeyRead, key) == registry::kSuccess;
}

PolicyValue ReadPolicy(const std::string& path) {
    PolicyValue value;
    registry::Key key;
    if (registry::OpenKey(registry::Hive::CurrentUser, path, registry::kKeyRead, key) != registry::kSuccess)
        return value;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    const std::string name(kWebRtcPolicyName);
    if (key.QueryValue(name, &type, nullptr, &size) != registry::kSuccess) return value;
    value.present = true;
    value.is_text = type == registry::kTypeString;
    if (!value.is_text) return value;
    std::string text(size, '\0');
    if (size > 0 && key.QueryValue(name, &type, text.data(), &size) != registry::kSuccess) return value;
    text.resize(::strnlen(text.data(), std::min<std::size_t>(size, text.size())));
    value.text = std::move(text);
    return value;
}

bool WriteText(const std::string& path, const std::string& text) {
    registry::Key key;
    if (registry::CreateKey(registry::Hive::CurrentUser, path, registry::kKeyWrite, key, nullptr) !=
        registry::kSuccess) {
        return false;
    }
    return key.SetValue(std::string(kWebRtcPolicyName), registry::kTypeString, text.c_str(),
                        static_cast<std::uint32_t>(text.size() + 1)) == registry::kSuccess;
}

// The shallowest missing key on the way to `path` ("Software\Policies" always exists on Windows).
std::optional<std::string> FirstMissingKey(const std::string& path) {
    std::optional<std::string> missing;
    for (std::string at = path; !at.empty() && !KeyExists(at);) {
        missing = at;
        const std::size_t separator = at.rfind('\\');
        if (separator == std::string::npos) break;
        at.resize(separator);
    }
    return missing;
}

bool IsEmptyKey(const std::string& path) {
    registry::Key key;
    if (registry::OpenKey(registry::Hive::CurrentUser, path, registry::kKeyRead, key) != registry::kSuccess)
        return false;
    std::string name;
    return key.EnumSubkey(0, name) == registry::kNoMoreItems && key.EnumValue(0, name) == registry::kNoMoreItems;
}

// Removes the keys from `path` up to `created_from`, each only while it holds nothing.
void RemoveCreatedKeys(std::string path, const std::string& created_from) {
    while (path.size() >= created_from.size() && IsEmptyKey(path) &&
           registry::DeleteKey(registry::Hive::CurrentUser, path) == registry::kSuccess) {
        if (path.size() == created_from.size()) break;
        const std::size_t separator = path.rfind('\\');
        if (separator == std::string::npos) break;
        path.resize(separator);
    }
}

}  // namespace

void ContainWebRtc() {
    const std::vector<SavedRecord> saved = LoadSavedRecords(kSavedPolicies);
    for (const std::string_view key_view : {kChromePolicyKey, kEdgePolicyKey}) {
        const std::string path(key_view);
        const bool already_saved = std::any_of(saved.begin(), saved.end(), [&](const SavedRecord& record) {
            const std::string* key = record.Text(kKey);
            return key != nullptr && *key == path;
        });
        if (!already_saved) {
            const PolicyValue current = ReadPolicy(path);
            if (current.present && !current.is_text) continue;
            SavedRecord record;
            record.texts[kKey] = path;
            if (current.present) record.texts[kPrevious] = current.text;
            if (auto missing = FirstMissingKey(path)) record.texts[kCreatedFrom] = *missing;
            // Without a record nothing could be taken back later, so nothing is set.
            if (!AddSavedRecord(kSavedPolicies, record)) continue;
        }
        // A policy that cannot be written (no rights on the policy keys) is not reported.
        static_cast<void>(WriteText(path, std::string(kWebRtcPolicyValue)));
    }
}

void ReleaseWebRtc() {
    std::vector<SavedRecord> kept;
    std::vector<SavedRecord> records = LoadSavedRecords(kSavedPolicies);
    // Latest first: a key created for a later policy sits inside the keys created for an earlier one.
    std::reverse(records.begin(), records.end());
    for (const SavedRecord& record : records) {
        const std::string* path = record.Text(kKey);
        if (path == nullptr) continue;
        const PolicyValue current = ReadPolicy(*path);
        if (current.present && current.is_text && current.text == kWebRtcPolicyValue) {
            if (const std::string* previous = record.Text(kPrevious)) {
                if (!WriteText(*path, *previous)) {
                    kept.push_back(record);
                    continue;
                }
            } else {
                registry::Key key;
                if (registry::OpenKey(registry::Hive::CurrentUser, *path, registry::kKeyWrite, key) ==
                    registry::kSuccess) {
                    static_cast<void>(key.DeleteValue(std::string(kWebRtcPolicyName)));
                }
            }
        }
        if (const std::string* created_from = record.Text(kCreatedFrom)) RemoveCreatedKeys(*path, *created_from);
    }
    static_cast<void>(ReplaceSavedRecords(kSavedPolicies, kept));
}

}  // namespace vestrel::browsers
