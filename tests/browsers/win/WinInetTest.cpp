// The system step against the real WinInet: what each dial-up switch combination leaves stored, read
// back with InternetQueryOptionA and from the registry; and SetConnectionOptions pointing a real
// Firefox profile in the user's application-data folder at the relay.
#include <windows.h>

#include <shlobj.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "browsers/ConnectionOptions.h"
#include "browsers/GeckoPrefs.h"
#include "browsers/ProfileFolders.h"
#include "browsers/SystemProxy.h"
#include "tests/browsers/BrowserTestSupport.h"

namespace vestrel::browsers {
namespace {

using platform::registry::Hive;

const std::string kDialUp = "Vestrel Test Dial-up";
const std::string kSettingsKey(testing::kInternetSettings);
const std::string kRelay = "127.0.0.1:9191";

struct Stored {
    DWORD flags = 0;
    std::string server;
    std::optional<std::string> bypass;  // none when the system keeps no bypass list
};

// The global options of one connection (none: the local network), as the system reports them.
Stored Query(const std::optional<std::string>& connection) {
    INTERNET_PER_CONN_OPTIONA options[3] = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    INTERNET_PER_CONN_OPTION_LISTA list{};
    list.dwSize = sizeof(list);
    list.pszConnection = connection ? const_cast<char*>(connection->c_str()) : nullptr;
    list.dwOptionCount = 3;
    list.pOptions = options;
    DWORD size = sizeof(list);
    Stored stored;
    EXPECT_TRUE(::InternetQueryOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size));
    stored.flags = options[0].Value.dwValue;
    if (options[1].Value.pszValue != nullptr) {
        stored.server = options[1].Value.pszValue;
        ::GlobalFree(options[1].Value.pszValue);
    }
    if (options[2].Value.pszValue != nullptr) {
        stored.bypass = options[2].Value.pszValue;
        ::GlobalFree(options[2].Value.pszValue);
    }
    return stored;
}

// Puts a recognisable direct setting on a connection, so that a test can tell whether it was touched.
void Mark(const std::optional<std::string>& connection, const std::string& server) {
    PerConnectionOptions options;
    options.connection = connection;
    options.flags = kProxyTypeDirect;
    options.proxy_server = server;
    ASSERT_TRUE(SystemConnectionSettings().Apply(options));
}

// Whether this system keeps a dial-up connection's options apart from the local network's. Wine keeps
// one set for all connections and ignores the connection name.
bool KeepsConnectionsApart() {
    Mark(std::nullopt, "192.0.2.1:1");
    Mark(kDialUp, "192.0.2.2:2");
    return Query(std::nullopt).server == "192.0.2.1:1";
}

class WinInetTest : public ::testing::Test {
  protected:
    void SetUp() override { testing::ResetConfiguratorValues(); }
    void TearDown() override {
        testing::ResetConfiguratorValues();
        ClearSystemProxy();
        testing::ResetConfiguratorValues();
    }
};

TEST_F(WinInetTest, EachSwitchCombinationChangesTheChosenConnections) {
    const bool apart = KeepsConnectionsApart();
    if (!apart) {
        std::printf(
            "note: this system keeps one set of options for every connection; "
            "untouched-connection checks are skipped\n");
    }
    struct Case {
        std::optional<std::uint32_t> autodial;
        std::uint32_t no_net;
        bool dial_up_target;
        bool local_target;
    };
    const std::vector<Case> cases = {
        {std::nullopt, 0, false, true},
        {std::nullopt, 1, false, true},
        {0, 1, false, true},
        {1, 0, true, false},
        {1, 1, true, true},
    };
    for (const Case& c : cases) {
        const std::string label = "EnableAutodial " + (c.autodial ? std::to_string(*c.autodial) : "missing") +
                                  ", NoNetAutodial " + std::to_string(c.no_net);
        testing::ResetConfiguratorValues();
        if (c.autodial) testing::SetDword(Hive::CurrentUser, kSettingsKey, "EnableAutodial", *c.autodial);
        testing::SetDword(Hive::CurrentUser, kSettingsKey, "NoNetAutodial", c.no_net);
        testing::SetString(Hive::LocalMachine, std::string(testing::kAutoDial), "DefaultInternet", kDialUp);
        Mark(std::nullopt, "192.0.2.1:1");
        Mark(kDialUp, "192.0.2.2:2");

        ASSERT_TRUE(SetSystemProxy(kRelay)) << label;
        for (const auto& [target, chosen] :
             {std::pair{std::optional<std::string>(), c.local_target},
              std::pair{std::optional<std::string>(kDialUp), c.dial_up_target}}) {
            const Stored stored = Query(target);
            const std::string which = label + (target ? ", dial-up" : ", local network");
            if (chosen) {
                EXPECT_NE(stored.flags & PROXY_TYPE_PROXY, 0u) << which;
                EXPECT_EQ(stored.server, kRelay) << which;
                if (stored.bypass) {
                    EXPECT_EQ(*stored.bypass, "local") << which;
                }
            } else if (apart) {
                EXPECT_EQ(stored.flags & PROXY_TYPE_PROXY, 0u) << which;
                EXPECT_NE(stored.server, kRelay) << which;
            }
        }
        EXPECT_EQ(testing::GetDword(Hive::CurrentUser, kSettingsKey, "EnableHttp1_1"), 1u) << label;
        if (c.local_target || !apart) {
            // The local network's settings are also the registry values every program reads.
            EXPECT_EQ(testing::GetDword(Hive::CurrentUser, kSettingsKey, "ProxyEnable"), 1u) << label;
        }

        ASSERT_TRUE(ClearSystemProxy()) << label;
        for (const auto& target : {std::optional<std::string>(), std::optional<std::string>(kDialUp)}) {
            const bool chosen = target ? c.dial_up_target : c.local_target;
            if (!chosen && apart) continue;
            const Stored stored = Query(target);
            EXPECT_EQ(stored.flags & PROXY_TYPE_PROXY, 0u) << label;
            EXPECT_EQ(stored.server, kRelay) << label << ": the stored server stays";
        }
        EXPECT_EQ(testing::GetDword(Hive::CurrentUser, kSettingsKey, "ProxyHttp1.1"), 1u) << label;
        if (c.local_target || !apart) {
            EXPECT_EQ(testing::GetDword(Hive::CurrentUser, kSettingsKey, "ProxyEnable"), 0u) << label;
        }
    }
}

TEST_F(WinInetTest, DisablingWhenNothingWasEnabledStillGoesDirect) {
    ASSERT_TRUE(ClearSystemProxy());
    EXPECT_EQ(Query(std::nullopt).flags & PROXY_TYPE_PROXY, 0u);
    EXPECT_EQ(testing::GetDword(Hive::CurrentUser, kSettingsKey, "ProxyHttp1.1"), 1u);
}

std::string ShellApplicationData() {
    char folder[MAX_PATH] = {};
    EXPECT_TRUE(SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)));
    return folder;
}

TEST_F(WinInetTest, SetConnectionOptionsPointsARealFirefoxProfileAtTheRelay) {
    OverrideApplicationDataFolder(std::nullopt);
    const std::string app_data = ShellApplicationData();
    ASSERT_FALSE(app_data.empty());
    EXPECT_EQ(ApplicationDataFolder(), app_data);

    const std::filesystem::path mozilla = std::filesystem::path(app_data) / "Mozilla";
    ASSERT_FALSE(std::filesystem::exists(mozilla)) << "the prefix already has Mozilla profiles";
    // Removed however the test ends, so that a failed run leaves the prefix as it found it.
    struct RemoveAtEnd {
        std::filesystem::path path;
        ~RemoveAtEnd() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    } remove_at_end{mozilla};
    const std::filesystem::path profile = mozilla / "Firefox" / "Profiles" / "vxtest.default";
    std::filesystem::create_directories(profile);
    const std::string prefs = (profile / "prefs.js").string();
    const std::string original =
        "# Mozilla User Preferences\r\n\r\nuser_pref(\"network.proxy.http\", \"old.example\");\r\n"
        "user_pref(\"network.proxy.http_port\", 3128);\r\nuser_pref(\"network.proxy.type\", 0);\r\n";
    testing::WriteText(prefs, original);
    testing::SetDword(Hive::LocalMachine, std::string(testing::kProgram), "FireFox", 1);
    testing::SetDword(Hive::LocalMachine, std::string(testing::kProgram), "LocalPort", 9191);

    ASSERT_TRUE(SetConnectionOptions("DefaultConnectionSettings", kRelay));
    EXPECT_EQ(testing::ReadText(prefs),
              "# Mozilla User Preferences\r\n\r\nuser_pref(\"network.proxy.http\", \"127.0.0.1\");\r\n"
              "user_pref(\"network.proxy.http_port\", 9191);\r\nuser_pref(\"network.proxy.type\", 1);\r\n"
              "user_pref(\"network.proxy.ssl\", \"127.0.0.1\");\r\nuser_pref(\"network.proxy.ssl_port\", "
              "9191);\r\n");
    EXPECT_EQ(Query(std::nullopt).server, kRelay);
    EXPECT_NE(Query(std::nullopt).flags & PROXY_TYPE_PROXY, 0u);
    EXPECT_EQ(testing::GetDword(Hive::LocalMachine, std::string(testing::kProgram), "IE"), 1u);
    EXPECT_EQ(testing::GetDword(Hive::LocalMachine, std::string(testing::kProgram), "Avant"), 1u);

    ASSERT_TRUE(DisableConnectionProxy("DefaultConnectionSettings"));
    EXPECT_EQ(testing::ReadText(prefs),
              "# Mozilla User Preferences\r\n\r\nuser_pref(\"network.proxy.http\", "
              "\"127.0.0.1\");\r\n\r\n\r\n\r\n\r\n");
    EXPECT_EQ(Query(std::nullopt).flags & PROXY_TYPE_PROXY, 0u);
    EXPECT_EQ(testing::GetDword(Hive::LocalMachine, std::string(testing::kProgram), "IE"), 0u);
}

}  // namespace
}  // namespace vestrel::browsers
