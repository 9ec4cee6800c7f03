// Full-path splitting shared by the two setting classes.
#include "settings/RegistryPath.h"

namespace vestrel::settings {

RegistryPath SplitFullPath(std::string_view full_path) {
    const std::size_t first = full_path.find_first_not_of('\\');
    full_path = first == std::string_view::npos ? std::string_view{} : full_path.substr(first);

    const std::size_t last = full_path.rfind('\\');
    if (last == std::string_view::npos) return {std::string{}, std::string(full_path)};

    std::string_view key = full_path.substr(0, last);
    while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
    std::string_view name = full_path.substr(last + 1);
    return {std::string(key), std::string(name)};
}

}  // namespace vestrel::settings
