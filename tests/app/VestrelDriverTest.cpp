// Works Vestrel.exe from outside, as a person would, through window messages: start-up, navigation,
// tips, the tray, the hint, About, a second start and the two ways out. Every process the tests start
// is ended by its handle when the test ends, whatever the outcome.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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

using namespace std::chrono_literals;

constexpr UINT kTrayCallback = WM_USER + 1;
// The main panel's buttons, section 1 (status) to 4 (options).
constexpr int kNavigationButtons[] = {IDC_NAV_STATUS, IDC_NAV_ANONYMITY, IDC_NAV_PRIVACY, IDC_NAV_OPTIONS};

using testing::Click;
using testing::Command;
using testing::GetDword;
using testing::Program;
using testing::SetDword;
using testing::SetString;
using testing::Text;
using testing::VisibleDialogs;
using testing::WaitUntil;

class VestrelDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetDword(settings::kHideHint, 0);
        SetDword(settings::kUseProxy, 0);
        // Nothing listens on port 1 of loopback: the list downloads fail at once, without the network.
        SetString(settings::kListServer, "127.0.0.1:1");
        testing::StayOnLoopback(1);
    }

    HWND StartProgram() { return program_.Launch(); }

    HWND NavigationButton(int section) const {
        return ::GetDlgItem(::GetDlgItem(program_.main(), IDD_NAVIGATION_PANEL),
                            kNavigationButtons[section - 1]);
    }
    HWND Page(int id) const { return ::GetDlgItem(program_.main(), id); }
    std::string Tip() const { return Text(::GetDlgItem(Page(IDD_TIPS_PANEL), IDC_TIPS_TEXT)); }
    bool Visible(HWND window) const { return window != nullptr && ::IsWindowVisible(window); }

    Program program_;
};

TEST_F(VestrelDriverTest, OpensTitledVestrelWithItsControlsAndAnonymityOff) {
    // A run that ended with anonymity on must not start with it on.
    SetDword(settings::kUseProxy, 1);
    SetString(settings::kProxyName, "10.20.30.40:8080");

    HWND main = StartProgram();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(Text(main), "Vestrel");
    EXPECT_EQ(GetDword(settings::kUseProxy), 0u);
    for (int id : {IDC_MAIN_MINIMISE, IDC_MAIN_ADDRESS_CHECK, IDC_MAIN_REAL_ADDRESS, IDC_MAIN_ADDRESS_IN_USE,
                   IDC_MAIN_HELP_MENU, IDC_MAIN_QUICK_ANONYMITY}) {
        EXPECT_NE(::GetDlgItem(main, id), nullptr) << id;
    }

    const std::string real_line = Text(::GetDlgItem(main, IDC_MAIN_REAL_ADDRESS));
    const std::string in_use_line = Text(::GetDlgItem(main, IDC_MAIN_ADDRESS_IN_USE));
    ASSERT_EQ(real_line.rfind("Real IP Address: ", 0), 0u) << real_line;
    ASSERT_EQ(in_use_line.rfind("Current IP Address in use: ", 0), 0u) << in_use_line;
    // Anonymity is off, so the address in use is the real one, not the stored proxy.
    EXPECT_EQ(in_use_line.substr(27), real_line.substr(17));
    EXPECT_EQ(in_use_line.find("10.20.30.40"), std::string::npos);

    EXPECT_TRUE(Visible(Page(IDD_STATUS_PAGE)));
    EXPECT_TRUE(Visible(Page(IDD_STATUS_HINT_PANEL)));
    EXPECT_FALSE(::IsWindowEnabled(NavigationButton(1)));
    for (int section = 2; section <= 4; ++section) {
        EXPECT_TRUE(::IsWindowEnabled(NavigationButton(section)));
    }
    EXPECT_EQ(Tip(), "");
    // The caption-less skin is shaped by its key colour where the system has layered windows.
    EXPECT_NE(::GetWindowLongPtrA(main, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
    EXPECT_EQ(::GetWindowLongPtrA(main, GWL_STYLE) & WS_CAPTION, 0);

    testing::SaveScreenshot(main, "main-status");
}

TEST_F(VestrelDriverTest, EachNavigationButtonShowsItsSectionAndDisablesItself) {
    ASSERT_NE(StartProgram(), nullptr);
    struct Expected {
        int section;
        int page;
        int sub_page;  // the introduction, or the status hint panel
        const char* shot;
    };
    const Expected sections[] = {{2, IDD_ANONYMITY_SECTION, IDD_ANONYMITY_INTRO, "main-anonymity"},
                                 {3, IDD_PRIVACY_SECTION, IDD_PRIVACY_INTRO, "main-privacy"},
                                 {4, IDD_OPTIONS_SECTION, IDD_OPTIONS_INTRO, "main-options"},
                                 {1, IDD_STATUS_PAGE, IDD_STATUS_HINT_PANEL, "main-status-again"}};
    const int all_pages[] = {IDD_STATUS_PAGE,     IDD_ANONYMITY_SECTION, IDD_PRIVACY_SECTION,
                             IDD_OPTIONS_SECTION, IDD_ANONYMITY_INTRO,   IDD_PRIVACY_INTRO,
                             IDD_OPTIONS_INTRO,   IDD_STATUS_HINT_PANEL};
    for (const Expected& expected : sections) {
        SCOPED_TRACE(expected.shot);
        Click(NavigationButton(expected.section));
        ASSERT_TRUE(
            WaitUntil([&] { return Visible(Page(expected.page)) && Visible(Page(expected.sub_page)); }));
        for (int page : all_pages) {
            if (page != expected.page && page != expected.sub_page) {
                EXPECT_FALSE(Visible(Page(page))) << page;
            }
        }
        for (int section = 1; section <= 4; ++section) {
            EXPECT_EQ(::IsWindowEnabled(NavigationButton(section)) != FALSE, section != expected.section)
                << section;
        }
        if (expected.section != 1) testing::SaveScreenshot(program_.main(), expected.shot);
    }

    // Inside a section: a section button shows its page in place of the introduction.
    Click(NavigationButton(2));
    ASSERT_TRUE(WaitUntil([&] { return Visible(Page(IDD_ANONYMITY_INTRO)); }));
    HWND section_panel = ::GetDlgItem(Page(IDD_ANONYMITY_SECTION), IDD_ANONYMITY_PANEL);
    ASSERT_NE(section_panel, nullptr);
    HWND wizard_button = ::GetDlgItem(section_panel, IDC_WIZARD_BUTTON);
    Click(wizard_button);
    ASSERT_TRUE(WaitUntil([&] { return Visible(Page(IDD_WIZARD)); }));
    EXPECT_FALSE(Visible(Page(IDD_ANONYMITY_INTRO)));
    EXPECT_FALSE(::IsWindowEnabled(wizard_button));
    EXPECT_FALSE(::IsWindowEnabled(NavigationButton(2)));
    testing::SaveScreenshot(program_.main(), "main-anonymity-wizard");

    // Another section button of the same section takes over.
    Click(::GetDlgItem(section_panel, IDC_CURRENT_PROXY_BUTTON));
    ASSERT_TRUE(WaitUntil([&] { return Visible(Page(IDD_CURRENT_PROXY)); }));
    EXPECT_FALSE(Visible(Page(IDD_WIZARD)));
    EXPECT_TRUE(::IsWindowEnabled(wizard_button));
}

TEST_F(VestrelDriverTest, HoveringPrivacyButtonShowsItsTipAndLeavingClearsIt) {
    HWND main = StartProgram();
    ASSERT_NE(main, nullptr);
    HWND button = NavigationButton(3);
    RECT rect{};
    ::GetWindowRect(button, &rect);
    ::SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    ::PostMessageA(button, WM_MOUSEMOVE, 0, MAKELPARAM(20, 10));
    ASSERT_TRUE(WaitUntil([&] { return Tip() == "Allows you to perform cleaning operations"; }, 5s)) << Tip();
    testing::SaveScreenshot(main, "main-tip");

    // Away from the window: the system reports the leave and the tip goes.
    ::SetCursorPos(2, 2);
    if (!WaitUntil([&] { return Tip().empty(); }, 3s)) {
        // Some window systems only notice the leave at the next pointer event over a window.
        ::PostMessageA(button, WM_MOUSELEAVE, 0, 0);
    }
    EXPECT_TRUE(WaitUntil([&] { return Tip().empty(); }, 5s)) << Tip();

    // A click on a navigation button clears the tip too.
    ::SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    ::PostMessageA(button, WM_MOUSEMOVE, 0, MAKELPARAM(20, 10));
    ASSERT_TRUE(WaitUntil([&] { return !Tip().empty(); }, 5s));
    Click(NavigationButton(2));
    EXPECT_TRUE(WaitUntil([&] { return Visible(Page(IDD_ANONYMITY_SECTION)) && Tip().empty(); }, 5s))
        << Tip();
}

TEST_F(VestrelDriverTest, MinimiseHidesToTrayAndTheTrayBringsItBack) {
    HWND main = StartProgram();
    ASSERT_NE(main, nullptr);

    Click(::GetDlgItem(main, IDC_MAIN_MINIMISE));
    ASSERT_TRUE(WaitUntil([&] { return !Visible(main); }));
    // HideHint is 0: no hint.
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(program_.WaitForDialogWith(IDC_MINIMISE_HINT_DO_NOT_SHOW, 500ms), nullptr);

    ::PostMessageA(main, kTrayCallback, 1, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(WaitUntil([&] { return Visible(main); }));

    // Escape hides without the hint even when the hint is asked for.
    SetDword(settings::kHideHint, 1);
    Command(main, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !Visible(main); }));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(program_.WaitForDialogWith(IDC_MINIMISE_HINT_DO_NOT_SHOW, 500ms), nullptr);

    // A callback for another icon id is ignored.
    ::PostMessageA(main, kTrayCallback, 2, WM_LBUTTONDBLCLK);
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(Visible(main));

    Command(main, IDM_TRAY_SHOW);
    ASSERT_TRUE(WaitUntil([&] { return Visible(main); }));

    // The system menu's minimise hides to the tray as well.
    ::PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(WaitUntil([&] { return !Visible(main); }));
    EXPECT_FALSE(::IsIconic(main));
}

TEST_F(VestrelDriverTest, MinimiseShowsTheHintUntilItIsTurnedOff) {
    SetDword(settings::kHideHint, 1);
    HWND main = StartProgram();
    ASSERT_NE(main, nullptr);

    Click(::GetDlgItem(main, IDC_MAIN_MINIMISE));
    ASSERT_TRUE(WaitUntil([&] { return !Visible(main); }));
    HWND hint = program_.WaitForDialogWith(IDC_MINIMISE_HINT_CONFIRM);
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(Text(hint), "Vestrel");
    testing::SaveScreenshot(hint, "hint");

    // Confirmed without the box: it stays on.
    Click(::GetDlgItem(hint, IDC_MINIMISE_HINT_CONFIRM));
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hint); }));
    EXPECT_EQ(GetDword(settings::kHideHint), 1u);
    EXPECT_FALSE(Visible(main));

    Command(main, IDM_TRAY_SHOW);
    ASSERT_TRUE(WaitUntil([&] { return Visible(main); }));
    Click(::GetDlgItem(main, IDC_MAIN_MINIMISE));
    hint = program_.WaitForDialogWith(IDC_MINIMISE_HINT_CONFIRM);
    ASSERT_NE(hint, nullptr);
    Click(::GetDlgItem(hint, IDC_MINIMISE_HINT_DO_NOT_SHOW));
    ASSERT_TRUE(WaitUntil([&] {
        return ::SendMessageA(::GetDlgItem(hint, IDC_MINIMISE_HINT_DO_NOT_SHOW), BM_GETCHECK, 0, 0) ==
               BST_CHECKED;
    }));
    Click(::GetDlgItem(hint, IDC_MINIMISE_HINT_CONFIRM));
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hint); }));
    EXPECT_EQ(GetDword(settings::kHideHint), 0u);
}

TEST_F(VestrelDriverTest, SystemMenuAboutShowsTheVersion) {
    HWND main = StartProgram();
    ASSERT_NE(main, nullptr);
    ::PostMessageA(main, WM_SYSCOMMAND, IDM_SYSTEM_ABOUT | 0x3, 0);  // the low four bits do not matter
    HWND about = program_.WaitForDialogWith(IDOK);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(Text(about), "Vestrel");
    bool has_version = false;
    for (HWND child = ::GetWindow(about, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (Text(child) == "Version 3.3 (Build 37)") has_version = true;
    }
    EXPECT_TRUE(has_version);
    testing::SaveScreenshot(about, "about");
    Click(::GetDlgItem(about, IDOK));
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(about); }));
    EXPECT_TRUE(Visible(main));
}

TEST_F(VestrelDriverTest, QuickAnonymityRunsItsProgressOnceSaysTheListIsMissingThenCloses) {
    // The list service refuses (see SetUp): the refresh fails at once, nothing is found, and the
    // dialog's line says both.
    HWND main = StartProgram();
    ASSERT_NE(main, nullptr);
    Click(::GetDlgItem(main, IDC_MAIN_QUICK_ANONYMITY));
    HWND progress_dialog = program_.WaitForDialogWith(IDC_ANONYMITY_PROGRESS_BAR);
    ASSERT_NE(progress_dialog, nullptr);
    HWND ok = ::GetDlgItem(progress_dialog, IDOK);
    Click(ok);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindowEnabled(ok); }));
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(ok) != FALSE; }, 30s));
    const std::string said = Text(::GetDlgItem(progress_dialog, IDC_ANONYMITY_PROGRESS_STATUS));
    EXPECT_EQ(said.rfind("No working anonymous proxy was found in the list. Online anonymity is left as it "
                         "was.\nThe proxy list could not be downloaded. The previous list is kept.",
                         0),
              0u)
        << said;
    EXPECT_EQ(GetDword(settings::kUseProxy), 0u);
    testing::SaveScreenshot(progress_dialog, "quick-anonymity-no-list");
    Click(ok);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(progress_dialog); }));
    EXPECT_TRUE(Visible(main));
}

TEST_F(VestrelDriverTest, SecondStartBringsTheHiddenWindowBackAndExits) {
    HWND main = StartProgram();
    ASSERT_NE(main, nullptr);
    Click(::GetDlgItem(main, IDC_MAIN_MINIMISE));
    ASSERT_TRUE(WaitUntil([&] { return !Visible(main); }));
    SetDword(settings::kUseProxy, 1);

    Program second;
    ASSERT_TRUE(second.Start());
    ASSERT_TRUE(second.WaitForExit());
    EXPECT_EQ(second.ExitCode(), 0u);
    EXPECT_TRUE(second.AllTopLevel().empty());
    EXPECT_TRUE(WaitUntil([&] { return Visible(main); }));
    // The second start hands over before it resets anything.
    EXPECT_EQ(GetDword(settings::kUseProxy), 1u);
}

TEST_F(VestrelDriverTest, TrayExitEndsTheProgramWithAnonymityOff) {
    HWND main = StartProgram();
    ASSERT_NE(main, nullptr);
    SetDword(settings::kUseProxy, 1);
    Command(main, IDM_TRAY_EXIT);
    ASSERT_TRUE(program_.WaitForExit());
    EXPECT_EQ(program_.ExitCode(), 0u);
    EXPECT_EQ(GetDword(settings::kUseProxy), 0u);
}

TEST_F(VestrelDriverTest, CloseEndsTheProgramWithoutTouchingAnonymity) {
    HWND main = StartProgram();
    ASSERT_NE(main, nullptr);
    SetDword(settings::kUseProxy, 1);
    ::PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program_.WaitForExit());
    EXPECT_EQ(program_.ExitCode(), 0u);
    EXPECT_EQ(GetDword(settings::kUseProxy), 1u);
}

}  // namespace
}  // namespace vestrel::app
