// Extras of the native in-memory registry that the Windows registry has no need for: clearing it
// between tests, and keeping it in a file for the native tools.
#pragma once

#include <string>

namespace vestrel::platform::registry {

// Removes every key and value of every hive.
void ClearNativeRegistry();
// Replaces the registry with the contents of a file written by SaveNativeRegistry; false when the
// file cannot be read or is not such a file (the registry is then left as it was).
bool LoadNativeRegistry(const std::string& path);
// Writes every key and value to a file; false when the file cannot be written.
bool SaveNativeRegistry(const std::string& path);

}  // namespace vestrel::platform::registry
