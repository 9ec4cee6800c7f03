// What the two kinds of setting share: where the value lives, whether it has been read, and whether
// every use goes back to the registry.
#pragma once

#include <string>
#include <string_view>

#include "platform/registry/Registry.h"
#include "settings/SettingsTable.h"

namespace vestrel::settings {

class RegSettingBase {
  public:
    bool loaded() const { return loaded_; }
    const std::string& keyPath() const { return key_path_; }
    const std::string& valueName() const { return value_name_; }

  protected:
    // `full_path` is the key's path and the value's name joined by a backslash.
    RegSettingBase(std::string_view full_path, bool reread, Hive hive);

    // True when get() may answer from the cache.
    bool CacheAnswers() const { return loaded_ && !reread_; }
    // True when set() of a value equal to the cached one may skip the write.
    bool SkipsWriteOf(bool same_as_cached) const { return same_as_cached && !reread_; }
    bool OpenForRead(platform::registry::Key& key) const;
    bool OpenForWrite(platform::registry::Key& key) const;

    Hive hive_;
    std::string value_name_;
    std::string key_path_;
    bool loaded_ = false;
    bool reread_;
};

}  // namespace vestrel::settings
