// One text registry value, read on construction and written only when it changes.
#pragma once

#include <string>
#include <string_view>

#include "settings/RegSettingBase.h"
#include "settings/SettingsTable.h"

namespace vestrel::settings {

class RegStringSetting : public RegSettingBase {
  public:
    RegStringSetting(std::string_view full_path, std::string_view default_value, bool reread = false,
                     Hive hive = Hive::LocalMachine);
    explicit RegStringSetting(const StringSettingSpec& entry, bool reread = false);

    // The cached text once loaded (unless re-reading); otherwise a fresh read, the default on failure.
    std::string get();
    // Writes when the text differs (byte for byte) from the cache or re-reading is on.
    void set(std::string_view value);

  private:
    std::string read();

    std::string cached_;
    std::string default_;
};

}  // namespace vestrel::settings
