// The fixed names the cleaning tasks erase: the browser's folders below the system's folders, the files
// kept or zeroed in them, and the registry keys of typed addresses and AutoComplete data.
#pragma once

#include <string_view>

namespace vestrel::cleaner {

// Folders below the Windows folder and the temporary folder.
inline constexpr std::string_view kHistoryFolder = "History";
inline constexpr std::string_view kTemporaryInternetFilesFolder = "Temporary Internet Files";
inline constexpr std::string_view kCookiesFolder = "Cookies";

// The shell's view settings of a folder, kept so the folder keeps its look.
inline constexpr std::string_view kDesktopIni = "desktop.ini";
// The browser's index of a history, cache or cookie folder.
inline constexpr std::string_view kIndexFile = "index.dat";

// Keys of HKEY_CURRENT_USER.
inline constexpr std::string_view kTypedUrlsKey = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
inline constexpr std::string_view kIntelliFormsKey = "Software\\Microsoft\\Internet Explorer\\IntelliForms";

// The AutoComplete store of Protected Storage: below this prefix comes the user's SID (HKEY_CURRENT_USER)
// or the user's name (HKEY_LOCAL_MACHINE).
inline constexpr std::string_view kProtectedStorageKey =
    "Software\\Microsoft\\Protected Storage System Provider\\";
inline constexpr std::string_view kDataSuffix = "\\Data";
inline constexpr std::string_view kAutoCompleteStoreSuffix = "\\e161255a-37c3-11d2-bcaa-00c04fd929db";
inline constexpr std::string_view kDataAutoCompleteStoreSuffix =
    "\\Data\\e161255a-37c3-11d2-bcaa-00c04fd929db";

}  // namespace vestrel::cleaner
