// The system services the cleaning tasks need beyond files and the registry: the system's folders, the
// URL history object, the URL cache and the Protected Storage keys. The Windows build has the real one
// (cleaner/win/WindowsCleaningSystem.h); tests put their own folders and recorders in its place.
#pragma once

#include <optional>
#include <string>

namespace vestrel::cleaner {

// The shell's special folders, by their CSIDL numbers.
enum class ShellFolder : int {
    Favorites = 0x06,
    InternetCache = 0x20,
    Cookies = 0x21,
    History = 0x22,
    AppData = 0x1a,       // the roaming application data (%APPDATA%)
    LocalAppData = 0x1c,  // %LOCALAPPDATA%
};

enum class UrlCacheMode : int {
    AllButCookies = 0,
    CookiesOnly = 1,
};

class CleaningSystem {
  public:
    virtual ~CleaningSystem() = default;

    // Clears the history list through the system's URL history object.
    virtual void ClearHistoryList() = 0;
    // The folders as the system gives them; nothing when it does not.
    virtual std::optional<std::string> WindowsFolder() = 0;
    virtual std::optional<std::string> TemporaryFolder() = 0;
    // A special folder that already exists (it is never created for the asking).
    virtual std::optional<std::string> SpecialFolder(ShellFolder folder) = 0;
    // Deletes the URL cache entries of one kind; true when the enumeration started.
    virtual bool purgeUrlCache(UrlCacheMode mode) = 0;
    // The Windows NT family, where the AutoComplete store lives below the user's SID.
    virtual bool IsNtFamily() = 0;
    // Widens the access to the user's AutoComplete store below the user's SID, deletes it and puts the
    // user key's own access back.
    virtual void ClearUserAutoCompleteStore() = 0;
    // The name of the user the program runs as.
    virtual std::optional<std::string> UserName() = 0;
};

}  // namespace vestrel::cleaner
