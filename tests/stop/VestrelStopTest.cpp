// VestrelStop.exe driven from outside against a real Vestrel.exe: the poll with nothing to stop, a
// Vestrel that leaves through its own "Exit" and sets the browsers back, and a hung Vestrel started
// under its name in capitals, which is terminated after the grace period.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "settings/RegDwordSetting.h"
#include "settings/SettingsTable.h"
#include "tests/app/Screenshot.h"
#include "tests/stop/ProcessDriver.h"
#include "tests/support/SystemProxy.h"

namespace vestrel::stop {
namespace {

using namespace std::chrono_literals;
using vestrel::testing::Process;

constexpr char kPollTitle[] = "Vestrel Online Poll";

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

class VestrelStopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Others test Vestrel on this machine at the same time: never the default port.
        const unsigned port = vestrel::testing::FreePort();
        ASSERT_NE(port, 0u);
        settings::RegDwordSetting(settings::kLocalPort, true).set(port);
        settings::RegDwordSetting(settings::kUseProxy, true).set(0);
        settings::RegDwordSetting(settings::kHideHint, true).set(0);
        relay_ = "127.0.0.1:" + std::to_string(port);
    }

    // Runs VestrelStop.exe and waits for its poll, which shows once the stop sequence is over.
    HWND RunStop() {
        if (!stop_.Start(Quoted(vestrel::testing::BinFolder() + "VestrelStop.exe"))) return nullptr;
        return stop_.WaitForDialog(kPollTitle, 60s);
    }

    // Answers the poll with "NO"; the utility then ends.
    void AnswerNo(HWND poll) {
        ::PostMessageA(::GetDlgItem(poll, IDCANCEL), BM_CLICK, 0, 0);
        ASSERT_TRUE(stop_.WaitForExit());
        EXPECT_EQ(stop_.ExitCode(), 0u);
    }

    std::string relay_;
    Process stop_;
};

TEST_F(VestrelStopTest, WithoutVestrelThePollShowsAtOnceAndNoClosesIt) {
    HWND poll = RunStop();
    ASSERT_NE(poll, nullptr);
    EXPECT_EQ(vestrel::testing::WindowText(::GetDlgItem(poll, 1000)),
              "Tell us your opinion about our product by completing a short online poll.");
    HWND yes = ::GetDlgItem(poll, IDOK);
    HWND no = ::GetDlgItem(poll, IDCANCEL);
    EXPECT_EQ(vestrel::testing::WindowText(yes), "YES");
    EXPECT_EQ(vestrel::testing::WindowText(no), "NO");
    EXPECT_NE(::GetWindowLongPtrA(yes, GWL_STYLE) & BS_DEFPUSHBUTTON, 0);
    // The text fits its two lines and the buttons sit side by side below it.
    RECT text{}, yes_rect{}, no_rect{};
    ::GetWindowRect(::GetDlgItem(poll, 1000), &text);
    ::GetWindowRect(yes, &yes_rect);
    ::GetWindowRect(no, &no_rect);
    EXPECT_LT(text.bottom, yes_rect.top);
    EXPECT_EQ(yes_rect.top, no_rect.top);
    EXPECT_LT(yes_rect.right, no_rect.left);
    app::testing::SaveScreenshot(poll, "poll");
    AnswerNo(poll);
}

TEST_F(VestrelStopTest, VestrelLeavesThroughExitAndTheBrowsersAreSetBack) {
    Process vestrel;
    ASSERT_TRUE(vestrel.Start(Quoted(vestrel::testing::BinFolder() + "Vestrel.exe")));
    ASSERT_NE(vestrel.WaitForMainWindow(), nullptr);
    // As anonymity on leaves them: the flag up and the system's browsers pointed at the relay.
    settings::RegDwordSetting(settings::kUseProxy, true).set(1);
    ASSERT_TRUE(vestrel::testing::PointSystemProxyAt(relay_));
    ASSERT_FALSE(vestrel::testing::IsDirect(vestrel::testing::ReadSystemProxy()));

    HWND poll = RunStop();
    ASSERT_NE(poll, nullptr);
    // Vestrel has gone before the poll shows, through "Exit": a close request or a termination
    // would have left the flag up and the browsers pointed at a relay that no longer listens.
    EXPECT_TRUE(vestrel.HasEnded());
    EXPECT_EQ(vestrel.ExitCode(), 0u);
    EXPECT_EQ(settings::RegDwordSetting(settings::kUseProxy, true).get(), 0u);
    const auto proxy = vestrel::testing::ReadSystemProxy();
    EXPECT_TRUE(vestrel::testing::IsDirect(proxy)) << proxy.flags << " " << proxy.server;
    AnswerNo(poll);
}

TEST_F(VestrelStopTest, AHungVestrelStartedInCapitalsIsTerminatedAfterTheGracePeriod) {
    const std::string folder = vestrel::testing::MakeTemporaryFolder("vestrel-stop-");
    ASSERT_FALSE(folder.empty());
    const std::string program = folder + "\\VESTREL.EXE";
    ASSERT_TRUE(::CopyFileA((vestrel::testing::BinFolder() + "Vestrel.exe").c_str(), program.c_str(), FALSE));

    Process vestrel;
    ASSERT_TRUE(vestrel.Start(Quoted(program), folder));
    ASSERT_NE(vestrel.WaitForMainWindow(), nullptr);
    settings::RegDwordSetting(settings::kUseProxy, true).set(1);
    // Its window no longer answers: "Exit" is never handled.
    ASSERT_NE(::SuspendThread(vestrel.thread()), static_cast<DWORD>(-1));

    HWND poll = RunStop();
    ASSERT_NE(poll, nullptr);
    ASSERT_TRUE(vestrel.WaitForExit(5s));
    EXPECT_EQ(vestrel.ExitCode(), 0u);  // the utility's termination code
    // Terminated, not exited: the flag stays up until the next start resets it.
    EXPECT_EQ(settings::RegDwordSetting(settings::kUseProxy, true).get(), 1u);
    AnswerNo(poll);

    vestrel.End();
    ::DeleteFileA(program.c_str());
    ::RemoveDirectoryA(folder.c_str());
}

}  // namespace
}  // namespace vestrel::stop
