// A text setting over the registry service.
#include "settings/RegStringSetting.h"

#include <vector>

namespace vestrel::settings {

namespace registry = platform::registry;

RegStringSetting::RegStringSetting(std::string_view full_path, std::string_view default_value, bool reread,
                                   Hive hive)
    : RegSettingBase(full_path, reread, hive), default_(default_value) {
    read();
}

RegStringSetting::RegStringSetting(const StringSettingSpec& entry, bool reread)
    : RegStringSetting(entry.full_path, entry.default_value, reread, entry.hive) {}

std::string RegStringSetting::get() {
    if (CacheAnswers()) return cached_;
    return read();
}

std::string RegStringSetting::read() {
    registry::Key key;
    if (!OpenForRead(key)) return default_;
    std::uint32_t size = 0;
    if (key.QueryValue(value_name_, nullptr, nullptr, &size) != registry::kSuccess) return default_;
    std::vector<char> buffer(size);
    if (key.QueryValue(value_name_, nullptr, buffer.data(), &size) != registry::kSuccess) return default_;
    // The stored type is not checked; the text ends at its terminating NUL, if it has one.
    std::string text(buffer.data(), size);
    if (const std::size_t end = text.find('\0'); end != std::string::npos) text.resize(end);
    cached_ = std::move(text);
    loaded_ = true;
    return cached_;
}

void RegStringSetting::set(std::string_view value) {
    if (SkipsWriteOf(value == cached_)) return;
    cached_ = value;
    registry::Key key;
    if (!OpenForWrite(key)) return;
    const auto size = static_cast<std::uint32_t>(cached_.size() + 1);
    if (key.SetValue(value_name_, registry::kTypeString, cached_.c_str(), size) == registry::kSuccess) {
        loaded_ = true;
    }
}

}  // namespace vestrel::settings
