// Initialisation-file text ("[section]" headers, "key=value" lines): one value read or replaced,
// with every other byte of the text left as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vestrel::browsers {

// The text with `key` of `section` set to `value`, the way the system's profile-string writer sets it:
// names compare without regard to case or surrounding blanks; an existing line becomes "key=value", a
// missing key is added after the last line of its section, a missing section is added at the end.
std::string SetIniValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value);
// The text without the line of `key` in `section`; the same text when there is none.
std::string RemoveIniValue(std::string_view text, std::string_view section, std::string_view key);
// The value of `key` in `section`, blanks around it removed; nothing when the key is absent.
std::optional<std::string> GetIniValue(std::string_view text, std::string_view section, std::string_view key);

// Writes one value into an initialisation file (created when missing), as WritePrivateProfileStringA
// does; false when the file could not be written. The system's writer on Windows, ours natively.
bool WriteIniFileValue(const std::string& section, const std::string& key, const std::string& value,
                       const std::string& path);
// Removes one key from an initialisation file, as WritePrivateProfileStringA with no value does; false
// when the file could not be written.
bool DeleteIniFileValue(const std::string& section, const std::string& key, const std::string& path);

}  // namespace vestrel::browsers
