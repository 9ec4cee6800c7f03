// The registry service: the Windows registry in the Windows build, an in-memory registry of our own
// with the same hives, case-insensitive key paths, value types and raw-byte semantics natively.
#pragma once

#include <cstdint>
#include <string>

namespace vestrel::platform::registry {

enum class Hive : std::uint8_t { ClassesRoot, CurrentUser, LocalMachine, Users };

// System status codes, as the Windows registry functions return them.
inline constexpr long kSuccess = 0;
inline constexpr long kFileNotFound = 2;
inline constexpr long kAccessDenied = 5;
inline constexpr long kInvalidHandle = 6;
inline constexpr long kInvalidParameter = 87;
inline constexpr long kMoreData = 234;
inline constexpr long kNoMoreItems = 259;
inline constexpr long kCantRead = 1012;

// Value types.
inline constexpr std::uint32_t kTypeNone = 0;
inline constexpr std::uint32_t kTypeString = 1;        // REG_SZ
inline constexpr std::uint32_t kTypeExpandString = 2;  // REG_EXPAND_SZ
inline constexpr std::uint32_t kTypeBinary = 3;        // REG_BINARY
inline constexpr std::uint32_t kTypeDword = 4;         // REG_DWORD
inline constexpr std::uint32_t kTypeMultiString = 7;   // REG_MULTI_SZ

// Access masks (REGSAM).
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyReadWrite = 0x2001F;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;
inline constexpr std::uint32_t kKeyWow64_64 = 0x0100;
inline constexpr std::uint32_t kKeyWow64_32 = 0x0200;

// Dispositions reported by CreateKey.
inline constexpr std::uint32_t kCreatedNewKey = 1;
inline constexpr std::uint32_t kOpenedExistingKey = 2;

// One open key; closes itself.
class Key {
  public:
    Key() = default;
    ~Key();
    Key(Key&& other) noexcept;
    Key& operator=(Key&& other) noexcept;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    bool IsOpen() const { return handle_ != nullptr; }
    long Close();

    // As RegQueryValueExA: a null data asks only for the size; a buffer too small gives kMoreData
    // with *size set to what is needed. type may be null.
    long QueryValue(const std::string& name, std::uint32_t* type, void* data, std::uint32_t* size) const;
    long SetValue(const std::string& name, std::uint32_t type, const void* data, std::uint32_t size);
    long DeleteValue(const std::string& name);
    // Names of subkeys and values by index; kNoMoreItems past the end.
    long EnumSubkey(std::uint32_t index, std::string& name) const;
    long EnumValue(std::uint32_t index, std::string& name) const;

    // The platform's own handle (an HKEY in the Windows build), for Windows-only code that needs it.
    void* NativeHandle() const { return handle_; }

  private:
    friend long OpenKey(Hive, const std::string&, std::uint32_t, Key&);
    friend long CreateKey(Hive, const std::string&, std::uint32_t, Key&, std::uint32_t*);
    explicit Key(void* handle) : handle_(handle) {}
    void* handle_ = nullptr;
};

// As RegOpenKeyExA; an empty path opens the hive itself.
long OpenKey(Hive hive, const std::string& path, std::uint32_t access, Key& out);
// As RegCreateKeyExA with class "" and REG_OPTION_NON_VOLATILE: creates missing keys along the path.
// disposition may be null.
long CreateKey(Hive hive, const std::string& path, std::uint32_t access, Key& out,
               std::uint32_t* disposition);
// As RegDeleteKeyA: removes one key that has no subkeys.
long DeleteKey(Hive hive, const std::string& path);
// As SHDeleteKeyA: removes a key with all its subkeys and values.
long DeleteKeyTree(Hive hive, const std::string& path);

}  // namespace vestrel::platform::registry
