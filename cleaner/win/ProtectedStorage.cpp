// Widening and restoring registry key DACLs for the AutoComplete store, over advapi32.
#include "cleaner/win/ProtectedStorage.h"

#include <array>
#include <cstdint>

#include "cleaner/CleanerPaths.h"
#include "cleaner/SidText.h"

namespace vestrel::cleaner {
namespace {

namespace registry = platform::registry;

constexpr registry::Hive kUserHive = registry::Hive::CurrentUser;

class TokenHandle {
  public:
    TokenHandle() = default;
    ~TokenHandle() {
        if (handle_ != nullptr) ::CloseHandle(handle_);
    }
    TokenHandle(const TokenHandle&) = delete;
    TokenHandle& operator=(const TokenHandle&) = delete;
    HANDLE* Out() { return &handle_; }
    HANDLE Get() const { return handle_; }

  private:
    HANDLE handle_ = nullptr;
};

struct FreeSidDeleter {
    void operator()(void* sid) const { ::FreeSid(sid); }
};
using AllocatedSid = std::unique_ptr<void, FreeSidDeleter>;

HKEY Native(const registry::Key& key) { return static_cast<HKEY>(key.NativeHandle()); }

}  // namespace

std::optional<std::vector<unsigned char>> getUserSid() {
    TokenHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Out())) return std::nullopt;
    DWORD size = 0;
    if (::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return std::nullopt;
    }
    std::vector<unsigned char> information(size);
    if (!::GetTokenInformation(token.Get(), TokenUser, information.data(), size, &size)) return std::nullopt;
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(information.data())->User.Sid;
    if (!::IsValidSid(sid)) return std::nullopt;
    const DWORD length = ::GetLengthSid(sid);
    std::vector<unsigned char> copy(length);
    if (!::CopySid(length, copy.data(), sid)) return std::nullopt;
    return copy;
}

std::string sidToText(PSID sid) {
    const SID_IDENTIFIER_AUTHORITY* authority = ::GetSidIdentifierAuthority(sid);
    std::array<std::uint8_t, 6> value{};
    for (std::size_t i = 0; i < value.size(); ++i) value[i] = authority->Value[i];
    const UCHAR count = *::GetSidSubAuthorityCount(sid);
    std::vector<std::uint32_t> subs;
    for (UCHAR i = 0; i < count; ++i) subs.push_back(*::GetSidSubAuthority(sid, i));
    return sidToText(value, subs);
}

std::optional<std::vector<unsigned char>> saveKeyDacl(registry::Hive hive, const std::string& path) {
    registry::Key key;
    if (registry::OpenKey(hive, path, READ_CONTROL, key) != registry::kSuccess) return std::nullopt;
    DWORD size = 0;
    if (::RegGetKeySecurity(Native(key), DACL_SECURITY_INFORMATION, nullptr, &size) !=
        ERROR_INSUFFICIENT_BUFFER) {
        return std::nullopt;
    }
    std::vector<unsigned char> descriptor(size);
    if (::RegGetKeySecurity(Native(key), DACL_SECURITY_INFORMATION, descriptor.data(), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return descriptor;
}

std::unique_ptr<OpenDacl> buildOpenDacl(PSID user) {
    SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
    PSID raw_system = nullptr;
    if (!::AllocateAndInitializeSid(&nt_authority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                    &raw_system)) {
        return nullptr;
    }
    const AllocatedSid local_system(raw_system);
    // The ACL header and two access-allowed entries, each its header and mask before the SID.
    const DWORD size = ::GetLengthSid(local_system.get()) + ::GetLengthSid(user) + 24;
    auto dacl = std::make_unique<OpenDacl>();
    dacl->acl.resize(size);
    auto* acl = reinterpret_cast<PACL>(dacl->acl.data());
    constexpr DWORD kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    if (!::InitializeAcl(acl, size, ACL_REVISION) ||
        !::AddAccessAllowedAceEx(acl, ACL_REVISION, kInherit, KEY_ALL_ACCESS, user) ||
        !::AddAccessAllowedAceEx(acl, ACL_REVISION, kInherit, KEY_ALL_ACCESS, local_system.get()) ||
        !::InitializeSecurityDescriptor(&dacl->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&dacl->descriptor, TRUE, acl, FALSE)) {
        return nullptr;
    }
    return dacl;
}

bool applyKeyDacl(registry::Hive hive, const std::string& path, PSECURITY_DESCRIPTOR descriptor,
                  bool recurse) {
    if (path.empty()) return false;
    registry::Key key;
    if (registry::OpenKey(hive, path, WRITE_DAC, key) != registry::kSuccess) return false;
    if (::RegSetKeySecurity(Native(key), DACL_SECURITY_INFORMATION, descriptor) != ERROR_SUCCESS)
        return false;
    if (!recurse) return true;
    key.Close();
    // Read again with the access just granted.
    if (registry::OpenKey(hive, path, registry::kKeyRead, key) != registry::kSuccess) return false;
    DWORD subkeys = 0;
    if (::RegQueryInfoKeyA(Native(key), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    for (DWORD index = 0; index < subkeys; ++index) {
        std::string name;
        const long status = key.EnumSubkey(index, name);
        if (status == registry::kNoMoreItems) break;
        if (status != registry::kSuccess || name.empty()) continue;
        applyKeyDacl(hive, path + "\\" + name, descriptor, true);
    }
    return true;
}

void ClearUserAutoCompleteStore() {
    auto sid = getUserSid();
    if (!sid) return;
    const PSID user = sid->data();
    const std::string user_key = std::string(kProtectedStorageKey) + sidToText(user);
    auto saved = saveKeyDacl(kUserHive, user_key);
    if (const auto open = buildOpenDacl(user)) {
        applyKeyDacl(kUserHive, user_key, &open->descriptor, false);
        std::string path = user_key + std::string(kDataSuffix);
        applyKeyDacl(kUserHive, path, &open->descriptor, false);
        path += kAutoCompleteStoreSuffix;
        applyKeyDacl(kUserHive, path, &open->descriptor, true);
        registry::DeleteKeyTree(kUserHive, path);
    }
    // The user key itself gets its own access back; the Data key keeps the widened one.
    if (saved) applyKeyDacl(kUserHive, user_key, saved->data(), false);
}

}  // namespace vestrel::cleaner
