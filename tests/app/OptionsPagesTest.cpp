// The options and privacy pages in the real program, driven from outside as a person would: the
// browser page against installed-browser keys, a Firefox profile and anonymity on (through the
// fixture's upstream proxy), the start-up page's port checks and its run-at-logon entry without write
// access to the machine's Run key, and the cleaning panel's interval. The program is ended by its
// handle whatever happens; every key and file the test makes is removed again.
#include <windows.h>

#include <aclapi.h>
#include <shlobj.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/net/Socket.h"
#include "platform/registry/Registry.h"
#include "resources/ids/DialogIds.h"
#include "resources/ids/MainWindowIds.h"
#include "resources/ids/OptionsIds.h"
#include "resources/ids/PrivacyIds.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"
#include "tests/app/FixturePeers.h"
#include "tests/app/ProgramDriver.h"
#include "tests/app/ProgramSettings.h"
#include "tests/app/Screenshot.h"
#include "tests/support/SystemProxy.h"

namespace vestrel::app {
namespace {

using namespace std::chrono_literals;
using testing::Click;
using testing::FreePort;
using testing::GetDword;
using testing::Program;
using testing::ReadFile;
using testing::SetDword;
using testing::SetString;
using testing::Text;
using testing::WaitUntil;
namespace fs = std::filesystem;
namespace net = platform::net;
namespace registry = platform::registry;

constexpr const char* kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kFirefoxKey = "Mozilla Firefox (1.0)";
constexpr const char* kNetscape6Key = "Netscape 6 (6.2.3)";

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string RunEntry(registry::Hive hive) {
    return settings::RegStringSetting(settings::kRunEntry.full_path, "", true, hive).get();
}
void DeleteRunEntry(registry::Hive hive) {
    registry::Key key;
    if (registry::OpenKey(hive, kRunKey, registry::kKeyReadWrite, key) == registry::kSuccess)
        key.DeleteValue("Vestrel");
}

void AddUninstallKey(const std::string& name) {
    registry::Key key;
    ASSERT_EQ(registry::CreateKey(registry::Hive::LocalMachine, kUninstall + name, registry::kKeyReadWrite,
                                  key, nullptr),
              registry::kSuccess);
}
void RemoveUninstallKey(const std::string& name) {
    registry::DeleteKeyTree(registry::Hive::LocalMachine, kUninstall + name);
}

// The local network's proxy options as WinInet reports them: flags, then the server.
std::pair<DWORD, std::string> SystemProxy() {
    const vestrel::testing::SystemProxy proxy = vestrel::testing::ReadSystemProxy();
    return {proxy.flags, proxy.server};
}

// The first proxy of the fixture's peers file, as "127.0.0.1:<port>".
std::string FirstProxy() {
    const std::map<std::string, int> peers = testing::PeersFrom("VESTREL_ANONYMITY_PEERS");
    const auto first = peers.find("first");
    return first == peers.end() ? std::string() : "127.0.0.1:" + std::to_string(first->second);
}

// Denies setting values and making subkeys in the machine's Run key to everyone, for as long as it
// lives, as the key is for a user who is not an administrator; the key's own rules come back after.
class RunKeyWriteDenied {
  public:
    RunKeyWriteDenied() {
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS)
            return;
        PACL old_dacl = nullptr;
        if (::GetSecurityInfo(key_, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &old_dacl,
                              nullptr, &saved_) != ERROR_SUCCESS) {
            return;
        }
        EXPLICIT_ACCESSA deny{};
        deny.grfAccessPermissions = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
        deny.grfAccessMode = DENY_ACCESS;
        deny.grfInheritance = NO_INHERITANCE;
        deny.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
        deny.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        deny.Trustee.ptstrName = const_cast<char*>("EVERYONE");
        PACL new_dacl = nullptr;
        if (::SetEntriesInAclA(1, &deny, old_dacl, &new_dacl) != ERROR_SUCCESS) return;
        applied_ = ::SetSecurityInfo(key_, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                     new_dacl, nullptr) == ERROR_SUCCESS;
        ::LocalFree(new_dacl);
        old_dacl_ = old_dacl;
    }
    ~RunKeyWriteDenied() {
        if (applied_) {
            ::SetSecurityInfo(key_, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, old_dacl_,
                              nullptr);
        }
        if (saved_ != nullptr) ::LocalFree(saved_);
        if (key_ != nullptr) ::RegCloseKey(key_);
    }
    RunKeyWriteDenied(const RunKeyWriteDenied&) = delete;
    RunKeyWriteDenied& operator=(const RunKeyWriteDenied&) = delete;

    // True when the denial is in force: a write of the value is refused.
    bool InForce() const {
        HKEY probe = nullptr;
        const LONG opened = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &probe);
        if (opened == ERROR_SUCCESS) ::RegCloseKey(probe);
        return applied_ && opened == ERROR_ACCESS_DENIED;
    }

  private:
    HKEY key_ = nullptr;
    PSECURITY_DESCRIPTOR saved_ = nullptr;
    PACL old_dacl_ = nullptr;
    bool applied_ = false;
};

class OptionsPagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        local_port_ = FreePort();
        ASSERT_GT(local_port_, 0);
        // Nothing listens on port 1 of loopback: the status page's list download fails at once.
        SetString(settings::kListServer, "127.0.0.1:1");
        testing::StayOnLoopback(1);
        SetString(settings::kProxyName, "");
        SetString(settings::kAppFullPath, "");
        SetDword(settings::kLocalPort, static_cast<std::uint32_t>(local_port_));
        SetDword(settings::kUseProxy, 0);
        SetDword(settings::kHideHint, 0);
        SetDword(settings::kRunAtStartup, 0);
        for (const auto* flag :
             {&settings::kBrowserIE, &settings::kBrowserAvant, &settings::kBrowserOpera,
              &settings::kBrowserNetscape, &settings::kBrowserMozilla, &settings::kBrowserFireFox})
            SetDword(*flag, 0);
        DeleteRunEntry(registry::Hive::LocalMachine);
        DeleteRunEntry(registry::Hive::CurrentUser);

        char app_data[MAX_PATH] = {};
        ASSERT_TRUE(
            SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, app_data)));
        app_data_ = app_data;
        ASSERT_FALSE(fs::exists(app_data_ / "Mozilla")) << "the prefix already has Mozilla profiles";
        ASSERT_FALSE(fs::exists(app_data_ / "Netscape")) << "the prefix already has Netscape profiles";
        firefox_profile_ = app_data_ / "Mozilla" / "Firefox" / "Profiles" / "options.default";
        WriteFile(firefox_profile_ / "prefs.js", kPlainPrefs);
        AddUninstallKey(kFirefoxKey);
    }

    void TearDown() override {
        program_.End();
        std::error_code ignored;
        fs::remove_all(app_data_ / "Mozilla", ignored);
        fs::remove_all(app_data_ / "Netscape", ignored);
        RemoveUninstallKey(kFirefoxKey);
        RemoveUninstallKey(kNetscape6Key);
        DeleteRunEntry(registry::Hive::LocalMachine);
        DeleteRunEntry(registry::Hive::CurrentUser);
        for (const auto* flag : {&settings::kBrowserIE, &settings::kBrowserAvant, &settings::kBrowserNetscape,
                                 &settings::kBrowserMozilla, &settings::kBrowserFireFox})
            SetDword(*flag, 0);
        SetDword(settings::kLocalPort, 8080);
        SetDword(settings::kUseProxy, 0);
        SetDword(settings::kRunAtStartup, 0);
    }

    static constexpr const char* kPlainPrefs =
        "# Mozilla User Preferences\r\n\r\nuser_pref(\"network.proxy.type\", 0);\r\n";
    static constexpr const char* kBarePrefs = "# Mozilla User Preferences\r\n\r\n";

    HWND StartProgram() { return program_.Launch(); }
    HWND Page(int id) const { return ::GetDlgItem(program_.main(), id); }
    HWND Item(int page, int id) const { return ::GetDlgItem(Page(page), id); }
    bool Visible(int page) const { return Page(page) != nullptr && ::IsWindowVisible(Page(page)); }
    bool Checked(int page, int id) const {
        return ::SendMessageA(Item(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    bool Enabled(int page, int id) const { return ::IsWindowEnabled(Item(page, id)) != FALSE; }

    // Shows a sub-page through the main panel's button of its section and the section's button.
    bool Show(int section_button, int section_page, int section_panel, int button, int page) {
        HWND navigation = Page(IDD_NAVIGATION_PANEL);
        Click(::GetDlgItem(navigation, section_button));
        if (!WaitUntil([&] { return Visible(section_page); })) return false;
        Click(::GetDlgItem(::GetDlgItem(Page(section_page), section_panel), button));
        return WaitUntil([&] { return Visible(page); });
    }
    bool ShowOptions(int button, int page) {
        return Show(IDC_NAV_OPTIONS, IDD_OPTIONS_SECTION, IDD_OPTIONS_PANEL, button, page);
    }
    bool ShowPrivacy(int button, int page) {
        return Show(IDC_NAV_PRIVACY, IDD_PRIVACY_SECTION, IDD_PRIVACY_PANEL, button, page);
    }
    // Shows the start-up page and then the browser page again, so that the section refreshes it.
    bool ReshowBrowsers() {
        return ShowOptions(IDC_START_UP_BUTTON, IDD_START_UP) &&
               ShowOptions(IDC_BROWSERS_BUTTON, IDD_BROWSERS);
    }

    // The text of the message dialog that the program shows next, dismissed; empty when none came.
    std::string NextMessage(std::chrono::milliseconds timeout = 10s) { return program_.Acknowledge(timeout); }
    // Presses a button whose work ends without a message, and waits until the program has done it.
    void PressQuietly(int page, int id) {
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutA(Item(page, id), BM_CLICK, 0, 0, SMTO_BLOCK, 20000, &ignored);
    }
    void SetText(int page, int id, const std::string& text) {
        ::SendMessageA(Item(page, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }

    int local_port_ = 0;
    fs::path app_data_;
    fs::path firefox_profile_;
    Program program_;
};

TEST_F(OptionsPagesTest, BrowserPageAppliesWhatItShowsWithAnonymityOnAndOff) {
    const std::string proxy = FirstProxy();
    ASSERT_FALSE(proxy.empty()) << "the fixture's peers file has no first proxy";
    SetString(settings::kProxyName, proxy);
    ASSERT_NE(StartProgram(), nullptr);
    Click(Item(IDD_STATUS_PAGE, IDC_STATUS_ANONYMITY_SWITCH));
    ASSERT_TRUE(
        WaitUntil([&] { return Text(Item(IDD_STATUS_PAGE, IDC_STATUS_ANONYMITY_STATE)) == "Enabled"; }));
    const std::string relay = "127.0.0.1:" + std::to_string(local_port_);
    ASSERT_EQ(SystemProxy().second, relay);
    ASSERT_EQ(GetDword(settings::kBrowserIE), 1u);

    ASSERT_TRUE(ShowOptions(IDC_BROWSERS_BUTTON, IDD_BROWSERS));
    EXPECT_TRUE(Checked(IDD_BROWSERS, IDC_BROWSER_INTERNET_EXPLORER));
    EXPECT_TRUE(Enabled(IDD_BROWSERS, IDC_BROWSER_FIREFOX));
    EXPECT_FALSE(Enabled(IDD_BROWSERS, IDC_BROWSER_NETSCAPE));
    EXPECT_FALSE(Enabled(IDD_BROWSERS, IDC_BROWSER_AVANT));

    // Anonymity on: Firefox newly ticked is pointed at the relay; Internet Explorer cleared keeps the
    // system pointed at the relay, its flag, and its tick.
    Click(Item(IDD_BROWSERS, IDC_BROWSER_FIREFOX));
    Click(Item(IDD_BROWSERS, IDC_BROWSER_INTERNET_EXPLORER));
    ASSERT_TRUE(WaitUntil([&] { return !Checked(IDD_BROWSERS, IDC_BROWSER_INTERNET_EXPLORER); }));
    PressQuietly(IDD_BROWSERS, IDC_BROWSERS_APPLY);
    EXPECT_TRUE(WaitUntil([&] { return GetDword(settings::kBrowserFireFox) == 1; }));
    const std::string prefs = ReadFile(firefox_profile_ / "prefs.js");
    for (const std::string scheme : {"http", "ssl"}) {
        EXPECT_NE(prefs.find("user_pref(\"network.proxy." + scheme + "\", \"127.0.0.1\");"),
                  std::string::npos)
            << prefs;
        EXPECT_NE(prefs.find("user_pref(\"network.proxy." + scheme + "_port\", " +
                             std::to_string(local_port_) + ");"),
                  std::string::npos)
            << prefs;
    }
    EXPECT_EQ(GetDword(settings::kBrowserIE), 1u);
    EXPECT_NE(SystemProxy().first & PROXY_TYPE_PROXY, 0u);
    EXPECT_EQ(SystemProxy().second, relay);
    EXPECT_TRUE(WaitUntil([&] { return Checked(IDD_BROWSERS, IDC_BROWSER_INTERNET_EXPLORER); }));
    EXPECT_TRUE(Checked(IDD_BROWSERS, IDC_BROWSER_FIREFOX));
    testing::SaveScreenshot(program_.main(), "options-browsers");

    // Firefox uninstalled while flagged: shown clear and disabled, and the next apply drops the flag.
    RemoveUninstallKey(kFirefoxKey);
    ASSERT_TRUE(ReshowBrowsers());
    EXPECT_FALSE(Checked(IDD_BROWSERS, IDC_BROWSER_FIREFOX));
    EXPECT_FALSE(Enabled(IDD_BROWSERS, IDC_BROWSER_FIREFOX));
    PressQuietly(IDD_BROWSERS, IDC_BROWSERS_APPLY);
    EXPECT_TRUE(WaitUntil([&] { return GetDword(settings::kBrowserFireFox) == 0; }));

    // Anonymity off.
    Click(::GetDlgItem(Page(IDD_NAVIGATION_PANEL), IDC_NAV_STATUS));
    ASSERT_TRUE(WaitUntil([&] { return Visible(IDD_STATUS_PAGE); }));
    Click(Item(IDD_STATUS_PAGE, IDC_STATUS_ANONYMITY_SWITCH));
    ASSERT_TRUE(WaitUntil([&] { return GetDword(settings::kUseProxy) == 0; }));

    // Only Netscape 6 installed: Netscape ties Mozilla, and the flag is set without any file edited (a
    // wrong edit would leave its host statement behind, which setting the browsers back keeps).
    AddUninstallKey(kNetscape6Key);
    const fs::path netscape_prefs = app_data_ / "Netscape" / "NSAE" / "Profiles" / "n6" / "prefs.js";
    WriteFile(netscape_prefs, kBarePrefs);
    ASSERT_TRUE(ReshowBrowsers());
    ASSERT_TRUE(Enabled(IDD_BROWSERS, IDC_BROWSER_NETSCAPE));
    Click(Item(IDD_BROWSERS, IDC_BROWSER_NETSCAPE));
    EXPECT_TRUE(WaitUntil([&] { return Checked(IDD_BROWSERS, IDC_BROWSER_MOZILLA); }));
    EXPECT_TRUE(Checked(IDD_BROWSERS, IDC_BROWSER_NETSCAPE));
    PressQuietly(IDD_BROWSERS, IDC_BROWSERS_APPLY);
    EXPECT_TRUE(WaitUntil([&] { return GetDword(settings::kBrowserNetscape) == 1; }));
    EXPECT_EQ(GetDword(settings::kBrowserMozilla), 0u);
    EXPECT_EQ(ReadFile(netscape_prefs), kBarePrefs);

    // Firefox installed again and running on its profile: it is not edited and keeps its flag, and the
    // user is asked to close it.
    AddUninstallKey(kFirefoxKey);
    WriteFile(firefox_profile_ / "prefs.js", kPlainPrefs);
    const std::string lock = (firefox_profile_ / "parent.lock").string();
    HANDLE held = ::CreateFileA(lock.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(ReshowBrowsers());
    Click(Item(IDD_BROWSERS, IDC_BROWSER_FIREFOX));
    ASSERT_TRUE(WaitUntil([&] { return Checked(IDD_BROWSERS, IDC_BROWSER_FIREFOX); }));
    Click(Item(IDD_BROWSERS, IDC_BROWSERS_APPLY));
    EXPECT_EQ(NextMessage(), "Please close Firefox first");
    ::CloseHandle(held);
    EXPECT_EQ(GetDword(settings::kBrowserFireFox), 0u);
    EXPECT_EQ(ReadFile(firefox_profile_ / "prefs.js"), kPlainPrefs);
    EXPECT_FALSE(Checked(IDD_BROWSERS, IDC_BROWSER_FIREFOX));
}

TEST_F(OptionsPagesTest, StartUpPageChecksThePortAndRunsAtLogonWithoutMachineWriteAccess) {
    ASSERT_NE(StartProgram(), nullptr);
    ASSERT_TRUE(ShowOptions(IDC_START_UP_BUTTON, IDD_START_UP));
    EXPECT_EQ(Text(Item(IDD_START_UP, IDC_START_UP_PORT)), std::to_string(local_port_));
    EXPECT_FALSE(Checked(IDD_START_UP, IDC_START_UP_RUN));

    // The test: refused ports reset the edit; a free port is available, a held one in use.
    for (const char* refused : {"1024", "65000", "http"}) {
        SetText(IDD_START_UP, IDC_START_UP_PORT, refused);
        Click(Item(IDD_START_UP, IDC_START_UP_TEST_PORT));
        EXPECT_EQ(NextMessage(), "Please specify a port value within 1024 ... 65000 interval") << refused;
        EXPECT_EQ(Text(Item(IDD_START_UP, IDC_START_UP_PORT)), "8080") << refused;
    }
    SetText(IDD_START_UP, IDC_START_UP_PORT, "");
    Click(Item(IDD_START_UP, IDC_START_UP_TEST_PORT));
    EXPECT_EQ(NextMessage(), "Please specify a port number");
    SetText(IDD_START_UP, IDC_START_UP_PORT, std::to_string(FreePort()));
    Click(Item(IDD_START_UP, IDC_START_UP_TEST_PORT));
    EXPECT_EQ(NextMessage(), "Proxy Port is Available and can be used by Vestrel");
    {
        std::error_code error;
        net::Listener squatter = net::Listener::OnLoopback(0, 4, error);
        ASSERT_TRUE(squatter.Valid()) << error.message();
        SetText(IDD_START_UP, IDC_START_UP_PORT, std::to_string(squatter.Port()));
        Click(Item(IDD_START_UP, IDC_START_UP_TEST_PORT));
        EXPECT_EQ(NextMessage(), "Proxy Port is in use by another program");
    }

    // Apply stores only ports from 1025 to 64999.
    for (const char* refused : {"1024", "65000", ""}) {
        SetText(IDD_START_UP, IDC_START_UP_PORT, refused);
        Click(Item(IDD_START_UP, IDC_START_UP_APPLY));
        EXPECT_EQ(NextMessage(), "Please specify a port value within 1024 ... 65000 interval") << refused;
        EXPECT_EQ(GetDword(settings::kLocalPort), static_cast<std::uint32_t>(local_port_)) << refused;
    }
    for (std::uint32_t accepted : {1025u, 64999u}) {
        SetText(IDD_START_UP, IDC_START_UP_PORT, std::to_string(accepted));
        PressQuietly(IDD_START_UP, IDC_START_UP_APPLY);
        EXPECT_EQ(GetDword(settings::kLocalPort), accepted);
    }

    // Run at start-up for a user who may not write the machine's Run key: the user's key holds the
    // program's own path (AppFullPath is empty), and unticking empties it.
    RunKeyWriteDenied denied;
    ASSERT_TRUE(denied.InForce()) << "the machine's Run key could not be closed to writes";
    Click(Item(IDD_START_UP, IDC_START_UP_RUN));
    ASSERT_TRUE(WaitUntil([&] { return Checked(IDD_START_UP, IDC_START_UP_RUN); }));
    PressQuietly(IDD_START_UP, IDC_START_UP_APPLY);
    const std::string entry = RunEntry(registry::Hive::CurrentUser);
    EXPECT_NE(entry.find("Vestrel.exe"), std::string::npos) << entry;
    EXPECT_EQ(RunEntry(registry::Hive::LocalMachine), "");
    EXPECT_EQ(GetDword(settings::kRunAtStartup), 1u);
    EXPECT_TRUE(Checked(IDD_START_UP, IDC_START_UP_RUN));
    testing::SaveScreenshot(program_.main(), "options-start-up");
    Click(Item(IDD_START_UP, IDC_START_UP_RUN));
    ASSERT_TRUE(WaitUntil([&] { return !Checked(IDD_START_UP, IDC_START_UP_RUN); }));
    PressQuietly(IDD_START_UP, IDC_START_UP_APPLY);
    EXPECT_EQ(RunEntry(registry::Hive::CurrentUser), "");
    EXPECT_EQ(GetDword(settings::kRunAtStartup), 0u);
}

TEST_F(OptionsPagesTest, PrivacyPanelsStoreTheirSwitchesTasksAndInterval) {
    SetDword(settings::kEnableJS, 0);
    SetDword(settings::kEnableActiveX, 1);
    SetDword(settings::kClearHistory, 0);
    SetDword(settings::kClearCookies, 1);
    SetDword(settings::kSleep, 10);
    ASSERT_NE(StartProgram(), nullptr);

    ASSERT_TRUE(ShowPrivacy(IDC_INVASIVE_CODE_BUTTON, IDD_INVASIVE_CODE));
    EXPECT_FALSE(Checked(IDD_INVASIVE_CODE, IDC_BLOCK_JAVASCRIPT));
    EXPECT_TRUE(Checked(IDD_INVASIVE_CODE, IDC_BLOCK_ACTIVEX));
    Click(Item(IDD_INVASIVE_CODE, IDC_BLOCK_JAVASCRIPT));
    ASSERT_TRUE(WaitUntil([&] { return Checked(IDD_INVASIVE_CODE, IDC_BLOCK_JAVASCRIPT); }));
    PressQuietly(IDD_INVASIVE_CODE, IDC_INVASIVE_CODE_SAVE);
    EXPECT_EQ(GetDword(settings::kEnableJS), 1u);
    EXPECT_EQ(GetDword(settings::kEnableActiveX), 1u);
    testing::SaveScreenshot(program_.main(), "privacy-blocking");

    ASSERT_TRUE(ShowPrivacy(IDC_CLEANING_BUTTON, IDD_CLEANING));
    EXPECT_TRUE(Checked(IDD_CLEANING, IDC_CLEAN_COOKIES));
    EXPECT_EQ(Text(Item(IDD_CLEANING, IDC_CLEANING_MINUTES)), "10");
    // A refused interval: said, 5 put into the edit, the interval kept, the ticked box stored all the same.
    Click(Item(IDD_CLEANING, IDC_CLEAN_HISTORY));
    ASSERT_TRUE(WaitUntil([&] { return Checked(IDD_CLEANING, IDC_CLEAN_HISTORY); }));
    for (const char* refused : {"32000", "1"}) {
        SetText(IDD_CLEANING, IDC_CLEANING_MINUTES, refused);
        Click(Item(IDD_CLEANING, IDC_CLEANING_SAVE));
        EXPECT_EQ(NextMessage(), "Please specify a value within 1 ... 32000 interval ") << refused;
        EXPECT_EQ(Text(Item(IDD_CLEANING, IDC_CLEANING_MINUTES)), "5") << refused;
        EXPECT_EQ(GetDword(settings::kSleep), 10u) << refused;
    }
    EXPECT_EQ(GetDword(settings::kClearHistory), 1u);
    SetText(IDD_CLEANING, IDC_CLEANING_MINUTES, "31999");
    PressQuietly(IDD_CLEANING, IDC_CLEANING_SAVE);
    EXPECT_EQ(GetDword(settings::kSleep), 31999u);
    testing::SaveScreenshot(program_.main(), "privacy-cleaning");
    // An empty edit keeps the interval as it was.
    SetText(IDD_CLEANING, IDC_CLEANING_MINUTES, "");
    Click(Item(IDD_CLEANING, IDC_CLEANING_SAVE));
    EXPECT_EQ(NextMessage(), "Please enter an integer.");
    EXPECT_EQ(GetDword(settings::kSleep), 31999u);
    SetDword(settings::kClearHistory, 0);
    SetDword(settings::kClearCookies, 0);
    SetDword(settings::kEnableJS, 0);
    SetDword(settings::kEnableActiveX, 0);
    SetDword(settings::kSleep, 0);
}

}  // namespace
}  // namespace vestrel::app
