// VestrelSetup.exe and the uninstaller it installs, run under /S as an administrator's script would and
// page by page as a person would, into a temporary folder: what they leave on the machine, how they
// treat a running Vestrel, and what they keep of the user's data.
#include <windows.h>

#include <aclapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"
#include "tests/app/Screenshot.h"
#include "tests/stop/ProcessDriver.h"
#include "tests/support/SystemProxy.h"

namespace vestrel::installer {
namespace {

using namespace std::chrono_literals;
using vestrel::testing::FileExists;
using vestrel::testing::Process;
using vestrel::testing::WaitUntil;

constexpr char kSettingsKey[] = "Software\\Vestrel";
constexpr char kCleanerKey[] = "Software\\Vestrel\\Setari";
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vestrel";
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr UINT kHelpContents = 32778;
constexpr int kStatusPage = 150;
constexpr int kAnonymitySwitch = 1011;

std::optional<std::string> ReadString(HKEY root, const char* key, const char* value) {
    char data[1024] = {};
    DWORD size = sizeof(data);
    if (::RegGetValueA(root, key, value, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(data);
}

std::optional<DWORD> ReadDword(HKEY root, const char* key, const char* value) {
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (::RegGetValueA(root, key, value, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return data;
}

bool KeyExists(HKEY root, const char* key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    ::RegCloseKey(opened);
    return true;
}

// The access that the key's DACL allows the Users group, from its allow entries.
ACCESS_MASK UsersAccess(const std::string& key) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::string name = "MACHINE\\" + key;
    if (::GetNamedSecurityInfoA(name.c_str(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return 0;
    }
    BYTE users[SECURITY_MAX_SID_SIZE] = {};
    DWORD users_size = sizeof(users);
    ::CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &users_size);
    ACCESS_MASK allowed = 0;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) continue;
        auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        auto* allow = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (::EqualSid(&allow->SidStart, users)) allowed |= allow->Mask;
    }
    ::LocalFree(descriptor);
    return allowed;
}

std::string CommonProgramsFolder() {
    char folder[MAX_PATH] = {};
    ::SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, folder);
    return std::string(folder) + "\\Vestrel\\";
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A child of `dialog`, at any depth, whose text is `text`.
HWND FindChildWithText(HWND dialog, const std::string& text) {
    struct Search {
        std::string text;
        HWND found = nullptr;
    } state{text};
    ::EnumChildWindows(
        dialog,
        [](HWND child, LPARAM context) -> BOOL {
            auto* wanted = reinterpret_cast<Search*>(context);
            char buffer[256] = {};
            ::GetWindowTextA(child, buffer, sizeof(buffer));
            if (wanted->text == buffer) {
                wanted->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&state));
    return state.found;
}

// A program and every process it starts, followed through a job object: the uninstaller runs on
// from a copy of itself in the temporary folder, which the first process starts and leaves.
class ProcessTree {
  public:
    ProcessTree() : job_(::CreateJobObjectA(nullptr, nullptr)) {}
    ~ProcessTree() {
        if (!Ended()) ::TerminateJobObject(job_, 1);
        ::CloseHandle(job_);
    }
    ProcessTree(const ProcessTree&) = delete;
    ProcessTree& operator=(const ProcessTree&) = delete;

    bool Start(const std::string& command_line) {
        std::string command = command_line;
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                              nullptr, &startup, &info)) {
            return false;
        }
        const bool assigned = ::AssignProcessToJobObject(job_, info.hProcess);
        ::ResumeThread(info.hThread);
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
        return assigned;
    }

    bool Ended() const {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
        if (!::QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &accounting,
                                         sizeof(accounting), nullptr)) {
            return false;
        }
        return accounting.ActiveProcesses == 0;
    }
    bool WaitForEnd(std::chrono::milliseconds timeout = 120s) const {
        return WaitUntil([&] { return Ended(); }, timeout);
    }

    // A visible dialog of any process in the tree whose title starts with `title` (the pages add
    // their own part), holding a child with text `child`.
    HWND WaitForDialog(const std::string& title, const std::string& child,
                       std::chrono::milliseconds timeout = 60s) const {
        HWND found = nullptr;
        WaitUntil(
            [&] {
                for (DWORD id : Processes()) {
                    for (HWND window : vestrel::testing::TopLevelWindows(id, [&](HWND w) {
                             char class_name[16] = {};
                             ::GetClassNameA(w, class_name, sizeof(class_name));
                             char text[128] = {};
                             ::GetWindowTextA(w, text, sizeof(text));
                             return ::IsWindowVisible(w) && std::string(class_name) == "#32770" &&
                                    std::string(text).rfind(title, 0) == 0 &&
                                    FindChildWithText(w, child) != nullptr;
                         })) {
                        found = window;
                    }
                }
                return found != nullptr;
            },
            timeout);
        return found;
    }

  private:
    std::vector<DWORD> Processes() const {
        std::vector<BYTE> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + 64 * sizeof(ULONG_PTR));
        auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
        std::vector<DWORD> ids;
        if (::QueryInformationJobObject(job_, JobObjectBasicProcessIdList, list, buffer.size(), nullptr)) {
            for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
                ids.push_back(static_cast<DWORD>(list->ProcessIdList[i]));
            }
        }
        return ids;
    }

    HANDLE job_;
};

// What a click on one of a dialog's buttons sends the dialog.
void Press(HWND dialog, int button) {
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, button)));
}

class InstallerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const unsigned port = vestrel::testing::FreePort();
        ASSERT_NE(port, 0u);
        settings::RegDwordSetting(settings::kLocalPort, true).set(port);
        settings::RegDwordSetting(settings::kUseProxy, true).set(0);
        relay_ = "127.0.0.1:" + std::to_string(port);
        parent_ = vestrel::testing::MakeTemporaryFolder("vestrel-setup-");
        ASSERT_FALSE(parent_.empty());
        folder_ = parent_ + "\\Vestrel";
    }

    void TearDown() override {
        vestrel_.End();
        if (FileExists(folder_ + "\\Uninstall.exe")) Uninstall();
        ::DeleteFileA((folder_ + "\\MyProxies.txt").c_str());
        ::RemoveDirectoryA(folder_.c_str());
        ::RemoveDirectoryA(parent_.c_str());
    }

    std::string Setup() const { return "\"" + vestrel::testing::BinFolder() + "VestrelSetup.exe\""; }

    // A silent installation into the test's folder; true when it ran to its end without an error.
    bool Install() const {
        Process setup;
        // /D= comes last and unquoted, as the installer expects it.
        if (!setup.Start(Setup() + " /S /D=" + folder_)) return false;
        return setup.WaitForExit(120s) && setup.ExitCode() == 0;
    }

    bool Uninstall() const {
        ProcessTree uninstall;
        return uninstall.Start("\"" + folder_ + "\\Uninstall.exe\" /S") && uninstall.WaitForEnd();
    }

    HWND StartInstalledVestrel() {
        // Started from another folder: what it finds beside itself, it finds through AppPath.
        if (!vestrel_.Start("\"" + folder_ + "\\Vestrel.exe\"", parent_)) return nullptr;
        return vestrel_.WaitForMainWindow();
    }

    void ExpectUninstalled() const {
        for (const char* file : {"Vestrel.exe", "VestrelStop.exe", "Vestrel.chm", "Uninstall.exe"}) {
            EXPECT_FALSE(FileExists(folder_ + "\\" + file)) << file;
        }
        for (const char* link : {"Vestrel.lnk", "Vestrel Help.lnk", "Uninstall Vestrel.lnk"}) {
            EXPECT_FALSE(FileExists(CommonProgramsFolder() + link)) << link;
        }
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, "AppPath"));
        EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, "AppFullPath"));
        EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kRunKey, "Vestrel"));
        EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kRunKey, "Vestrel"));
    }

    void WriteStartupEntries() const {
        const std::string program = folder_ + "\\Vestrel.exe";
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            ::RegSetKeyValueA(root, kRunKey, "Vestrel", REG_SZ, program.c_str(),
                              static_cast<DWORD>(program.size() + 1));
        }
    }

    std::string relay_;
    std::string parent_;
    std::string folder_;
    Process vestrel_;
};

TEST_F(InstallerTest, SilentInstallLeavesProgramsKeysAccessShortcutsAndUninstallEntry) {
    ASSERT_TRUE(Install());
    for (const char* file : {"Vestrel.exe", "VestrelStop.exe", "Vestrel.chm", "Uninstall.exe"}) {
        EXPECT_TRUE(FileExists(folder_ + "\\" + file)) << file;
    }
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, "AppPath"), folder_);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, "AppFullPath"), folder_ + "\\Vestrel.exe");
    // A user who is not an administrator saves settings in both keys.
    for (const char* key : {kSettingsKey, kCleanerKey}) {
        EXPECT_EQ(UsersAccess(key) & (KEY_READ | KEY_WRITE), static_cast<ACCESS_MASK>(KEY_READ | KEY_WRITE))
            << key;
    }
    for (const char* link : {"Vestrel.lnk", "Vestrel Help.lnk", "Uninstall Vestrel.lnk"}) {
        EXPECT_TRUE(FileExists(CommonProgramsFolder() + link)) << link;
    }
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Vestrel");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"), "3.3.37");
    EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher"));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon"), folder_ + "\\Vestrel.exe,0");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"),
              "\"" + folder_ + "\\Uninstall.exe\"");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString"),
              "\"" + folder_ + "\\Uninstall.exe\" /S");
    // In kilobytes: the three files make several megabytes.
    EXPECT_GT(ReadDword(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize").value_or(0), 1000u);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kUninstallKey, "NoModify"), 1u);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kUninstallKey, "NoRepair"), 1u);

    // The installed Vestrel opens its help from the program folder.
    HWND main = StartInstalledVestrel();
    ASSERT_NE(main, nullptr);
    ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(kHelpContents, 0), 0);
    EXPECT_TRUE(WaitUntil([&] {
        return !vestrel::testing::TopLevelWindows(vestrel_.id(), [](HWND w) {
                    char class_name[32] = {};
                    ::GetClassNameA(w, class_name, sizeof(class_name));
                    return std::string(class_name) == "HH Parent";
                }).empty();
    }));
}

TEST_F(InstallerTest, InstallingOverARunningVestrelStopsItReplacesTheProgramsAndKeepsTheUsersData) {
    ASSERT_TRUE(Install());
    const std::string proxies = "10.1.2.3:8080->Testland\r\n10.4.5.6:3128->Testland\r\n";
    std::ofstream(folder_ + "\\MyProxies.txt", std::ios::binary) << proxies;
    settings::RegDwordSetting(settings::kSleep, true).set(17);
    settings::RegStringSetting(settings::kProxyName, true).set("10.1.2.3:8080");
    // A damaged program file that the new installation must replace.
    std::ofstream(folder_ + "\\Vestrel.chm", std::ios::binary | std::ios::trunc) << "damaged";
    ASSERT_NE(StartInstalledVestrel(), nullptr);

    ASSERT_TRUE(Install());
    EXPECT_TRUE(vestrel_.HasEnded());
    EXPECT_EQ(ReadFile(folder_ + "\\Vestrel.chm"), ReadFile(vestrel::testing::BinFolder() + "Vestrel.chm"));
    EXPECT_EQ(ReadFile(folder_ + "\\MyProxies.txt"), proxies);
    EXPECT_EQ(settings::RegDwordSetting(settings::kSleep, true).get(), 17u);
    EXPECT_EQ(settings::RegStringSetting(settings::kProxyName, true).get(), "10.1.2.3:8080");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, "AppPath"), folder_);
    EXPECT_NE(StartInstalledVestrel(), nullptr);
}

TEST_F(InstallerTest, SilentUninstallWithAnonymityOnEndsVestrelSetsTheBrowsersBackAndKeepsTheProxies) {
    const char* upstream = std::getenv("VESTREL_TEST_UPSTREAM");
    ASSERT_NE(upstream, nullptr) << "run through tests/installer/with-upstream.sh";
    ASSERT_TRUE(Install());
    std::ofstream(folder_ + "\\MyProxies.txt", std::ios::binary) << std::string(upstream) << "->Loopback\r\n";
    settings::RegStringSetting(settings::kProxyName, true).set(upstream);
    WriteStartupEntries();

    HWND main = StartInstalledVestrel();
    ASSERT_NE(main, nullptr);
    HWND status_page = ::GetDlgItem(main, kStatusPage);
    ASSERT_NE(status_page, nullptr);
    ::PostMessageA(::GetDlgItem(status_page, kAnonymitySwitch), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([] { return settings::RegDwordSetting(settings::kUseProxy, true).get() == 1; }, 15s));
    ASSERT_TRUE(WaitUntil([&] {
        return vestrel::testing::ReadSystemProxy().server.find(relay_) != std::string::npos;
    })) << vestrel::testing::ReadSystemProxy().server;

    ASSERT_TRUE(Uninstall());
    EXPECT_TRUE(vestrel_.HasEnded());
    const auto proxy = vestrel::testing::ReadSystemProxy();
    EXPECT_TRUE(vestrel::testing::IsDirect(proxy)) << proxy.flags << " " << proxy.server;
    EXPECT_EQ(settings::RegDwordSetting(settings::kUseProxy, true).get(), 0u);
    ExpectUninstalled();
    EXPECT_EQ(ReadFile(folder_ + "\\MyProxies.txt"), std::string(upstream) + "->Loopback\r\n");
}

TEST_F(InstallerTest, SilentUninstallEndsARunningVestrelAndRemovesAllButTheUsersData) {
    ASSERT_TRUE(Install());
    std::ofstream(folder_ + "\\MyProxies.txt", std::ios::binary) << "10.1.2.3:8080->Testland\r\n";
    settings::RegDwordSetting(settings::kSleep, true).set(23);
    WriteStartupEntries();
    ASSERT_NE(StartInstalledVestrel(), nullptr);

    ASSERT_TRUE(Uninstall());
    EXPECT_TRUE(vestrel_.HasEnded());
    ExpectUninstalled();
    EXPECT_EQ(ReadFile(folder_ + "\\MyProxies.txt"), "10.1.2.3:8080->Testland\r\n");
    EXPECT_EQ(settings::RegDwordSetting(settings::kSleep, true).get(), 23u);
}

TEST_F(InstallerTest, PageByPageInstallAndUninstallAsAPersonSeesThem) {
    ProcessTree setup;
    ASSERT_TRUE(setup.Start(Setup() + " /D=" + folder_));
    HWND window = setup.WaitForDialog("Vestrel Setup", "&Next >");
    ASSERT_NE(window, nullptr);
    app::testing::SaveScreenshot(window, "setup-welcome");
    Press(window, IDOK);
    ASSERT_NE(setup.WaitForDialog("Vestrel Setup", "&Install"), nullptr);
    app::testing::SaveScreenshot(window, "setup-directory");
    Press(window, IDOK);
    ASSERT_NE(setup.WaitForDialog("Vestrel Setup", "&Finish"), nullptr);
    app::testing::SaveScreenshot(window, "setup-finish");
    // Not "Start Vestrel": this test starts its Vestrel itself.
    HWND run = FindChildWithText(window, "Start Vestrel");
    ASSERT_NE(run, nullptr);
    if (::SendMessageA(run, BM_GETCHECK, 0, 0) == BST_CHECKED) {
        ::PostMessageA(run, BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return ::SendMessageA(run, BM_GETCHECK, 0, 0) != BST_CHECKED; }));
    }
    Press(window, IDOK);
    ASSERT_TRUE(setup.WaitForEnd());
    ASSERT_TRUE(FileExists(folder_ + "\\Vestrel.exe"));
    std::ofstream(folder_ + "\\MyProxies.txt", std::ios::binary) << "10.1.2.3:8080->Testland\r\n";

    ProcessTree uninstall;
    ASSERT_TRUE(uninstall.Start("\"" + folder_ + "\\Uninstall.exe\""));
    window = uninstall.WaitForDialog("Vestrel Uninstall", "&Uninstall");
    ASSERT_NE(window, nullptr);
    app::testing::SaveScreenshot(window, "uninstall-confirm");
    Press(window, IDOK);
    // The stop utility's poll waits for the person's answer.
    HWND poll = uninstall.WaitForDialog("Vestrel Online Poll", "NO");
    ASSERT_NE(poll, nullptr);
    Press(poll, IDCANCEL);
    HWND question = uninstall.WaitForDialog("Vestrel Uninstall", "&Yes");
    ASSERT_NE(question, nullptr);
    app::testing::SaveScreenshot(question, "uninstall-keep-question");
    Press(question, IDYES);
    ASSERT_NE(uninstall.WaitForDialog("Vestrel Uninstall", "&Finish"), nullptr);
    app::testing::SaveScreenshot(window, "uninstall-finish");
    Press(window, IDOK);
    ASSERT_TRUE(uninstall.WaitForEnd());
    ExpectUninstalled();
    EXPECT_TRUE(FileExists(folder_ + "\\MyProxies.txt"));
}

}  // namespace
}  // namespace vestrel::installer
