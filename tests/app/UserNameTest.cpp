// Vestrel for a Windows user whose name no 8-bit code page of old spells whole: the user's folders
// are C:\users\Zoë Łukasz\AppData\... ("Ł" is in no Western code page, "ë" in no Cyrillic one). With
// the UTF-8 code page its manifest declares, the program names them: anonymity on points the Firefox
// profile there at the relay and off puts its bytes back (prefs.js stays UTF-8), and the cleaning page
// cleans the Chrome and Firefox profiles there (real profiles, from the cleaner's fixture). Without
// it the folders are never found. The test program itself has the system's code page, so it names
// those folders in UTF-16 only.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "resources/ids/MainWindowIds.h"
#include "resources/ids/PrivacyIds.h"
#include "settings/RegMultiStringSetting.h"
#include "settings/SettingsTable.h"
#include "tests/app/BrowserProfiles.h"
#include "tests/app/FixturePeers.h"
#include "tests/app/ProgramDriver.h"
#include "tests/app/ProgramSettings.h"
#include "tests/app/Screenshot.h"

namespace vestrel::app {
namespace {

using namespace std::chrono_literals;
using testing::Click;
using testing::Program;
using testing::Rows;
using testing::SetDword;
using testing::SetString;
using testing::Text;
using testing::WaitUntil;
namespace fs = std::filesystem;

constexpr wchar_t kUserName[] = L"Zo\u00EB \u0141ukasz";
constexpr wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const wchar_t* kRedirected[] = {L"AppData", L"Local AppData"};
// A pref of the user's own, in UTF-8 as Firefox writes prefs.js.
constexpr char kOwnPref[] =
    "user_pref(\"browser.startup.homepage\", \"https://example.org/Zo\xC3\xAB-\xC5\x81ukasz\");\n";

std::optional<std::wstring> ReadShellFolder(const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_CURRENT_USER, kShellFolders, name,
                       RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, value,
                       &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(value);
}

void WriteShellFolder(const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, name, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class UserNameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path fixture = testing::BrowserProfilesFixture();
        if (fixture.empty()) GTEST_SKIP() << "no browser profiles fixture";
        wchar_t own_profile[MAX_PATH] = {};
        ASSERT_GT(::GetEnvironmentVariableW(L"USERPROFILE", own_profile, MAX_PATH), 0u);
        user_ = fs::path(own_profile).parent_path() / kUserName;
        fs::remove_all(user_);
        roaming_ = user_ / L"AppData" / L"Roaming";
        local_ = user_ / L"AppData" / L"Local";
        for (const wchar_t* name : kRedirected) saved_folders_.emplace_back(name, ReadShellFolder(name));
        WriteShellFolder(L"AppData", roaming_.wstring());
        WriteShellFolder(L"Local AppData", local_.wstring());

        // The Firefox profile the configurator edits, and the real profiles the cleaner cleans.
        const fs::path own = roaming_ / L"Mozilla" / L"Firefox" / L"Profiles" / L"zl.default";
        fs::create_directories(own);
        prefs_ = own / L"prefs.js";
        own_prefs_ = std::string("// Mozilla User Preferences\n\n") + kOwnPref +
                     "user_pref(\"network.proxy.type\", 0);\n";
        std::ofstream(prefs_, std::ios::binary) << own_prefs_;
        fs::copy(fixture / "firefox", roaming_ / L"Mozilla" / L"Firefox", fs::copy_options::recursive);
        chrome_ = local_ / L"Google" / L"Chrome" / L"User Data";
        testing::LayOutChromeProfiles(fixture, chrome_);

        local_port_ = static_cast<int>(testing::FreePort());
        ASSERT_GT(local_port_, 0);
        SetString(settings::kListServer, "127.0.0.1:1");
        testing::StayOnLoopback(1);
        SetString(settings::kProxyName, "127.0.0.1:1->Nowhere");
        SetDword(settings::kLocalPort, static_cast<std::uint32_t>(local_port_));
        SetDword(settings::kUseProxy, 0);
        for (const auto* flag :
             {&settings::kBrowserOpera, &settings::kBrowserNetscape, &settings::kBrowserMozilla})
            SetDword(*flag, 0);
        SetDword(settings::kBrowserFireFox, 1);
        SetDword(settings::kClearHistory, 1);
        SetDword(settings::kClearCookies, 1);
        settings::RegMultiStringSetting(settings::kKeepCookies).set({});
    }

    void TearDown() override {
        program_.End();
        for (const auto& [name, value] : saved_folders_) {
            if (value) {
                WriteShellFolder(name, *value);
            } else {
                HKEY key = nullptr;
                if (::RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_SET_VALUE, &key) ==
                    ERROR_SUCCESS) {
                    ::RegDeleteValueW(key, name);
                    ::RegCloseKey(key);
                }
            }
        }
        if (user_.empty()) return;
        std::error_code ignored;
        fs::remove_all(user_, ignored);
        SetDword(settings::kBrowserFireFox, 0);
        SetDword(settings::kClearHistory, 0);
        SetDword(settings::kClearCookies, 0);
        SetDword(settings::kLocalPort, 8080);
        SetDword(settings::kUseProxy, 0);
        SetString(settings::kProxyName, "");
    }

    HWND StatusPage() const { return ::GetDlgItem(program_.main(), IDD_STATUS_PAGE); }
    void PressSwitch() const { Click(::GetDlgItem(StatusPage(), IDC_STATUS_ANONYMITY_SWITCH)); }
    std::string SwitchState() const { return Text(::GetDlgItem(StatusPage(), IDC_STATUS_ANONYMITY_STATE)); }

    HWND CleaningPage() const {
        if (HWND page = ::GetDlgItem(program_.main(), IDD_CLEANING)) return page;
        return ::GetDlgItem(::GetDlgItem(program_.main(), IDD_PRIVACY_SECTION), IDD_CLEANING);
    }

    fs::path user_, roaming_, local_, prefs_, chrome_;
    std::string own_prefs_;
    std::vector<std::pair<const wchar_t*, std::optional<std::wstring>>> saved_folders_;
    int local_port_ = 0;
    Program program_;
};

TEST_F(UserNameTest, TheConfiguratorAndTheCleanerFindAndEditTheProfilesInTheUsersFolders) {
    const fs::path history = chrome_ / L"Default" / L"History";
    ASSERT_GT(Rows(history, "SELECT count(*) FROM visits"), 0);
    ASSERT_NE(program_.Launch(), nullptr);

    // Anonymity on: the profile in Zoë Łukasz's folder points at the relay, the user's own pref whole.
    PressSwitch();
    ASSERT_TRUE(WaitUntil([&] { return SwitchState() == "Enabled"; }));
    const std::string on = Bytes(prefs_);
    EXPECT_NE(on.find("user_pref(\"network.proxy.http_port\", " + std::to_string(local_port_) + ");"),
              std::string::npos)
        << on;
    EXPECT_NE(on.find(kOwnPref), std::string::npos) << "the UTF-8 of prefs.js is kept";
    // Off: every byte of it comes back, from the record that names the file by its UTF-8 path.
    PressSwitch();
    ASSERT_TRUE(WaitUntil([&] { return SwitchState() == "Disabled"; }));
    EXPECT_EQ(Bytes(prefs_), own_prefs_);

    // The cleaning page finds the Chrome and Firefox profiles there and cleans them.
    Click(::GetDlgItem(::GetDlgItem(program_.main(), IDD_NAVIGATION_PANEL), IDC_NAV_PRIVACY));
    HWND section = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        section = ::GetDlgItem(program_.main(), IDD_PRIVACY_SECTION);
        return section != nullptr && ::IsWindowVisible(section);
    }));
    Click(::GetDlgItem(::GetDlgItem(section, IDD_PRIVACY_PANEL), IDC_CLEANING_BUTTON));
    ASSERT_TRUE(WaitUntil([&] { return CleaningPage() != nullptr && ::IsWindowVisible(CleaningPage()); }));
    Click(::GetDlgItem(CleaningPage(), IDC_CLEANING_CLEAN_NOW));
    const auto result = [&] { return Text(::GetDlgItem(CleaningPage(), IDC_CLEANING_RESULT)); };
    ASSERT_TRUE(WaitUntil([&] { return result().rfind("Cleaned.", 0) == 0; }, 60s)) << result();
    EXPECT_NE(result().find("Chrome (2 profiles): "), std::string::npos) << result();
    EXPECT_NE(result().find("Firefox ("), std::string::npos) << result();
    testing::SaveScreenshot(program_.main(), "user-name-cleaned");
    EXPECT_EQ(Rows(history, "SELECT count(*) FROM visits"), 0);
    // With no site kept, the cookies go with their file.
    EXPECT_FALSE(fs::exists(chrome_ / L"Default" / L"Network" / L"Cookies"));
    int histories = 0;
    for (const auto& entry : fs::recursive_directory_iterator(roaming_ / L"Mozilla" / L"Firefox")) {
        if (entry.path().filename() != L"places.sqlite") continue;
        ++histories;
        EXPECT_EQ(Rows(entry.path(), "SELECT count(*) FROM moz_historyvisits"), 0)
            << "a Firefox history kept";
    }
    EXPECT_EQ(histories, 2);
}

}  // namespace
}  // namespace vestrel::app
