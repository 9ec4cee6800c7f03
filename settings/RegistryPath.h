// Splits a setting's full path into its key path and value name.
#pragma once

#include <string>
#include <string_view>

namespace vestrel::settings {

struct RegistryPath {
    std::string key_path;
    std::string value_name;
};

// Leading backslashes are dropped; the rest is split at its last backslash; the key path loses its
// trailing backslashes and the value name its leading ones.
RegistryPath SplitFullPath(std::string_view full_path);

}  // namespace vestrel::settings
