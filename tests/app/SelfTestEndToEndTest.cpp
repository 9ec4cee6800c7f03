// "Am I hidden?" and the plain-text list sources in the real program, driven from outside as a person
// would, against the judge (our JSON over HTTP and HTTPS with a self-signed certificate) and one proxy
// of each kind leaving from a loopback address of its own, started and stopped around the test by
// tools/judge-proxies: the verdict with anonymity off, through the elite proxy, the transparent one,
// one that refuses CONNECT to the judge's HTTPS port and a relay port that never answers; the status
// line's public address; and a list source with comments and repeats beside a dead one.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "browsers/ConnectionOptions.h"
#include "browsers/SavedSettings.h"
#include "platform/net/Socket.h"
#include "resources/ids/AnonymityIds.h"
#include "resources/ids/DialogIds.h"
#include "resources/ids/MainWindowIds.h"
#include "settings/RegMultiStringSetting.h"
#include "settings/SettingsTable.h"
#include "tests/app/AnonymitySection.h"
#include "tests/app/FixturePeers.h"
#include "tests/app/ProgramDriver.h"
#include "tests/app/ProgramSettings.h"
#include "tests/app/Screenshot.h"

namespace vestrel::app {
namespace {

using namespace std::chrono_literals;
using testing::Click;
using testing::ColumnTexts;
using testing::Program;
using testing::SetDword;
using testing::SetString;
using testing::Text;
using testing::WaitUntil;
namespace fs = std::filesystem;
namespace net = platform::net;

bool RelayAccepts(int port) {
    std::error_code error;
    return net::ConnectTcp("127.0.0.1", static_cast<std::uint16_t>(port), 1s, error).Valid();
}

class SelfTestEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        peers_ = testing::PeersFrom("VESTREL_JUDGE_PEERS");
        ASSERT_EQ(testing::MissingPeers(
                      peers_, {"list", "judge", "judge_https", "elite", "transparent", "nohttps", "dead"}),
                  "");
        local_port_ = testing::FreePort();
        ASSERT_GT(local_port_, 0);
        folder_ = testing::TestFolder("vestrel-self-test");

        testing::UseFixtureJudge(peers_);
        SetString(settings::kAppPath, folder_.string());
        SetString(settings::kProxyName, "");
        settings::RegMultiStringSetting(settings::kListSources).set({});
        SetDword(settings::kLocalPort, static_cast<std::uint32_t>(local_port_));
        SetDword(settings::kUseProxy, 0);
        SetDword(settings::kHideHint, 0);
        for (const auto* flag : {&settings::kBrowserOpera, &settings::kBrowserNetscape,
                                 &settings::kBrowserMozilla, &settings::kBrowserFireFox})
            SetDword(*flag, 0);
    }

    void TearDown() override {
        program_.End();
        if (browsers::AnySavedRecords()) browsers::DisableConnectionProxy("DefaultConnectionSettings");
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        settings::RegMultiStringSetting(settings::kListSources).set({});
        testing::ForgetFixtureJudge();
        SetString(settings::kProxyName, "");
        SetDword(settings::kLocalPort, 8080);
        SetDword(settings::kUseProxy, 0);
    }

    std::string Address(const char* peer) const { return "127.0.0.1:" + std::to_string(peers_.at(peer)); }

    HWND Main() const { return program_.main(); }
    HWND StatusPage() const { return ::GetDlgItem(Main(), IDD_STATUS_PAGE); }
    HWND CheckButton() const { return ::GetDlgItem(Main(), IDC_MAIN_ADDRESS_CHECK); }
    std::string SwitchState() const { return Text(::GetDlgItem(StatusPage(), IDC_STATUS_ANONYMITY_STATE)); }

    // Switches anonymity on towards `peer` (off first when it is on), as the switch does.
    void UseProxy(const char* peer) {
        if (SwitchState() == "Enabled") {
            Click(::GetDlgItem(StatusPage(), IDC_STATUS_ANONYMITY_SWITCH));
            ASSERT_TRUE(WaitUntil([&] { return SwitchState() == "Disabled"; }));
        }
        SetString(settings::kProxyName, Address(peer));
        Click(::GetDlgItem(StatusPage(), IDC_STATUS_ANONYMITY_SWITCH));
        ASSERT_TRUE(WaitUntil([&] { return SwitchState() == "Enabled"; }));
    }

    // Presses "Am I hidden?", waits for the verdict and closes its dialog; the verdict, "" when none
    // came. The seconds it took go to `seconds`.
    std::string SelfTest(const char* screenshot = nullptr, double* seconds = nullptr) {
        const auto started = std::chrono::steady_clock::now();
        Click(CheckButton());
        HWND dialog = program_.WaitForDialogWith(IDC_SELF_TEST_TEXT, 60s);
        if (dialog == nullptr) return "";
        if (seconds != nullptr)
            *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const std::string verdict = Text(::GetDlgItem(dialog, IDC_SELF_TEST_TEXT));
        EXPECT_EQ(Text(::GetDlgItem(dialog, IDC_SELF_TEST_LINK)), "Open the address-check web page");
        if (screenshot != nullptr) testing::SaveScreenshot(dialog, screenshot);
        Click(::GetDlgItem(dialog, IDOK));
        WaitUntil([&] { return !::IsWindow(dialog); });
        return verdict;
    }

    // Dismisses the message dialog; its text, "" when none came.
    std::string Acknowledge() { return program_.Acknowledge(30s); }
    HWND OpenPage(int index, int page_id) { return testing::OpenSectionPage(program_, index, page_id); }
    // Types `url` and presses Add; waits until the page took it (the box empties) or said why not.
    void AddSource(HWND page, const std::string& url) {
        HWND edit = ::GetDlgItem(page, IDC_LIST_UPDATE_SOURCE_EDIT);
        ::SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(url.c_str()));
        Click(::GetDlgItem(page, IDC_LIST_UPDATE_SOURCE_ADD));
        WaitUntil([&] {
            return Text(edit).empty() || program_.WaitForDialogWith(IDC_MESSAGE_TEXT, 0ms) != nullptr;
        });
    }

    std::map<std::string, int> peers_;
    int local_port_ = 0;
    fs::path folder_;
    Program program_;
};

TEST_F(SelfTestEndToEndTest, AmIHiddenNamesEachCauseAndListSourcesFeedTheNewList) {
    ASSERT_NE(program_.Launch(), nullptr);

    // The status line takes the address the judge saw once it answered.
    HWND real_line = ::GetDlgItem(Main(), IDC_MAIN_REAL_ADDRESS);
    EXPECT_TRUE(WaitUntil([&] { return Text(real_line) == "Real IP Address:127.0.0.1"; }, 20s))
        << Text(real_line);

    // Off: the cause, and the address sites see.
    double off_seconds = 0;
    EXPECT_EQ(SelfTest(nullptr, &off_seconds),
              "Not hidden: online anonymity is off. Web sites see your address 127.0.0.1.");

    // Through the elite proxy, over HTTP and HTTPS alike.
    UseProxy("elite");
    double elite_seconds = 0;
    EXPECT_EQ(SelfTest("self-test", &elite_seconds),
              "Hidden: web sites see 127.0.0.2 (Elite). Your address 127.0.0.1 is not shown.");

    // Squid passes the user's address on in X-Forwarded-For.
    UseProxy("transparent");
    const std::string transparent = SelfTest();
    EXPECT_EQ(transparent.rfind("Not hidden: the proxy in use is transparent", 0), 0u) << transparent;
    EXPECT_NE(transparent.find("127.0.0.1"), std::string::npos) << transparent;

    // A proxy that tunnels only to port 1: plain pages pass, HTTPS fails through it.
    UseProxy("nohttps");
    const std::string no_https = SelfTest("self-test-no-https");
    EXPECT_EQ(no_https.rfind("Not hidden: HTTPS pages do not get through the proxy in use", 0), 0u)
        << no_https;

    // The relay's port held by something that accepts and never answers (anonymity recorded as on
    // behind the program's back): the window keeps answering and the button rests meanwhile.
    Click(::GetDlgItem(StatusPage(), IDC_STATUS_ANONYMITY_SWITCH));
    ASSERT_TRUE(WaitUntil([&] { return SwitchState() == "Disabled"; }));
    {
        std::error_code error;
        net::Listener squatter = net::Listener::OnLoopback(static_cast<std::uint16_t>(local_port_), 8, error);
        ASSERT_TRUE(squatter.Valid()) << error.message();
        SetDword(settings::kUseProxy, 1);
        Click(CheckButton());
        EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(CheckButton()) == FALSE; }));
        for (int i = 0; i < 4; ++i) {
            DWORD_PTR result = 0;
            const auto asked = std::chrono::steady_clock::now();
            EXPECT_NE(::SendMessageTimeoutA(Main(), WM_NULL, 0, 0, SMTO_BLOCK, 2000, &result), 0) << i;
            EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
            ::Sleep(300);
        }
        Click(CheckButton());  // a second press while it runs starts nothing
        HWND dialog = program_.WaitForDialogWith(IDC_SELF_TEST_TEXT, 60s);
        ASSERT_NE(dialog, nullptr);
        const std::string silent = Text(::GetDlgItem(dialog, IDC_SELF_TEST_TEXT));
        EXPECT_EQ(
            silent.rfind(
                "Not hidden: the relay on 127.0.0.1:" + std::to_string(local_port_) + " is not answering", 0),
            0u)
            << silent;
        Click(::GetDlgItem(dialog, IDOK));
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
        EXPECT_EQ(program_.WaitForDialogWith(IDC_SELF_TEST_TEXT, 2s), nullptr) << "a second self-test ran";
        EXPECT_TRUE(::IsWindowEnabled(CheckButton()));
    }
    // Nothing on the port at all: the same cause.
    const std::string stopped = SelfTest();
    EXPECT_NE(stopped.find("is not answering"), std::string::npos) << stopped;
    SetDword(settings::kUseProxy, 0);

    // List sources: a typo is refused; the fixture's list (comments, a blank line, a repeated proxy,
    // one with a scheme) and an address where nothing listens are added.
    ASSERT_TRUE(testing::ShowAnonymitySection(program_));
    HWND update = OpenPage(5, IDD_LIST_UPDATE);
    HWND sources = ::GetDlgItem(update, IDC_LIST_UPDATE_SOURCES);
    AddSource(update, "ftp://127.0.0.1/list.txt");
    EXPECT_EQ(Acknowledge().rfind("Please write the list's address as an http or https address", 0), 0u);
    const std::string good = "http://" + Address("judge") + "/lists/plain.txt";
    const std::string dead = "http://" + Address("dead") + "/lists/gone.txt";
    AddSource(update, good);
    AddSource(update, dead);
    AddSource(update, good);
    EXPECT_EQ(Acknowledge(), "That list is read at each update already.");
    ASSERT_TRUE(WaitUntil([&] { return ::SendMessageA(sources, LVM_GETITEMCOUNT, 0, 0) == 2; }));
    EXPECT_EQ(settings::RegMultiStringSetting(settings::kListSources).get(),
              (std::vector<std::string>{good, dead}));

    Click(::GetDlgItem(update, IDOK));
    const std::string said = Acknowledge();
    EXPECT_NE(said.find("The list at " + dead + " could not be read."), std::string::npos) << said;
    EXPECT_EQ(said.find(good), std::string::npos) << said;
    EXPECT_EQ(ColumnTexts(program_.id(), sources, 1), (std::vector<std::string>{"3", "failed"}));
    testing::SaveScreenshot(Main(), "anonymity-list-sources");

    // The New list holds each of the list's proxies once, after the service's own lines.
    HWND new_list = ::GetDlgItem(OpenPage(2, IDD_NEW_LIST), IDC_NEW_LIST_VIEW);
    const std::vector<std::string> rows = ColumnTexts(program_.id(), new_list, 0);
    for (const char* peer : {"elite", "anonymous", "transparent"}) {
        const std::string address = Address(peer);
        EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                                [&](const std::string& row) { return row.rfind(address, 0) == 0; }),
                  1)
            << peer;
    }

    // Remove takes the selected source away, from the setting too; End selects the last row.
    HWND page = OpenPage(5, IDD_LIST_UPDATE);
    ::PostMessageA(sources, WM_KEYDOWN, VK_END, 0);
    ::PostMessageA(sources, WM_KEYUP, VK_END, 0);
    ::Sleep(300);
    Click(::GetDlgItem(page, IDC_LIST_UPDATE_SOURCE_REMOVE));
    EXPECT_TRUE(WaitUntil([&] {
        return settings::RegMultiStringSetting(settings::kListSources).get() ==
               std::vector<std::string>{good};
    }));
    EXPECT_EQ(::SendMessageA(sources, LVM_GETITEMCOUNT, 0, 0), 1);

    std::printf("under Wine: self-test with anonymity off %.2f s, through the elite proxy %.2f s\n",
                off_seconds, elite_seconds);
    RecordProperty("self_test_off_seconds", std::to_string(off_seconds));
    RecordProperty("self_test_elite_seconds", std::to_string(elite_seconds));
}

// Quick anonymity from nothing, as a new user would: no proxy chosen, no tested proxy, the list service
// dead and only a list source and the judge set. One press finds the proxies, never adopts the
// transparent one, adopts the elite one, switches anonymity on and shows "Hidden" in its dialog.
TEST_F(SelfTestEndToEndTest, QuickAnonymityFromNothingEndsWithTheEliteProxyAndHidden) {
    SetString(settings::kListServer, Address("dead"));
    settings::RegMultiStringSetting(settings::kListSources)
        .set({"http://" + Address("judge") + "/lists/plain.txt"});
    ASSERT_NE(program_.Launch(), nullptr);
    Click(::GetDlgItem(Main(), IDC_MAIN_QUICK_ANONYMITY));
    HWND dialog = program_.WaitForDialogWith(IDC_ANONYMITY_PROGRESS_STATUS);
    ASSERT_NE(dialog, nullptr);
    HWND status = ::GetDlgItem(dialog, IDC_ANONYMITY_PROGRESS_STATUS);
    Click(::GetDlgItem(dialog, IDOK));
    // While it finds: the button waits, Cancel is there, and the line counts the list's proxies.
    ASSERT_TRUE(WaitUntil([&] { return Text(status).rfind("Tested ", 0) == 0; }, 30s)) << Text(status);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDOK)));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_ANONYMITY_PROGRESS_CANCEL)));
    EXPECT_NE(Text(status).find(" of 3 "), std::string::npos) << Text(status);
    testing::SaveScreenshot(dialog, "quick-anonymity-finding");

    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(dialog, IDOK)) != FALSE; }, 90s))
        << Text(status);
    const std::string verdict = Text(status);
    testing::SaveScreenshot(dialog, "quick-anonymity-hidden");
    EXPECT_EQ(verdict.rfind("Hidden:", 0), 0u) << verdict;
    EXPECT_NE(verdict.find("(Elite)"), std::string::npos) << verdict;
    EXPECT_EQ(testing::GetString(settings::kProxyName), Address("elite"));
    EXPECT_EQ(testing::GetDword(settings::kUseProxy), 1u);
    // Both usable proxies are kept as tested, with their grades; the transparent one is not.
    const std::string tested = testing::ReadFile((folder_ / "MyProxies.txt").string());
    EXPECT_NE(tested.find(Address("elite")), std::string::npos) << tested;
    EXPECT_NE(tested.find(Address("anonymous")), std::string::npos) << tested;
    EXPECT_EQ(tested.find(Address("transparent")), std::string::npos) << tested;
    const std::string grades = testing::ReadFile((folder_ / "ProxyGrades.txt").string());
    EXPECT_NE(grades.find(Address("elite") + "\tElite"), std::string::npos) << grades;

    Click(::GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    EXPECT_TRUE(WaitUntil([&] { return SwitchState() == "Enabled"; }));
}

// With no proxy chosen the switch asks for one and nothing turns on, not even while the message is up.
TEST_F(SelfTestEndToEndTest, EnablingWithoutAProxyLeavesEverythingOff) {
    SetString(settings::kProxyName, "->Nowhere");
    ASSERT_NE(program_.Launch(), nullptr);
    Click(::GetDlgItem(StatusPage(), IDC_STATUS_ANONYMITY_SWITCH));
    HWND message = program_.WaitForDialogWith(IDC_MESSAGE_TEXT);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(Text(::GetDlgItem(message, IDC_MESSAGE_TEXT)),
              "Please select a proxy from the list before enabling online anonymity.");
    EXPECT_EQ(testing::GetDword(settings::kUseProxy), 0u);
    EXPECT_EQ(SwitchState(), "Disabled");
    EXPECT_FALSE(RelayAccepts(local_port_));
    EXPECT_EQ(Acknowledge(), "Please select a proxy from the list before enabling online anonymity.");
    EXPECT_EQ(testing::GetDword(settings::kUseProxy), 0u);
    EXPECT_EQ(SwitchState(), "Disabled");
}

}  // namespace
}  // namespace vestrel::app
