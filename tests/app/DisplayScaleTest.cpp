// Vestrel.exe at 96, 144 and 192 DPI (Wine's LogPixels, read by each process when it starts): the
// main window takes the picture set drawn for that scale, every control inside it stays inside it,
// and a screenshot of the main window and of one page per section is saved at each scale.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "resources/ids/AnonymityIds.h"
#include "resources/ids/DialogIds.h"
#include "resources/ids/MainWindowIds.h"
#include "resources/ids/OptionsIds.h"
#include "resources/ids/PrivacyIds.h"
#include "settings/SettingsTable.h"
#include "tests/app/ProgramDriver.h"
#include "tests/app/ProgramSettings.h"
#include "tests/app/Screenshot.h"

namespace vestrel::app {
namespace {

using testing::Click;
using testing::Program;
using testing::WaitUntil;

// Where Wine keeps the display's DPI: the desktop's setting and the fonts' copy of it.
struct DpiKey {
    HKEY root;
    const char* path;
};
const DpiKey kDpiKeys[] = {{HKEY_CURRENT_USER, "Control Panel\\Desktop"},
                           {HKEY_CURRENT_CONFIG, "Software\\Fonts"}};

void SetLogPixels(DWORD dpi) {
    for (const DpiKey& key : kDpiKeys) {
        HKEY opened = nullptr;
        ASSERT_EQ(
            ::RegCreateKeyExA(key.root, key.path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr),
            ERROR_SUCCESS);
        ::RegSetValueExA(opened, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
        ::RegCloseKey(opened);
    }
}

// The artwork's rounding of a 96-DPI length at a scale.
int Scaled(int length, int percent) { return (length * percent + 50) / 100; }

struct Scale {
    DWORD dpi;
    int percent;
};

class DisplayScaleTest : public ::testing::TestWithParam<Scale> {
  protected:
    void SetUp() override {
        testing::SetDword(settings::kHideHint, 0);
        testing::SetDword(settings::kUseProxy, 0);
        testing::SetString(settings::kListServer, "127.0.0.1:1");
        SetLogPixels(GetParam().dpi);
    }
    // The prefix goes back to 96 DPI for every other test (this one runs alone).
    void TearDown() override {
        program_.End();
        SetLogPixels(96);
    }

    HWND Page(int id) const { return ::GetDlgItem(program_.main(), id); }
    std::string Shot(const char* what) const { return "dpi-" + std::to_string(GetParam().dpi) + "-" + what; }

    // Every visible child of the main window lies inside its client area.
    void ExpectInside(HWND main) {
        RECT client{};
        ::GetClientRect(main, &client);
        for (HWND child = ::GetWindow(main, GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            if (!::IsWindowVisible(child)) continue;
            RECT rect{};
            ::GetWindowRect(child, &rect);
            ::MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&rect), 2);
            EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= client.right &&
                        rect.bottom <= client.bottom)
                << "control " << ::GetDlgCtrlID(child) << " at " << rect.left << "," << rect.top << " - "
                << rect.right << "," << rect.bottom;
        }
    }

    Program program_;
};

TEST_P(DisplayScaleTest, MainWindowTakesThePicturesOfItsScaleAndEachSectionFits) {
    const int percent = GetParam().percent;
    HWND main = program_.Launch();
    ASSERT_NE(main, nullptr);

    // The window is as large as its background picture, which is drawn for the display's scale.
    RECT client{};
    ::GetClientRect(main, &client);
    EXPECT_EQ(client.right, Scaled(769, percent));
    EXPECT_EQ(client.bottom, Scaled(512, percent));
    HWND navigation = ::GetDlgItem(main, IDD_NAVIGATION_PANEL);
    RECT button{};
    ::GetClientRect(::GetDlgItem(navigation, IDC_NAV_STATUS), &button);
    EXPECT_EQ(button.right, Scaled(130, percent));
    EXPECT_EQ(button.bottom, Scaled(30, percent));
    ExpectInside(main);
    testing::SaveScreenshot(main, Shot("main-status"));

    struct Section {
        int button;
        int page;
        int panel;
        int sub_button;
        int sub_page;  // what the screenshot shows of the section
        const char* shot;
    };
    const Section sections[] = {
        {IDC_NAV_ANONYMITY, IDD_ANONYMITY_SECTION, IDD_ANONYMITY_PANEL, IDC_CURRENT_PROXY_BUTTON,
         IDD_CURRENT_PROXY, "anonymity-current-proxy"},
        {IDC_NAV_PRIVACY, IDD_PRIVACY_SECTION, IDD_PRIVACY_PANEL, IDC_CLEANING_BUTTON, IDD_CLEANING,
         "privacy-cleaning"},
        {IDC_NAV_OPTIONS, IDD_OPTIONS_SECTION, IDD_OPTIONS_PANEL, IDC_START_UP_BUTTON, IDD_START_UP,
         "options-start-up"},
    };
    for (const Section& section : sections) {
        SCOPED_TRACE(section.shot);
        Click(::GetDlgItem(navigation, section.button));
        ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(Page(section.page)); }));
        Click(::GetDlgItem(::GetDlgItem(Page(section.page), section.panel), section.sub_button));
        ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(Page(section.sub_page)); }));
        ExpectInside(main);
        testing::SaveScreenshot(main, Shot(section.shot));
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, DisplayScaleTest,
                         ::testing::Values(Scale{96, 100}, Scale{144, 150}, Scale{192, 200}),
                         [](const ::testing::TestParamInfo<Scale>& scale) {
                             return std::to_string(scale.param.dpi);
                         });

}  // namespace
}  // namespace vestrel::app
