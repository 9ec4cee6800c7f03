// The cleaning page in the whole program, driven from outside: the keep list's Add and Remove, Preview
// and Clean now on a real Chrome profile (written by Debian's chromium, see tests/cleaner/browsers) in
// the Wine user's folders, both run on a worker while their buttons are off, and screenshots of the
// page, a preview and a clean's summary.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "resources/ids/MainWindowIds.h"
#include "resources/ids/PrivacyIds.h"
#include "settings/RegMultiStringSetting.h"
#include "settings/SettingsTable.h"
#include "tests/app/BrowserProfiles.h"
#include "tests/app/ProgramDriver.h"
#include "tests/app/ProgramSettings.h"
#include "tests/app/Screenshot.h"

namespace vestrel::app {
namespace {

using namespace std::chrono_literals;
using testing::Click;
using testing::GetDword;
using testing::Program;
using testing::Rows;
using testing::SetDword;
using testing::SetString;
using testing::Text;
using testing::WaitUntil;
namespace fs = std::filesystem;

constexpr const settings::DwordSettingSpec* kBoxes[] = {
    &settings::kClearHistory,   &settings::kClearTypedUrls,   &settings::kClearTemporaryFiles,
    &settings::kClearCookies,   &settings::kClearFormEntries, &settings::kClearPasswords,
    &settings::kClearFavorites, &settings::kAutoClean};

fs::path Folder(int csidl) {
    char path[MAX_PATH] = {};
    EXPECT_TRUE(SUCCEEDED(::SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)));
    return path;
}

class PrivacyCleaningTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path fixture = testing::BrowserProfilesFixture();
        if (fixture.empty()) GTEST_SKIP() << "no browser profiles fixture";
        google_ = Folder(CSIDL_LOCAL_APPDATA) / "Google";
        fs::remove_all(google_);
        chrome_ = google_ / "Chrome" / "User Data";
        testing::LayOutChromeProfiles(fixture, chrome_);
        SetString(settings::kListServer, "127.0.0.1:1");
        testing::StayOnLoopback(1);
        for (const auto* box : kBoxes) SetDword(*box, 0);
        SetDword(settings::kClearHistory, 1);
        SetDword(settings::kClearCookies, 1);
        SetDword(settings::kSleep, 10);
        settings::RegMultiStringSetting(settings::kKeepCookies).set({});
    }
    void TearDown() override {
        program_.End();
        if (google_.empty()) return;
        std::error_code ignored;
        fs::remove_all(google_, ignored);
        for (const auto* box : kBoxes) SetDword(*box, 0);
        SetDword(settings::kSleep, 0);
        settings::RegMultiStringSetting(settings::kKeepCookies).set({});
    }

    HWND Page() const {
        HWND section = ::GetDlgItem(program_.main(), IDD_PRIVACY_SECTION);
        return ::GetDlgItem(program_.main(), IDD_CLEANING) != nullptr
                   ? ::GetDlgItem(program_.main(), IDD_CLEANING)
                   : ::GetDlgItem(section, IDD_CLEANING);
    }
    HWND Item(int id) const { return ::GetDlgItem(Page(), id); }
    bool ShowCleaningPage() {
        Click(::GetDlgItem(::GetDlgItem(program_.main(), IDD_NAVIGATION_PANEL), IDC_NAV_PRIVACY));
        HWND section = ::GetDlgItem(program_.main(), IDD_PRIVACY_SECTION);
        if (!WaitUntil([&] { return section != nullptr && ::IsWindowVisible(section); })) return false;
        Click(::GetDlgItem(::GetDlgItem(section, IDD_PRIVACY_PANEL), IDC_CLEANING_BUTTON));
        return WaitUntil([&] { return Page() != nullptr && ::IsWindowVisible(Page()); });
    }
    std::string Result() const { return Text(Item(IDC_CLEANING_RESULT)); }
    bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }

    fs::path google_, chrome_;
    Program program_;
};

TEST_F(PrivacyCleaningTest, PreviewAndCleanNowOnTheWorkerWithTheKeepList) {
    const fs::path history = chrome_ / "Default" / "History";
    const fs::path cookies = chrome_ / "Default" / "Network" / "Cookies";
    const auto visits = Rows(history, "SELECT count(*) FROM visits");
    ASSERT_GT(visits, 0);
    // The summary counts the browser's profiles together.
    const auto all_visits = visits + Rows(chrome_ / "Profile 1" / "History", "SELECT count(*) FROM visits");
    ASSERT_NE(program_.Launch(), nullptr);
    ASSERT_TRUE(ShowCleaningPage());

    // The keep list: a site written with its scheme is kept by its name.
    ::SendMessageA(Item(IDC_KEEP_COOKIES_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("http://Kept.test/"));
    Click(Item(IDC_KEEP_COOKIES_ADD));
    ASSERT_TRUE(
        WaitUntil([&] { return ::SendMessageA(Item(IDC_KEEP_COOKIES_LIST), LB_GETCOUNT, 0, 0) == 1; }));
    EXPECT_EQ(settings::RegMultiStringSetting(settings::kKeepCookies).get(),
              std::vector<std::string>{"kept.test"});
    EXPECT_EQ(Text(Item(IDC_KEEP_COOKIES_EDIT)), "");
    testing::SaveScreenshot(program_.main(), "privacy-cleaning-page");

    Click(Item(IDC_CLEANING_PREVIEW));
    ASSERT_TRUE(WaitUntil([&] { return Result().rfind("Preview:", 0) == 0; }, 60s)) << Result();
    EXPECT_TRUE(Enabled(IDC_CLEANING_PREVIEW));
    EXPECT_TRUE(Enabled(IDC_CLEANING_CLEAN_NOW));
    const std::string preview = Result();
    EXPECT_NE(preview.find("Chrome, Default: "), std::string::npos) << preview;
    EXPECT_NE(preview.find(std::to_string(visits) + " visits"), std::string::npos) << preview;
    EXPECT_NE(preview.find("Chrome, Profile 1: "), std::string::npos) << preview;
    EXPECT_EQ(Rows(history, "SELECT count(*) FROM visits"), visits) << "the preview changed the profile";
    testing::SaveScreenshot(program_.main(), "privacy-cleaning-preview");

    // Clean now: both buttons are off until its summary comes.
    Click(Item(IDC_CLEANING_CLEAN_NOW));
    ASSERT_TRUE(WaitUntil([&] { return Result().rfind("Cleaned.", 0) == 0; }, 60s)) << Result();
    const std::string summary = Result();
    EXPECT_NE(summary.find("Chrome (2 profiles): "), std::string::npos) << summary;
    EXPECT_NE(summary.find(std::to_string(all_visits) + " visits"), std::string::npos) << summary;
    EXPECT_TRUE(Enabled(IDC_CLEANING_CLEAN_NOW));
    EXPECT_EQ(Rows(history, "SELECT count(*) FROM visits"), 0);
    EXPECT_EQ(Rows(cookies, "SELECT count(*) FROM cookies WHERE host_key = 'other.test'"), 0);
    EXPECT_EQ(Rows(cookies, "SELECT count(*) FROM cookies WHERE host_key LIKE '%kept.test'"), 2);
    testing::SaveScreenshot(program_.main(), "privacy-cleaning-summary");

    ::SendMessageA(Item(IDC_KEEP_COOKIES_LIST), LB_SETCURSEL, 0, 0);
    Click(Item(IDC_KEEP_COOKIES_REMOVE));
    ASSERT_TRUE(
        WaitUntil([&] { return ::SendMessageA(Item(IDC_KEEP_COOKIES_LIST), LB_GETCOUNT, 0, 0) == 0; }));
    EXPECT_TRUE(settings::RegMultiStringSetting(settings::kKeepCookies).get().empty());
}

}  // namespace
}  // namespace vestrel::app
