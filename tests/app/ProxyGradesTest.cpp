// Proxy grades in the real program, driven from outside, against the judge fixture's proxies (one of
// each grade, each leaving from a loopback address of its own, and the judge in the list service): the
// test dialog's grade and HTTPS rows, the Tested list's Anonymity column after "Test All Proxies", the
// question before a proxy that passes the user's address on becomes the one in use, and the grade file
// kept apart from MyProxies.txt. A second case times "Test All Proxies" with and without the judge.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "catalogue/ProxyJudge.h"
#include "catalogue/ProxyTest.h"
#include "catalogue/TestedList.h"
#include "resources/ids/AnonymityIds.h"
#include "resources/ids/DialogIds.h"
#include "resources/ids/MainWindowIds.h"
#include "settings/SettingsTable.h"
#include "tests/app/AnonymitySection.h"
#include "tests/app/FixturePeers.h"
#include "tests/app/ProgramDriver.h"
#include "tests/app/ProgramSettings.h"
#include "tests/app/Screenshot.h"

namespace vestrel::app {
namespace {

using namespace std::chrono_literals;
using testing::AnswerQuestion;
using testing::CellText;
using testing::Click;
using testing::ColumnTexts;
using testing::Count;
using testing::GetString;
using testing::OpenSectionPage;
using testing::Program;
using testing::ReadFile;
using testing::SetDword;
using testing::SetString;
using testing::ShowAnonymitySection;
using testing::StartProxyTest;
using testing::UseFixtureJudge;
using testing::WaitUntil;
namespace fs = std::filesystem;

std::map<std::string, int> JudgePeers() { return testing::PeersFrom("VESTREL_JUDGE_PEERS"); }

class ProxyGradesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        peers_ = JudgePeers();
        ASSERT_EQ(testing::MissingPeers(peers_, {"elite", "anonymous", "transparent", "nohttps", "broken",
                                                 "dead", "list", "judge", "judge_https"}),
                  "");
        folder_ = testing::TestFolder("vestrel-grades");
        std::ofstream(folder_ / "MyProxies.txt", std::ios::binary) << Line("elite", "E") << "\r\n"
                                                                   << Line("anonymous", "A") << "\r\n"
                                                                   << Line("transparent", "T") << "\r\n"
                                                                   << Line("dead", "D") << "\r\n"
                                                                   << Line("nohttps", "N") << "\r\n"
                                                                   << Line("broken", "B") << "\r\n";
        // A grade from an earlier run, of the proxy that has died since.
        std::ofstream(folder_ / std::string(catalogue::kGradeFileName), std::ios::binary)
            << Address("dead") << "\tAnonymous\t-\t127.0.0.9\n";
        UseFixtureJudge(peers_);
        SetString(settings::kAppPath, folder_.string());
        // The proxy in use before the scenario: every refusal below must leave it so.
        SetString(settings::kProxyName, Line("elite", "E"));
        SetDword(settings::kUseProxy, 0);
        SetDword(settings::kLocalPort, static_cast<std::uint32_t>(testing::FreePort()));
        SetDword(settings::kHideHint, 0);
    }

    void TearDown() override {
        program_.End();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        SetDword(settings::kLocalPort, 8080);
        SetString(settings::kProxyName, "");
        testing::ForgetFixtureJudge();
    }

    std::string Address(const char* peer) const { return "127.0.0.1:" + std::to_string(peers_.at(peer)); }
    std::string Line(const char* peer, const char* country) const { return Address(peer) + "->" + country; }
    static std::string ProxyName() { return GetString(settings::kProxyName); }

    HWND Page(int id) const { return ::GetDlgItem(program_.main(), id); }
    HWND Open(int index, int page_id) { return OpenSectionPage(program_, index, page_id); }
    bool PickFromMenu(HWND list, int row, int command) {
        return testing::PickFromMenu(program_, list, row, command);
    }
    // The question dialog's text, answered with No (Cancel); "" when none came.
    std::string RefuseQuestion() { return AnswerQuestion(program_, false, 5s); }
    // Presses Start in the test dialog and waits for the test and the judge; the dialog left open.
    std::vector<std::string> StartTest(HWND dialog) { return StartProxyTest(program_, dialog, 40s); }
    void PressOk(HWND dialog) { Click(::GetDlgItem(dialog, IDC_PROXY_TEST_OK)); }

    // Types `address` on the Add proxy page and applies it: the test dialog it opens.
    HWND AddProxy(const std::string& address) {
        HWND add = Open(4, IDD_ADD_PROXY);
        ::SendMessageA(::GetDlgItem(add, IDC_ADD_PROXY_EDIT), WM_SETTEXT, 0,
                       reinterpret_cast<LPARAM>(address.c_str()));
        Click(::GetDlgItem(add, IDC_ADD_PROXY_APPLY));
        return program_.WaitForDialogWith(IDC_PROXY_TEST_TASKS);
    }

    std::map<std::string, int> peers_;
    fs::path folder_;
    Program program_;
};

TEST_F(ProxyGradesTest, GradesAreShownKeptApartAndAskedAboutBeforeUse) {
    HWND main = program_.Launch();
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(ShowAnonymitySection(program_));

    // The transparent proxy: its grade in the dialog, then a question at OK, and No keeps the proxy in use.
    HWND dialog = AddProxy(Address("transparent"));
    ASSERT_NE(dialog, nullptr);
    std::vector<std::string> rows = StartTest(dialog);
    ASSERT_EQ(rows.size(), 5u) << ::testing::PrintToString(rows);
    EXPECT_EQ(rows[3], "Anonymity level=Transparent");
    PressOk(dialog);
    EXPECT_EQ(RefuseQuestion(), catalogue::kRevealsAddressQuestion);
    EXPECT_EQ(ProxyName(), Line("elite", "E"));

    // The elite proxy: graded, HTTPS through it, adopted without a question.
    dialog = AddProxy(Address("elite"));
    ASSERT_NE(dialog, nullptr);
    rows = StartTest(dialog);
    ASSERT_EQ(rows.size(), 5u) << ::testing::PrintToString(rows);
    EXPECT_EQ(rows[0].rfind("Get proxy response time=", 0), 0u) << rows[0];
    EXPECT_EQ(
        std::vector<std::string>(rows.begin() + 2, rows.end()),
        (std::vector<std::string>{"Test Completed=Proxy ready", "Anonymity level=Elite", "HTTPS=supported"}));
    testing::SaveScreenshot(dialog, "proxy-test-grades");
    PressOk(dialog);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    EXPECT_EQ(program_.WaitForDialogWith(IDC_CONFIRM_TEXT, 1s), nullptr);
    EXPECT_TRUE(WaitUntil([&] { return ProxyName() == Address("elite"); }));

    // "Test All Proxies" grades every proxy that answers in the same run and drops the dead one.
    HWND tested = Open(3, IDD_TESTED_LIST);
    HWND list = ::GetDlgItem(tested, IDC_TESTED_LIST_VIEW);
    ASSERT_EQ(Count(list, LVM_GETITEMCOUNT), 6);
    // The grades known at start and those of the test dialog fill the column; the file has none.
    EXPECT_EQ(ColumnTexts(program_.id(), list, catalogue::kGradeColumn),
              (std::vector<std::string>{"Elite", "", "Transparent", "Anonymous", "", ""}));
    const auto began = std::chrono::steady_clock::now();
    ASSERT_TRUE(PickFromMenu(list, 0, IDM_TESTED_TEST_ALL));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Count(list, LVM_GETITEMCOUNT) == 5 &&
                   !::IsWindowVisible(::GetDlgItem(tested, IDC_TESTED_LIST_CANCEL));
        },
        60s));
    std::printf("Test All Proxies with grades, 6 rows in the program: %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
    EXPECT_EQ(ColumnTexts(program_.id(), list, catalogue::kAddressColumn),
              (std::vector<std::string>{Address("elite"), Address("anonymous"), Address("transparent"),
                                        Address("nohttps"), Address("broken")}));
    EXPECT_EQ(ColumnTexts(program_.id(), list, catalogue::kGradeColumn),
              (std::vector<std::string>{"Elite", "Anonymous", "Transparent", "Elite", "Broken"}));
    testing::SaveScreenshot(main, "anonymity-tested-list-grades");

    // "Test Proxy" on the transparent row: the row comes back with its figures, the proxy in use stays.
    ASSERT_TRUE(PickFromMenu(list, 2, IDM_TESTED_TEST));
    dialog = program_.WaitForDialogWith(IDC_PROXY_TEST_TASKS);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(StartTest(dialog).size(), 5u);
    PressOk(dialog);
    EXPECT_EQ(RefuseQuestion(), catalogue::kRevealsAddressQuestion);
    EXPECT_TRUE(WaitUntil([&] { return Count(list, LVM_GETITEMCOUNT) == 5; }));
    EXPECT_EQ(CellText(program_.id(), list, 4, catalogue::kAddressColumn), Address("transparent"));
    EXPECT_EQ(CellText(program_.id(), list, 4, catalogue::kGradeColumn), "Transparent");
    EXPECT_EQ(ProxyName(), Address("elite"));

    // A Broken proxy's question says what Broken means, not that it passes the address on.
    ASSERT_EQ(CellText(program_.id(), list, 3, catalogue::kAddressColumn), Address("broken"));
    ASSERT_TRUE(PickFromMenu(list, 3, IDM_TESTED_TEST));
    dialog = program_.WaitForDialogWith(IDC_PROXY_TEST_TASKS);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(StartTest(dialog).size(), 5u);
    PressOk(dialog);
    EXPECT_EQ(RefuseQuestion(), catalogue::kChangesPagesQuestion);
    EXPECT_EQ(ProxyName(), Address("elite"));

    // The status page's "Tested" box asks too, and No leaves the box with nothing chosen.
    Click(::GetDlgItem(::GetDlgItem(main, IDD_NAVIGATION_PANEL), IDC_NAV_STATUS));
    HWND status = Page(IDD_STATUS_PAGE);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(status) != FALSE; }));
    HWND box = ::GetDlgItem(status, IDC_STATUS_TESTED_BOX);
    const std::string transparent_line = Line("transparent", "T");
    const auto index = ::SendMessageA(box, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(transparent_line.c_str()));
    ASSERT_GE(index, 0);
    ::SendMessageA(box, CB_SETCURSEL, index, 0);
    ::PostMessageA(status, WM_COMMAND, MAKEWPARAM(IDC_STATUS_TESTED_BOX, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(box));
    EXPECT_EQ(RefuseQuestion(), catalogue::kRevealsAddressQuestion);
    EXPECT_EQ(ProxyName(), Address("elite"));
    EXPECT_EQ(::SendMessageA(box, CB_GETCURSEL, 0, 0), CB_ERR);

    // MyProxies.txt keeps its own format (the elite proxy was typed without a country), the dead proxy
    // gone and the retested ones last; the grades live in their own file, the dead proxy among none.
    const std::string file = ReadFile((folder_ / "MyProxies.txt").string());
    EXPECT_EQ(file, Address("elite") + "->\r\n" + Line("anonymous", "A") + "\r\n" + Line("nohttps", "N") +
                        "\r\n" + transparent_line + "\r\n" + Line("broken", "B") + "\r\n");
    const std::string grades = ReadFile((folder_ / std::string(catalogue::kGradeFileName)).string());
    for (const auto& [peer, grade] :
         std::vector<std::pair<const char*, const char*>>{{"elite", "Elite\thttps"},
                                                          {"anonymous", "Anonymous\t"},
                                                          {"transparent", "Transparent\t"},
                                                          {"nohttps", "Elite\t-"},
                                                          {"broken", "Broken\t"}}) {
        EXPECT_NE(grades.find(Address(peer) + "\t" + grade), std::string::npos) << peer << "\n" << grades;
    }
    EXPECT_EQ(grades.find(Address("dead")), std::string::npos) << grades;
}

// The cost of grading, printed: 200 rows, half of them silent, a quarter refused and a quarter the
// fixture's proxies, tested by connect alone and then with the judge on the same workers.
TEST(ProxyGradesTiming, TwoHundredRowsHalfSilentConnectOnlyAndGraded) {
    const std::map<std::string, int> peers = JudgePeers();
    ASSERT_EQ(testing::MissingPeers(peers, {"elite", "anonymous", "transparent", "nohttps", "broken",
                                            "silent", "dead", "list", "judge", "judge_https"}),
              "");
    UseFixtureJudge(peers);
    const char* answering[] = {"elite", "anonymous", "transparent", "nohttps", "broken"};
    catalogue::TestedList rows;
    for (int i = 0; i < 200; ++i) {
        const char* peer = i % 2 == 1 ? "silent" : i % 4 == 0 ? "dead" : answering[(i / 4) % 5];
        rows.AppendRow(
            {"127.0.0.1:" + std::to_string(peers.at(peer)), "Row" + std::to_string(i), "Not Tested", ""});
    }
    const auto run = [&](const catalogue::JudgeFunction& judge) {
        catalogue::TestedList list = rows;
        std::map<std::string, catalogue::Grade> graded;
        catalogue::TestAllHooks hooks;
        hooks.grade = [&](const std::string& address, const std::optional<catalogue::JudgeResult>& result) {
            if (result) graded[address] = result->grade;
        };
        const auto began = std::chrono::steady_clock::now();
        EXPECT_FALSE(catalogue::TestAllProxies(list, hooks, catalogue::kMaxParallelTests, judge));
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        EXPECT_EQ(list.RowCount(), 50u);
        return std::make_pair(took, graded);
    };
    const auto [connect_only, none] = run(nullptr);
    EXPECT_TRUE(none.empty());
    const auto [with_grades, graded] =
        run([](const catalogue::ProxyRoute& proxy, const std::atomic<bool>& cancel) {
            catalogue::JudgeOptions options;
            options.cancel = &cancel;
            return catalogue::JudgeProxy(proxy, catalogue::TheRealAddress().Addresses(options), options);
        });
    EXPECT_EQ(graded.size(), 5u);
    const auto elite = graded.find("127.0.0.1:" + std::to_string(peers.at("elite")));
    EXPECT_TRUE(elite != graded.end() && elite->second == catalogue::Grade::kElite);
    std::printf(
        "Test All Proxies, 200 rows, 100 silent, 50 answering: connect only %.1f s, with grades %.1f s\n",
        connect_only, with_grades);
    ::testing::Test::RecordProperty("test_all_200_connect_only_seconds", std::to_string(connect_only));
    ::testing::Test::RecordProperty("test_all_200_graded_seconds", std::to_string(with_grades));
    testing::ForgetFixtureJudge();
}

}  // namespace
}  // namespace vestrel::app
