// Whole-key access over the registry service.
#include "settings/RegKey.h"

#include <cstring>

namespace vestrel::settings {

namespace registry = platform::registry;

RegKey::RegKey(registry::Hive hive, std::string_view path, std::uint32_t access)
    : hive_(hive), access_(access), path_(path.substr(0, kMaxPathLength)) {}

long RegKey::create() { return registry::CreateKey(hive_, path_, access_, key_, &disposition_); }

bool RegKey::exists() {
    disposition_ = 0;
    if (create() != registry::kSuccess) return false;
    if (disposition_ == registry::kOpenedExistingKey) return true;
    // The probe made the key: take it away again so that probing leaves nothing behind.
    key_.Close();
    registry::DeleteKey(hive_, path_);
    return false;
}

void RegKey::close() { key_.Close(); }

long RegKey::deleteKey() { return registry::DeleteKey(hive_, path_); }

long RegKey::setDword(const std::string& name, std::uint32_t value) {
    return key_.SetValue(name, registry::kTypeDword, &value, sizeof(value));
}

long RegKey::getDword(const std::string& name, std::uint32_t& out) {
    std::uint32_t type = 0;
    std::uint32_t value = 0;
    std::uint32_t size = sizeof(value);
    const long status = key_.QueryValue(name, &type, &value, &size);
    if (status != registry::kSuccess) return status;
    if (type != registry::kTypeDword) return registry::kCantRead;
    out = value;
    return registry::kSuccess;
}

long RegKey::getString(const std::string& name, std::string& out) {
    char buffer[1024];
    std::uint32_t type = 0;
    std::uint32_t size = sizeof(buffer);
    const long status = key_.QueryValue(name, &type, buffer, &size);
    if (status != registry::kSuccess) return status;
    if (type != registry::kTypeString && type != registry::kTypeExpandString) return registry::kCantRead;
    out.assign(buffer, ::strnlen(buffer, size));
    return registry::kSuccess;
}

}  // namespace vestrel::settings
