// A handle on one whole registry key, for probing keys without leaving a trace and for reading
// values with their type checked.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry/Registry.h"

namespace vestrel::settings {

class RegKey {
  public:
    static constexpr std::size_t kMaxPathLength = 127;

    // The path is kept to its first 127 characters, as stored paths have always been.
    RegKey(platform::registry::Hive hive, std::string_view path,
           std::uint32_t access = platform::registry::kKeyReadWrite);

    long create();
    // True when the key was already there (it stays open); a key created by the probe is removed again.
    bool exists();
    void close();
    long deleteKey();
    long setDword(const std::string& name, std::uint32_t value);
    // 0 and the number; a system error as is; 1012 when the value is not a REG_DWORD (out untouched).
    long getDword(const std::string& name, std::uint32_t& out);
    // 0 and the text; a system error as is; 1012 when the value is not REG_SZ or REG_EXPAND_SZ.
    long getString(const std::string& name, std::string& out);

    const std::string& path() const { return path_; }
    bool isOpen() const { return key_.IsOpen(); }

  private:
    platform::registry::Hive hive_;
    std::uint32_t access_;
    std::string path_;
    platform::registry::Key key_;
    std::uint32_t disposition_ = 0;
};

}  // namespace vestrel::settings
