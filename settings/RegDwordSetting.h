// One 32-bit registry value, read on construction and written only when it changes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry/Registry.h"
#include "settings/SettingsTable.h"

namespace vestrel::settings {

class RegDwordSetting {
  public:
    RegDwordSetting(std::string_view full_path, std::uint32_t default_value, bool reread = false,
                    Hive hive = Hive::LocalMachine);
    explicit RegDwordSetting(const DwordSettingSpec& entry, bool reread = false);

    // The cached value once loaded (unless re-reading); otherwise a fresh read, the default on failure.
    std::uint32_t get();
    // Writes when the value differs from the cache or re-reading is on; failures are not reported.
    void set(std::uint32_t value);

    bool loaded() const { return loaded_; }
    const std::string& keyPath() const { return key_path_; }
    const std::string& valueName() const { return value_name_; }

  private:
    std::uint32_t read();

    Hive hive_;
    std::string value_name_;
    std::string key_path_;
    std::uint32_t cached_ = 0;
    std::uint32_t default_;
    bool loaded_ = false;
    bool reread_;
};

}  // namespace vestrel::settings
