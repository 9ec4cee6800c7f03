// One 32-bit registry value, read on construction and written only when it changes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/RegSettingBase.h"
#include "settings/SettingsTable.h"

namespace vestrel::settings {

class RegDwordSetting : public RegSettingBase {
  public:
    RegDwordSetting(std::string_view full_path, std::uint32_t default_value, bool reread = false,
                    Hive hive = Hive::LocalMachine);
    explicit RegDwordSetting(const DwordSettingSpec& entry, bool reread = false);

    // The cached value once loaded (unless re-reading); otherwise a fresh read, the default on failure.
    std::uint32_t get();
    // Writes when the value differs from the cache or re-reading is on; failures are not reported.
    void set(std::uint32_t value);

  private:
    std::uint32_t read();

    std::uint32_t cached_ = 0;
    std::uint32_t default_;
};

}  // namespace vestrel::settings
