// The cleaner's fixture of real browser profiles (written by Debian's chromium and firefox-esr, see
// tests/cleaner/browsers) as the whole-program tests lay them out in a Windows user's folders, and
// counts read back from their databases.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cleaner/SqliteDatabase.h"

namespace vestrel::app::testing {

// The fixture's folder as Wine names it; empty when the fixture has not run.
inline std::filesystem::path BrowserProfilesFixture() {
    const char* profiles = std::getenv("VESTREL_BROWSER_PROFILES");
    if (profiles == nullptr) return {};
    const std::filesystem::path fixture = std::string("Z:") + profiles;
    return std::filesystem::exists(fixture / "ready") ? fixture : std::filesystem::path();
}

// Chrome's User Data folder from the fixture's, as Chrome keeps it on Windows: Default's cookies below
// Network.
inline void LayOutChromeProfiles(const std::filesystem::path& fixture,
                                 const std::filesystem::path& user_data) {
    std::filesystem::create_directories(user_data);
    std::filesystem::copy(fixture / "chromium", user_data, std::filesystem::copy_options::recursive);
    std::filesystem::create_directories(user_data / "Default" / "Network");
    std::filesystem::rename(user_data / "Default" / "Cookies", user_data / "Default" / "Network" / "Cookies");
}

// What `query` counts in a database; -1 when it cannot be read. SQLite names files in UTF-8, whatever
// the code page.
inline std::int64_t Rows(const std::filesystem::path& database, const std::string& query) {
    const std::u8string name = database.u8string();
    auto db = cleaner::SqliteDatabase::OpenReadOnly(std::string(name.begin(), name.end()));
    return db ? db->Number(query).value_or(-1) : -1;
}

}  // namespace vestrel::app::testing
