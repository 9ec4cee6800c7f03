// One text registry value, read on construction and written only when it changes.
#pragma once

#include <string>
#include <string_view>

#include "platform/registry/Registry.h"
#include "settings/SettingsTable.h"

namespace vestrel::settings {

class RegStringSetting {
  public:
    RegStringSetting(std::string_view full_path, std::string_view default_value, bool reread = false,
                     Hive hive = Hive::LocalMachine);
    explicit RegStringSetting(const StringSettingSpec& entry, bool reread = false);

    // The cached text once loaded (unless re-reading); otherwise a fresh read, the default on failure.
    std::string get();
    // Writes when the text differs (byte for byte) from the cache or re-reading is on.
    void set(std::string_view value);

    bool loaded() const { return loaded_; }
    const std::string& keyPath() const { return key_path_; }
    const std::string& valueName() const { return value_name_; }

  private:
    std::string read();

    Hive hive_;
    std::string value_name_;
    std::string key_path_;
    std::string cached_;
    std::string default_;
    bool loaded_ = false;
    bool reread_;
};

}  // namespace vestrel::settings
