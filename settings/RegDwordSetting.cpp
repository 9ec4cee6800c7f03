// A 32-bit setting over the registry service.
#include "settings/RegDwordSetting.h"

namespace vestrel::settings {

namespace registry = platform::registry;

RegDwordSetting::RegDwordSetting(std::string_view full_path, std::uint32_t default_value, bool reread,
                                 Hive hive)
    : RegSettingBase(full_path, reread, hive), default_(default_value) {
    read();
}

RegDwordSetting::RegDwordSetting(const DwordSettingSpec& entry, bool reread)
    : RegDwordSetting(entry.full_path, entry.default_value, reread, entry.hive) {}

std::uint32_t RegDwordSetting::get() {
    if (CacheAnswers()) return cached_;
    return read();
}

std::uint32_t RegDwordSetting::read() {
    registry::Key key;
    if (!OpenForRead(key)) return default_;
    // Any stored type counts, as long as its data fits in four bytes; a shorter value fills the low bytes.
    std::uint32_t value = cached_;
    std::uint32_t size = sizeof(value);
    if (key.QueryValue(value_name_, nullptr, &value, &size) != registry::kSuccess) return default_;
    cached_ = value;
    loaded_ = true;
    return cached_;
}

void RegDwordSetting::set(std::uint32_t value) {
    if (SkipsWriteOf(value == cached_)) return;
    cached_ = value;
    registry::Key key;
    if (!OpenForWrite(key)) return;
    if (key.SetValue(value_name_, registry::kTypeDword, &cached_, sizeof(cached_)) == registry::kSuccess) {
        loaded_ = true;
    }
}

}  // namespace vestrel::settings
