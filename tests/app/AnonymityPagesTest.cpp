// The anonymity section's pages in the real program, driven from outside as a person would, against
// the list service (Canada, Brazil, Canada <supports POST>) and two tinyproxy upstreams that the
// fixture script starts: the current proxy with anonymity off, the Tested list's context menu and
// "Test All Proxies", Add proxy's form check, the wizard's locations and proxies from one download,
// the New list and List update. Each page is saved as a screenshot.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/ListSources.h"
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
using testing::Click;
using testing::Count;
using testing::Exchange;
using testing::GetString;
using testing::OpenMenu;
using testing::Program;
using testing::ReadFile;
using testing::RightClick;
using testing::SetDword;
using testing::SetString;
using testing::Text;
using testing::WaitUntil;
namespace fs = std::filesystem;

std::vector<std::string> BoxTexts(HWND box) {
    std::vector<std::string> texts;
    for (int i = 0; i < Count(box, CB_GETCOUNT); ++i) {
        // The wide message: the system copies its text across processes whole.
        wchar_t wide[512] = {};
        ::SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide));
        char text[512] = {};
        ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
        texts.emplace_back(text);
    }
    return texts;
}

class AnonymityPagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        peers_ = testing::PeersFrom("VESTREL_ANONYMITY_PEERS");
        ASSERT_EQ(testing::MissingPeers(peers_, {"first", "second", "dead", "list", "socks"}), "");
        folder_ = testing::TestFolder("vestrel-pages");
        // Reachable, dead, reachable: what "Test All Proxies" works on.
        std::ofstream(folder_ / "MyProxies.txt", std::ios::binary) << Address("first") << "->A\r\n"
                                                                   << Address("dead") << "->B\r\n"
                                                                   << Address("second") << "->C\r\n";
        SetString(settings::kListServer, "127.0.0.1:" + std::to_string(peers_["list"]));
        testing::StayOnLoopback(peers_["list"]);
        SetString(settings::kAppPath, folder_.string());
        // Set, but anonymity is off: the current proxy page must show the real address.
        SetString(settings::kProxyName, "1.2.3.4:8080->Canada");
        SetDword(settings::kLocalPort, static_cast<std::uint32_t>(testing::FreePort()));
        SetDword(settings::kHideHint, 0);
        Exchange(peers_["list"], "GET /control/reset HTTP/1.0\r\n\r\n");
    }

    void TearDown() override {
        program_.End();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        SetDword(settings::kLocalPort, 8080);
        SetString(settings::kProxyName, "");
    }

    std::string Address(const char* peer) { return "127.0.0.1:" + std::to_string(peers_[peer]); }
    std::string File() const { return ReadFile((folder_ / "MyProxies.txt").string()); }
    int ListRequests() {
        const std::string stats = Exchange(peers_["list"], "GET /control/stats HTTP/1.0\r\n\r\n");
        const auto at = stats.find("list=");
        return at == std::string::npos ? -1 : std::stoi(stats.substr(at + 5));
    }

    HWND Page(int id) const { return ::GetDlgItem(program_.main(), id); }
    HWND Open(int index, int page_id) { return testing::OpenSectionPage(program_, index, page_id); }
    HWND SectionButton(int index) const { return testing::SectionButton(program_, index); }
    bool PickFromMenu(HWND list, int row, int command, const char* screenshot = nullptr) {
        return testing::PickFromMenu(program_, list, row, command, screenshot);
    }
    // Answers the question dialog with OK or Cancel; false when none came.
    bool Answer(bool ok) { return !testing::AnswerQuestion(program_, ok).empty(); }
    std::string Acknowledge() { return program_.Acknowledge(20s); }
    int TestInDialog() { return testing::TestInDialog(program_); }

    std::map<std::string, int> peers_;
    fs::path folder_;
    Program program_;
};

TEST_F(AnonymityPagesTest, EveryPageDoesItsWorkFromTheSection) {
    HWND main = program_.Launch();
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(testing::ShowAnonymitySection(program_));
    testing::SaveScreenshot(main, "anonymity-intro");
    ASSERT_TRUE(WaitUntil([&] { return ListRequests() == 1; }, 20s)) << "the status page's download";

    // The current proxy: the real address while anonymity is off, although ProxyName is set.
    HWND current = Open(1, IDD_CURRENT_PROXY);
    const std::string shown = Text(::GetDlgItem(current, IDC_CURRENT_PROXY_ADDRESS));
    EXPECT_EQ(shown.rfind(std::string(14, ' '), 0), 0u) << shown;
    EXPECT_EQ(shown.find("1.2.3.4"), std::string::npos) << shown;
    EXPECT_NE(Text(::GetDlgItem(main, IDC_MAIN_REAL_ADDRESS)).find(shown.substr(14)), std::string::npos);
    testing::SaveScreenshot(main, "anonymity-current-proxy");
    // Change Proxy goes to the New list as its own button would.
    Click(::GetDlgItem(current, IDC_CURRENT_PROXY_CHANGE));
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(Page(IDD_NEW_LIST)) != FALSE; }));
    EXPECT_FALSE(::IsWindowVisible(current));
    EXPECT_FALSE(::IsWindowEnabled(SectionButton(2)));
    EXPECT_TRUE(::IsWindowEnabled(SectionButton(1)));

    // The Tested list: a right-click away from every row selects none and shows no menu.
    HWND tested = Open(3, IDD_TESTED_LIST);
    HWND rows = ::GetDlgItem(tested, IDC_TESTED_LIST_VIEW);
    ASSERT_EQ(Count(rows, LVM_GETITEMCOUNT), 3);
    RECT client{};
    ::GetClientRect(rows, &client);
    RightClick(rows, 20, client.bottom - 6);
    ::Sleep(800);
    EXPECT_EQ(OpenMenu(program_.id()), nullptr);

    // On a row the menu opens; "Test All Proxies" keeps the two proxies that answer, in the file too.
    ASSERT_TRUE(PickFromMenu(rows, 0, IDM_TESTED_TEST_ALL, "anonymity-tested-list-menu"));
    ASSERT_TRUE(WaitUntil([&] { return Count(rows, LVM_GETITEMCOUNT) == 2; }, 20s));
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(::GetDlgItem(tested, IDC_TESTED_LIST_CANCEL)); }));
    const std::string file = File();
    EXPECT_EQ(file, Address("first") + "->A\r\n" + Address("second") + "->C\r\n");
    EXPECT_EQ(Text(::GetDlgItem(main, IDC_MAIN_ADDRESS_IN_USE)), "Test failed - proxy removed");
    testing::SaveScreenshot(main, "anonymity-tested-list");
    // "Test Proxy" on the first row: tested again, it moves to the end of the list and the file.
    ASSERT_TRUE(PickFromMenu(rows, 0, IDM_TESTED_TEST));
    EXPECT_EQ(TestInDialog(), 5);
    EXPECT_TRUE(WaitUntil([&] {
        return File() == Address("second") + "->C\r\n" + Address("first") + "->A\r\n";
    })) << File();
    EXPECT_EQ(GetString(settings::kProxyName), Address("first"));

    // Add proxy: a text that is no address:port is refused without a test.
    HWND add = Open(4, IDD_ADD_PROXY);
    ::SendMessageA(::GetDlgItem(add, IDC_ADD_PROXY_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("abc"));
    testing::SaveScreenshot(main, "anonymity-add-proxy");
    Click(::GetDlgItem(add, IDC_ADD_PROXY_APPLY));
    EXPECT_EQ(Acknowledge(),
              "Please write the proxy as ProxyIPAddress:ProxyPortNumber, ie: 12.12.12.12:80, or a "
              "SOCKS proxy as socks5://12.12.12.12:1080 or socks4://12.12.12.12:1080");
    EXPECT_EQ(program_.WaitForDialogWith(IDC_PROXY_TEST_TASKS, 1s), nullptr);
    EXPECT_EQ(Count(rows, LVM_GETITEMCOUNT), 2);
    // A SOCKS proxy typed with its scheme goes to the test, which names its protocol; so does an HTTP
    // one written with "http://".
    for (const auto& [typed, details] : std::vector<std::pair<std::string, std::string>>{
             {"socks5://" + Address("socks"), Address("socks") + " (SOCKS5)"},
             {"http://" + Address("first"), Address("first") + " (HTTP)"}}) {
        ::SendMessageA(::GetDlgItem(add, IDC_ADD_PROXY_EDIT), WM_SETTEXT, 0,
                       reinterpret_cast<LPARAM>(typed.c_str()));
        Click(::GetDlgItem(add, IDC_ADD_PROXY_APPLY));
        HWND test = program_.WaitForDialogWith(IDC_PROXY_TEST_TASKS);
        ASSERT_NE(test, nullptr) << typed;
        EXPECT_EQ(Text(::GetDlgItem(test, IDC_PROXY_TEST_DETAILS)), "Proxy details: " + details);
        Click(::GetDlgItem(test, IDC_PROXY_TEST_CANCEL));
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(test); }));
    }
    EXPECT_EQ(Count(rows, LVM_GETITEMCOUNT), 2);

    // The wizard: locations and proxies from one download, whatever is clicked.
    HWND wizard = Open(0, IDD_WIZARD);
    HWND locations = ::GetDlgItem(wizard, IDC_WIZARD_LOCATIONS);
    HWND proxies = ::GetDlgItem(wizard, IDC_WIZARD_COUNTRY_LIST);
    Click(::GetDlgItem(wizard, IDC_WIZARD_BROWSE));
    ASSERT_TRUE(WaitUntil([&] { return Count(locations, CB_GETCOUNT) == 2; }, 20s));
    EXPECT_EQ(BoxTexts(locations), (std::vector<std::string>{"Brazil", "Canada"}));
    EXPECT_EQ(BoxTexts(proxies), (std::vector<std::string>{Address("dead") + "->Brazil"}));
    ::SendMessageA(locations, CB_SETCURSEL, 1, 0);
    ::PostMessageA(wizard, WM_COMMAND, MAKEWPARAM(IDC_WIZARD_LOCATIONS, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(locations));
    ASSERT_TRUE(WaitUntil([&] { return Count(proxies, CB_GETCOUNT) == 2; }));
    EXPECT_EQ(BoxTexts(proxies), (std::vector<std::string>{Address("first") + "->Canada",
                                                           Address("second") + "->Canada <supports POST>"}));
    testing::SaveScreenshot(main, "anonymity-wizard");
    // Post alone: Canada, and only its proxy that accepts posting.
    Click(::GetDlgItem(wizard, IDC_WIZARD_POST));
    Click(::GetDlgItem(wizard, IDC_WIZARD_BROWSE));
    ASSERT_TRUE(WaitUntil([&] {
        return ::SendMessageA(::GetDlgItem(wizard, IDC_WIZARD_BROWSE), BM_GETCHECK, 0, 0) == BST_UNCHECKED &&
               Count(proxies, CB_GETCOUNT) == 1;
    }));
    EXPECT_EQ(BoxTexts(locations), (std::vector<std::string>{"Canada"}));
    const std::string post_line = Address("second") + "->Canada <supports POST>";
    EXPECT_EQ(BoxTexts(proxies), (std::vector<std::string>{post_line}));
    EXPECT_EQ(ListRequests(), 2);
    // Apply tests the chosen proxy and adopts it.
    Click(::GetDlgItem(wizard, IDC_WIZARD_APPLY));
    EXPECT_EQ(TestInDialog(), 5);
    EXPECT_TRUE(WaitUntil([&] { return GetString(settings::kProxyName) == post_line; }));

    // The New list holds the downloaded lines.
    HWND new_list = Open(2, IDD_NEW_LIST);
    EXPECT_EQ(Count(::GetDlgItem(new_list, IDC_NEW_LIST_VIEW), LVM_GETITEMCOUNT), 3);
    testing::SaveScreenshot(main, "anonymity-new-list");

    // List update: Enter presses its start button; the refresh with its progress, then what happened.
    HWND update = Open(5, IDD_LIST_UPDATE);
    ::PostMessageA(::GetDlgItem(update, IDOK), WM_KEYDOWN, VK_RETURN, 0);
    ::PostMessageA(::GetDlgItem(update, IDOK), WM_KEYUP, VK_RETURN, 0);
    HWND bar = ::GetDlgItem(update, IDC_LIST_UPDATE_PROGRESS);
    EXPECT_TRUE(WaitUntil([&] { return ::SendMessageA(bar, PBM_GETPOS, 0, 0) >= 60; }, 20s));
    testing::SaveScreenshot(main, "anonymity-list-update");
    // What came from where: the service's three proxies, from the one list read (the public lists are
    // off in tests).
    EXPECT_EQ(Acknowledge(), "3 proxies from 1 list.");
    EXPECT_EQ(ListRequests(), 3);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(update, IDOK)) != FALSE; }));

    // "Include the public lists" follows PublicLists and shows the public lists beside the user's own.
    HWND include = ::GetDlgItem(update, IDC_LIST_UPDATE_PUBLIC);
    HWND sources = ::GetDlgItem(update, IDC_LIST_UPDATE_SOURCES);
    EXPECT_EQ(::SendMessageA(include, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(Count(sources, LVM_GETITEMCOUNT), 0);
    Click(include);
    EXPECT_TRUE(WaitUntil([&] { return testing::GetDword(settings::kPublicLists) == 1; }));
    EXPECT_EQ(Count(sources, LVM_GETITEMCOUNT), static_cast<int>(std::size(catalogue::kPublicLists)));
    testing::SaveScreenshot(main, "anonymity-list-update-public-lists");
    Click(include);
    EXPECT_TRUE(WaitUntil([&] { return testing::GetDword(settings::kPublicLists) == 0; }));
    EXPECT_EQ(Count(sources, LVM_GETITEMCOUNT), 0);

    // "Remove All Proxies" empties the list and the file only once the user says yes.
    Open(3, IDD_TESTED_LIST);
    const int before = Count(rows, LVM_GETITEMCOUNT);
    ASSERT_GT(before, 0);
    ASSERT_TRUE(PickFromMenu(rows, 0, IDM_TESTED_REMOVE_ALL));
    ASSERT_TRUE(Answer(false));
    EXPECT_EQ(Count(rows, LVM_GETITEMCOUNT), before);
    EXPECT_FALSE(File().empty());
    ASSERT_TRUE(PickFromMenu(rows, 0, IDM_TESTED_REMOVE_ALL));
    ASSERT_TRUE(Answer(true));
    EXPECT_TRUE(WaitUntil([&] { return Count(rows, LVM_GETITEMCOUNT) == 0; }));
    EXPECT_EQ(File(), "");
}

}  // namespace
}  // namespace vestrel::app
