// Shared helpers of the browser configurator's tests: temporary folders, whole-file text, and a clean
// slate for the registry values the configurator reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "browsers/SavedSettings.h"
#include "browsers/WebRtcPolicy.h"
#include "platform/registry/Registry.h"

namespace vestrel::browsers::testing {

namespace registry = platform::registry;

// A fresh folder below the system's temporary folder, removed with everything in it at the end.
class TempFolder {
  public:
    TempFolder() {
        std::random_device seed;
        std::mt19937_64 random(seed());
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto candidate = base / ("vestrel-browsers-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) {
                path_ = candidate;
                return;
            }
        }
        ADD_FAILURE() << "no temporary folder";
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string path() const { return path_.string(); }
    // A path below the folder, its parent folders created.
    std::string Make(const std::string& relative) const {
        const auto full = path_ / std::filesystem::path(relative).make_preferred();
        std::filesystem::create_directories(full.parent_path());
        return full.string();
    }

  private:
    std::filesystem::path path_;
};

inline void WriteText(const std::string& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    ASSERT_TRUE(out.good()) << path;
}

inline std::optional<std::string> ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void SetDword(registry::Hive hive, const std::string& key_path, const std::string& name,
                     std::uint32_t value, std::uint32_t view = 0) {
    registry::Key key;
    ASSERT_EQ(registry::CreateKey(hive, key_path, registry::kKeyWrite | view, key, nullptr),
              registry::kSuccess);
    ASSERT_EQ(key.SetValue(name, registry::kTypeDword, &value, sizeof(value)), registry::kSuccess);
}

inline void SetString(registry::Hive hive, const std::string& key_path, const std::string& name,
                      const std::string& value, std::uint32_t view = 0) {
    registry::Key key;
    ASSERT_EQ(registry::CreateKey(hive, key_path, registry::kKeyWrite | view, key, nullptr),
              registry::kSuccess);
    ASSERT_EQ(key.SetValue(name, registry::kTypeString, value.c_str(),
                           static_cast<std::uint32_t>(value.size() + 1)),
              registry::kSuccess);
}

inline std::optional<std::uint32_t> GetDword(registry::Hive hive, const std::string& key_path,
                                             const std::string& name) {
    registry::Key key;
    if (registry::OpenKey(hive, key_path, registry::kKeyRead, key) != registry::kSuccess) return std::nullopt;
    std::uint32_t value = 0;
    std::uint32_t size = sizeof(value);
    if (key.QueryValue(name, nullptr, &value, &size) != registry::kSuccess) return std::nullopt;
    return value;
}

inline void DeleteValue(registry::Hive hive, const std::string& key_path, const std::string& name) {
    registry::Key key;
    if (registry::OpenKey(hive, key_path, registry::kKeyWrite, key) == registry::kSuccess)
        key.DeleteValue(name);
}

inline bool KeyExists(registry::Hive hive, const std::string& key_path, std::uint32_t view = 0) {
    registry::Key key;
    return registry::OpenKey(hive, key_path, registry::kKeyRead | view, key) == registry::kSuccess;
}

inline constexpr std::string_view kInternetSettings =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr std::string_view kAutoDial = "SOFTWARE\\Microsoft\\RAS AutoDial\\Default";
inline constexpr std::string_view kProgram = "Software\\Vestrel";

// Drops every saved record of the configurator, as if an older run had saved nothing. A WebRTC policy
// set by a test is taken back first, with the keys created for it.
inline void ForgetSavedSettings() {
    ReleaseWebRtc();
    registry::DeleteKeyTree(registry::Hive::CurrentUser, std::string(kSavedSettingsKey));
    registry::DeleteKeyTree(registry::Hive::LocalMachine, std::string(kSavedSettingsKey));
}

// Moves this user's saved records under HKEY_LOCAL_MACHINE, where earlier versions kept them: the state
// such a version left when it was killed with anonymity on.
inline void MoveSavedRecordsToMachine() {
    for (const std::string_view kind : kSavedKinds) {
        std::uint32_t number = 0;
        for (const SavedRecord& record : LoadSavedRecords(kind)) {
            const std::string path =
                std::string(kSavedSettingsKey) + "\\" + std::string(kind) + "\\" + std::to_string(number++);
            for (const auto& [name, text] : record.texts)
                SetString(registry::Hive::LocalMachine, path, name, text);
            for (const auto& [name, value] : record.numbers)
                SetDword(registry::Hive::LocalMachine, path, name, value);
            SetDword(registry::Hive::LocalMachine, path, "Complete", 1);
        }
        ASSERT_TRUE(ReplaceSavedRecords(kind, {}));
    }
}

// Removes every value the configurator reads or writes, so that each test starts from the defaults.
// Only values are removed, never the system's keys, so the same code is safe in a Wine prefix.
inline void ResetConfiguratorValues() {
    ForgetSavedSettings();
    const std::string settings(kInternetSettings);
    for (const char* name : {"EnableAutodial", "NoNetAutodial", "EnableHttp1_1", "ProxyHttp1.1"}) {
        DeleteValue(registry::Hive::CurrentUser, settings, name);
    }
    DeleteValue(registry::Hive::LocalMachine, std::string(kAutoDial), "DefaultInternet");
    for (const char* name : {"IE", "Avant", "FireFox", "Mozilla", "Netscape", "Opera", "LocalPort"}) {
        DeleteValue(registry::Hive::LocalMachine, std::string(kProgram), name);
    }
}

}  // namespace vestrel::browsers::testing
