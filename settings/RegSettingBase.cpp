// Where a setting lives, and opening its key.
#include "settings/RegSettingBase.h"

#include <utility>

#include "settings/RegistryPath.h"

namespace vestrel::settings {

namespace registry = platform::registry;

RegSettingBase::RegSettingBase(std::string_view full_path, bool reread, Hive hive)
    : hive_(hive), reread_(reread) {
    RegistryPath path = SplitFullPath(full_path);
    key_path_ = std::move(path.key_path);
    value_name_ = std::move(path.value_name);
}

bool RegSettingBase::OpenForRead(registry::Key& key) const {
    return registry::OpenKey(hive_, key_path_, registry::kKeyRead, key) == registry::kSuccess;
}

bool RegSettingBase::OpenForWrite(registry::Key& key) const {
    return registry::CreateKey(hive_, key_path_, registry::kKeyWrite, key, nullptr) == registry::kSuccess;
}

}  // namespace vestrel::settings
