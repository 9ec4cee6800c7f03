// One REG_MULTI_SZ registry value: a list of texts, each ended by a NUL, the list by one more.
#pragma once

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "settings/RegSettingBase.h"
#include "settings/SettingsTable.h"

namespace vestrel::settings {

class RegMultiStringSetting : public RegSettingBase {
  public:
    explicit RegMultiStringSetting(const MultiStringSettingSpec& entry);

    // The texts in their order, always read afresh; none when the value is missing or not a
    // REG_MULTI_SZ. Empty texts inside the list are passed over.
    std::vector<std::string> get() const;
    // Stores `texts` (empty ones dropped); an empty list is stored as an empty REG_MULTI_SZ.
    std::error_code set(const std::vector<std::string>& texts);

    // The value's bytes for `texts` and back, as the registry keeps them.
    static std::string Encode(const std::vector<std::string>& texts);
    static std::vector<std::string> Decode(std::string_view bytes);
};

}  // namespace vestrel::settings
