// Web pages open in the user's own browser: Vestrel.exe's help menu, tray menu and tips link, and
// VestrelStop.exe's poll, each ask the shell to "open" the address itself. The browser here is a
// recorder registered as the system's handler for http addresses; a page started in a named browser
// program instead never reaches it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/Links.h"
#include "resources/ids/MainWindowIds.h"
#include "settings/SettingsTable.h"
#include "stop/PollDialog.h"
#include "tests/app/FixturePeers.h"
#include "tests/app/ProgramDriver.h"
#include "tests/app/ProgramSettings.h"

namespace vestrel::app {
namespace {

using namespace std::chrono_literals;
using testing::Command;
using testing::Program;
using testing::SetDword;
using testing::SetString;
using testing::WaitUntil;
namespace fs = std::filesystem;

constexpr char kHandlerKey[] = "http\\shell\\open\\command";

std::optional<std::string> ReadHandler() {
    char value[1024] = {};
    LONG size = sizeof(value);
    if (::RegQueryValueA(HKEY_CLASSES_ROOT, kHandlerKey, value, &size) != ERROR_SUCCESS) return std::nullopt;
    return std::string(value);
}

void WriteHandler(const std::string& command) {
    ::RegSetValueA(HKEY_CLASSES_ROOT, kHandlerKey, REG_SZ, command.c_str(),
                   static_cast<DWORD>(command.size()));
}

class WebPagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetDword(settings::kHideHint, 0);
        SetDword(settings::kUseProxy, 0);
        // Nothing listens on port 1 of loopback: the list downloads fail at once, without the network.
        SetString(settings::kListServer, "127.0.0.1:1");
        testing::StayOnLoopback(1);

        folder_ = testing::TestFolder("vestrel-web-pages");
        opened_ = (folder_ / "opened.txt").string();
        saved_handler_ = ReadHandler();
        WriteHandler("\"" + testing::ProgramPath("PageRecorder.exe") + "\" \"" + opened_ + "\" \"%1\"");
    }

    void TearDown() override {
        program_.End();
        if (stop_.hProcess != nullptr) {
            if (::WaitForSingleObject(stop_.hProcess, 0) != WAIT_OBJECT_0)
                ::TerminateProcess(stop_.hProcess, 1);
            ::CloseHandle(stop_.hProcess);
            ::CloseHandle(stop_.hThread);
        }
        if (saved_handler_) WriteHandler(*saved_handler_);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // The addresses the recorder was started for, sorted: the shell starts one recorder per page, and
    // they need not finish in the order they were started.
    std::vector<std::string> Opened() const {
        std::istringstream lines(testing::ReadFile(opened_));
        std::vector<std::string> opened;
        for (std::string line; std::getline(lines, line);) opened.push_back(line);
        std::sort(opened.begin(), opened.end());
        return opened;
    }

    fs::path folder_;
    std::string opened_;
    std::optional<std::string> saved_handler_;
    Program program_;
    PROCESS_INFORMATION stop_{};
};

TEST_F(WebPagesTest, HelpMenuTrayTipsAndPollOpenTheirAddressesInTheDefaultBrowser) {
    HWND main = program_.Launch();
    ASSERT_NE(main, nullptr);
    // The help menu's pages: the menu belongs to its button, so its choices arrive there.
    HWND help_menu = ::GetDlgItem(main, IDC_MAIN_HELP_MENU);
    for (int id : {IDM_HELP_PRODUCT_PAGE, IDM_HELP_COMPANY_PAGE, IDM_HELP_SUPPORT, IDM_HELP_TELL_A_FRIEND})
        Command(help_menu, id);
    // The tray menu's page, and the status page's tips link.
    Command(main, IDM_TRAY_TELL_A_FRIEND);
    HWND tips_link = ::GetDlgItem(::GetDlgItem(main, IDD_STATUS_PAGE), IDC_STATUS_TIPS_LINK);
    ASSERT_NE(tips_link, nullptr);
    ::PostMessageA(tips_link, WM_LBUTTONDOWN, MK_LBUTTON, 0);

    std::vector<std::string> expected = {
        std::string(links::kProductPage),     std::string(links::kCompanyPage),
        std::string(links::kSupportPage),     std::string(links::kTellAFriendPage),
        std::string(links::kTellAFriendPage), std::string(links::kTipsPage)};
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(WaitUntil([&] { return Opened().size() >= expected.size(); }, 30s));
    EXPECT_EQ(Opened(), expected);
    program_.End();

    // VestrelStop's "YES" opens the poll the same way, then the utility ends.
    std::string command = "\"" + testing::ProgramPath("VestrelStop.exe") + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &stop_));
    HWND poll = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::vector<HWND> dialogs = testing::VisibleDialogs(stop_.dwProcessId);
            poll = dialogs.empty() ? nullptr : dialogs.front();
            return poll != nullptr;
        },
        60s));
    ::PostMessageA(::GetDlgItem(poll, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(::WaitForSingleObject(stop_.hProcess, 30000), WAIT_OBJECT_0);
    expected.push_back(stop::kPollPage);
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(WaitUntil([&] { return Opened().size() >= expected.size(); }, 30s));
    EXPECT_EQ(Opened(), expected);
}

}  // namespace
}  // namespace vestrel::app
