// Deleting the entries of the WinInet URL cache, cookies or everything else.
#pragma once

#include "cleaner/CleaningSystem.h"

namespace vestrel::cleaner {

// Deletes every cache entry of the kind `mode` names (an entry is a cookie when its type has the cookie
// bit); true when the enumeration started. Entries in use stay.
bool purgeUrlCache(UrlCacheMode mode);

}  // namespace vestrel::cleaner
