// The AutoComplete store of Protected Storage below the user's SID: its keys are closed to the user, so
// their access is widened to the user and LocalSystem before they are deleted, and the user key's own
// access is put back afterwards.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"

namespace vestrel::cleaner {

// A copy of the SID of the process's user, in a block of its own.
std::optional<std::vector<unsigned char>> getUserSid();
std::string sidToText(PSID sid);

// The DACL of a key, as a self-relative security descriptor; nothing when it cannot be read.
std::optional<std::vector<unsigned char>> saveKeyDacl(platform::registry::Hive hive, const std::string& path);

// A security descriptor whose DACL gives the user and LocalSystem full access, inherited by subkeys.
struct OpenDacl {
    std::vector<unsigned char> acl;
    SECURITY_DESCRIPTOR descriptor{};  // points into acl: the object is not copied or moved
};
std::unique_ptr<OpenDacl> buildOpenDacl(PSID user);

// Sets the DACL of `descriptor` on the key, and with `recurse` on every key below it.
bool applyKeyDacl(platform::registry::Hive hive, const std::string& path, PSECURITY_DESCRIPTOR descriptor,
                  bool recurse);

// The steps on the NT family: the user's store below its SID is opened up and deleted; the SID key gets
// its saved DACL back.
void ClearUserAutoCompleteStore();

}  // namespace vestrel::cleaner
