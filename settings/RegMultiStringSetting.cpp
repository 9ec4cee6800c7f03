// A list-of-texts setting over the registry service.
#include "settings/RegMultiStringSetting.h"

namespace vestrel::settings {

namespace registry = platform::registry;

RegMultiStringSetting::RegMultiStringSetting(const MultiStringSettingSpec& entry)
    : RegSettingBase(entry.full_path, true, entry.hive) {}

std::string RegMultiStringSetting::Encode(const std::vector<std::string>& texts) {
    std::string bytes;
    for (const std::string& text : texts) {
        // A NUL inside a text would end it early in every reader; keep the part before it.
        const std::string_view kept = std::string_view(text).substr(0, text.find('\0'));
        if (kept.empty()) continue;
        bytes += kept;
        bytes += '\0';
    }
    // An empty list is one NUL; otherwise the last text's NUL and one more.
    bytes += '\0';
    return bytes;
}

std::vector<std::string> RegMultiStringSetting::Decode(std::string_view bytes) {
    std::vector<std::string> texts;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\0', start);
        if (end == std::string_view::npos) end = bytes.size();
        // Written by hand, a list may hold empty texts before its end; they say nothing.
        if (end > start) texts.emplace_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return texts;
}

std::vector<std::string> RegMultiStringSetting::get() const {
    registry::Key key;
    if (!OpenForRead(key)) return {};
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (key.QueryValue(value_name_, &type, nullptr, &size) != registry::kSuccess) return {};
    if (type != registry::kTypeMultiString) return {};
    std::string bytes(size, '\0');
    if (size > 0 && key.QueryValue(value_name_, &type, bytes.data(), &size) != registry::kSuccess) return {};
    bytes.resize(size);
    return Decode(bytes);
}

std::error_code RegMultiStringSetting::set(const std::vector<std::string>& texts) {
    registry::Key key;
    if (!OpenForWrite(key)) return std::make_error_code(std::errc::permission_denied);
    const std::string bytes = Encode(texts);
    const long status = key.SetValue(value_name_, registry::kTypeMultiString, bytes.data(),
                                     static_cast<std::uint32_t>(bytes.size()));
    if (status != registry::kSuccess) return {static_cast<int>(status), std::system_category()};
    loaded_ = true;
    return {};
}

}  // namespace vestrel::settings
