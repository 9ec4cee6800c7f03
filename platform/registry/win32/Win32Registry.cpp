// The registry service over the Windows registry (advapi32, shlwapi).
#include <windows.h>

#include <shlwapi.h>

#include <utility>

#include "platform/registry/Registry.h"

namespace vestrel::platform::registry {
namespace {

HKEY RootOf(Hive hive) {
    switch (hive) {
        case Hive::ClassesRoot:
            return HKEY_CLASSES_ROOT;
        case Hive::CurrentUser:
            return HKEY_CURRENT_USER;
        case Hive::LocalMachine:
            return HKEY_LOCAL_MACHINE;
        case Hive::Users:
            return HKEY_USERS;
    }
    return HKEY_LOCAL_MACHINE;
}

HKEY AsHkey(void* handle) { return static_cast<HKEY>(handle); }

}  // namespace

Key::~Key() { Close(); }

Key::Key(Key&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Key& Key::operator=(Key&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

long Key::Close() {
    if (handle_ == nullptr) return kSuccess;
    const long status = ::RegCloseKey(AsHkey(std::exchange(handle_, nullptr)));
    return status;
}

long Key::QueryValue(const std::string& name, std::uint32_t* type, void* data, std::uint32_t* size) const {
    if (handle_ == nullptr) return kInvalidHandle;
    DWORD stored_type = 0;
    DWORD stored_size = size != nullptr ? *size : 0;
    const long status =
        ::RegQueryValueExA(AsHkey(handle_), name.c_str(), nullptr, &stored_type, static_cast<BYTE*>(data),
                           size != nullptr ? &stored_size : nullptr);
    if (type != nullptr) *type = stored_type;
    if (size != nullptr) *size = stored_size;
    return status;
}

long Key::SetValue(const std::string& name, std::uint32_t type, const void* data, std::uint32_t size) {
    if (handle_ == nullptr) return kInvalidHandle;
    return ::RegSetValueExA(AsHkey(handle_), name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
}

long Key::DeleteValue(const std::string& name) {
    if (handle_ == nullptr) return kInvalidHandle;
    return ::RegDeleteValueA(AsHkey(handle_), name.c_str());
}

long Key::EnumSubkey(std::uint32_t index, std::string& name) const {
    if (handle_ == nullptr) return kInvalidHandle;
    char buffer[256];
    DWORD length = sizeof(buffer);
    const long status =
        ::RegEnumKeyExA(AsHkey(handle_), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == kSuccess) name.assign(buffer, length);
    return status;
}

long Key::EnumValue(std::uint32_t index, std::string& name) const {
    if (handle_ == nullptr) return kInvalidHandle;
    char buffer[16384];
    DWORD length = sizeof(buffer);
    const long status =
        ::RegEnumValueA(AsHkey(handle_), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == kSuccess) name.assign(buffer, length);
    return status;
}

long OpenKey(Hive hive, const std::string& path, std::uint32_t access, Key& out) {
    HKEY handle = nullptr;
    const long status = ::RegOpenKeyExA(RootOf(hive), path.c_str(), 0, access, &handle);
    if (status == kSuccess) out = Key(handle);
    return status;
}

long CreateKey(Hive hive, const std::string& path, std::uint32_t access, Key& out,
               std::uint32_t* disposition) {
    HKEY handle = nullptr;
    DWORD created = 0;
    char empty_class[] = "";
    const long status = ::RegCreateKeyExA(RootOf(hive), path.c_str(), 0, empty_class, REG_OPTION_NON_VOLATILE,
                                          access, nullptr, &handle, &created);
    if (status == kSuccess) {
        out = Key(handle);
        if (disposition != nullptr) *disposition = created;
    }
    return status;
}

long DeleteKey(Hive hive, const std::string& path) { return ::RegDeleteKeyA(RootOf(hive), path.c_str()); }

long DeleteKeyTree(Hive hive, const std::string& path) { return ::SHDeleteKeyA(RootOf(hive), path.c_str()); }

}  // namespace vestrel::platform::registry
