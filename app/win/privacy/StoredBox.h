// A check box of a privacy panel and the 0/1 setting it stands for.
#pragma once

#include "settings/RegDwordSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

inline int Ticked(const settings::DwordSettingSpec& setting) {
    return settings::RegDwordSetting(setting).get() == 1 ? 1 : 0;
}

// Writes the box's value only when it differs from the stored one.
inline void StoreBox(const settings::DwordSettingSpec& setting, int box) {
    settings::RegDwordSetting stored(setting);
    stored.get();
    stored.set(box != 0 ? 1 : 0);
}

}  // namespace vestrel::app
