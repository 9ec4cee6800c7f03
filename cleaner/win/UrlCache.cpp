// URL cache enumeration and deletion over WinInet.
#include "cleaner/win/UrlCache.h"

#include <windows.h>

#include <wininet.h>

#include <vector>

namespace vestrel::cleaner {
namespace {

class CacheFind {
  public:
    explicit CacheFind(HANDLE handle) : handle_(handle) {}
    ~CacheFind() {
        if (handle_ != nullptr) ::FindCloseUrlCache(handle_);
    }
    CacheFind(const CacheFind&) = delete;
    CacheFind& operator=(const CacheFind&) = delete;
    HANDLE Get() const { return handle_; }

  private:
    HANDLE handle_;
};

// An entry buffer of at least `size` bytes; the system asks for more when an entry does not fit.
INTERNET_CACHE_ENTRY_INFOA* Entry(std::vector<unsigned char>& buffer, DWORD size) {
    if (size < sizeof(INTERNET_CACHE_ENTRY_INFOA)) size = sizeof(INTERNET_CACHE_ENTRY_INFOA);
    if (buffer.size() < size) buffer.resize(size);
    return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
}

}  // namespace

bool purgeUrlCache(UrlCacheMode mode) {
    DWORD size = 0;
    // Asked without a buffer first, to learn the first entry's size.
    ::FindFirstUrlCacheEntryA(nullptr, nullptr, &size);
    std::vector<unsigned char> buffer;
    INTERNET_CACHE_ENTRY_INFOA* entry = Entry(buffer, size);
    size = static_cast<DWORD>(buffer.size());
    CacheFind find(::FindFirstUrlCacheEntryA(nullptr, entry, &size));
    if (find.Get() == nullptr) return false;
    const bool cookies = mode == UrlCacheMode::CookiesOnly;
    for (;;) {
        const bool is_cookie = (entry->CacheEntryType & COOKIE_CACHE_ENTRY) != 0;
        if (is_cookie == cookies && entry->lpszSourceUrlName != nullptr) {
            ::DeleteUrlCacheEntryA(entry->lpszSourceUrlName);
        }
        size = static_cast<DWORD>(buffer.size());
        if (::FindNextUrlCacheEntryA(find.Get(), entry, &size)) continue;
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        entry = Entry(buffer, size);
        size = static_cast<DWORD>(buffer.size());
        if (!::FindNextUrlCacheEntryA(find.Get(), entry, &size)) break;
    }
    return true;
}

}  // namespace vestrel::cleaner
