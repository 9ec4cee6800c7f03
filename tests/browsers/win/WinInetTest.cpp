// The system step against the real WinInet: what each dial-up switch combination leaves stored, read
// back with InternetQueryOptionA and from the registry; and SetConnectionOptions pointing a real
// Firefox profile in the user's application-data folder at the relay.
#include <windows.h>

#include <shlobj.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "browsers/ConnectionOptions.h"
#include "browsers/GeckoPrefs.h"
#include "browsers/ProfileFolders.h"
#include "browsers/SavedSettings.h"
#include "browsers/SystemProxy.h"
#include "browsers/WebRtcPolicy.h"
#include "tests/browsers/BrowserTestSupport.h"

namespace vestrel::browsers {
namespace {

using platform::registry::Hive;
namespace registry = platform::registry;

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

TEST_F(WinInetTest, EachSwitchCombinationPointsEveryChosenConnectionAndPutsItBack) {
    const bool apart = KeepsConnectionsApart();
    if (!apart) {
        std::printf(
            "note: this system keeps one set of options for every connection; "
            "each connection's own restore is checked natively only\n");
    }
    struct Case {
        std::optional<std::uint32_t> autodial;
        bool dial_up_target;
    };
    for (const Case& c : {Case{std::nullopt, false}, Case{0, false}, Case{1, true}}) {
        const std::string label = "EnableAutodial " + (c.autodial ? std::to_string(*c.autodial) : "missing");
        testing::ResetConfiguratorValues();
        if (c.autodial) testing::SetDword(Hive::CurrentUser, kSettingsKey, "EnableAutodial", *c.autodial);
        testing::SetString(Hive::LocalMachine, std::string(testing::kAutoDial), "DefaultInternet", kDialUp);
        Mark(kDialUp, "192.0.2.2:2");
        Mark(std::nullopt, "192.0.2.1:1");

        ASSERT_TRUE(SetSystemProxy(kRelay)) << label;
        for (const auto& [target, chosen] : {std::pair{std::optional<std::string>(), true},
                                             std::pair{std::optional<std::string>(kDialUp), c.dial_up_target}}) {
            if (!chosen && apart) continue;
            const Stored stored = Query(target);
            const std::string which = label + (target ? ", dial-up" : ", local network");
            EXPECT_NE(stored.flags & PROXY_TYPE_PROXY, 0u) << which;
            EXPECT_EQ(stored.server, kRelay) << which;
        }
        EXPECT_EQ(testing::GetDword(Hive::CurrentUser, kSettingsKey, "EnableHttp1_1"), 1u) << label;
        // The local network's settings are also the registry values every program reads.
        EXPECT_EQ(testing::GetDword(Hive::CurrentUser, kSettingsKey, "ProxyEnable"), 1u) << label;

        ASSERT_TRUE(ClearSystemProxy()) << label;
        EXPECT_EQ(Query(std::nullopt).server, "192.0.2.1:1") << label;
        if (apart) {
            EXPECT_EQ(Query(kDialUp).server, "192.0.2.2:2") << label;
        }
        EXPECT_EQ(testing::GetDword(Hive::CurrentUser, kSettingsKey, "ProxyHttp1.1"), 1u) << label;
        EXPECT_EQ(testing::GetDword(Hive::CurrentUser, kSettingsKey, "ProxyEnable"), 0u) << label;
    }
}

TEST_F(WinInetTest, WithNothingSavedOnlyARelayHereIsSetDirect) {
    PerConnectionOptions own{std::nullopt, kProxyTypeDirect | kProxyTypeProxy, "corp:3128", std::nullopt,
                             std::nullopt};
    ASSERT_TRUE(SystemConnectionSettings().Apply(own));
    ASSERT_TRUE(ClearSystemProxy());
    EXPECT_NE(Query(std::nullopt).flags & PROXY_TYPE_PROXY, 0u) << "the user's own proxy stays";
    EXPECT_EQ(Query(std::nullopt).server, "corp:3128");

    own.proxy_server = "127.0.0.1:9191";
    ASSERT_TRUE(SystemConnectionSettings().Apply(own));
    ASSERT_TRUE(ClearSystemProxy());
    EXPECT_EQ(Query(std::nullopt).flags & PROXY_TYPE_PROXY, 0u);
    EXPECT_EQ(testing::GetDword(Hive::CurrentUser, kSettingsKey, "ProxyHttp1.1"), 1u);
}

// The system's settings, recording which connections each list went to.
class Recording : public ConnectionSettings {
  public:
    bool Apply(const PerConnectionOptions& options) override {
        applied.push_back(options.connection);
        return SystemConnectionSettings().Apply(options);
    }
    void NotifySettingsChanged() override { SystemConnectionSettings().NotifySettingsChanged(); }
    void Refresh() override { SystemConnectionSettings().Refresh(); }
    std::optional<PerConnectionOptions> Query(const std::optional<std::string>& connection) override {
        return SystemConnectionSettings().Query(connection);
    }
    std::vector<std::string> DialUpEntries() override { return SystemConnectionSettings().DialUpEntries(); }
    void DebugMessage(std::string_view text) override { messages.emplace_back(text); }

    std::vector<std::optional<std::string>> applied;
    std::vector<std::string> messages;
};

// One registry value as raw bytes (nothing when absent), put back as it was when the object goes.
class KeptValue {
  public:
    KeptValue(std::string key, std::string name) : key_(std::move(key)), name_(std::move(name)), before_(Read()) {}
    ~KeptValue() {
        registry::Key key;
        if (registry::CreateKey(Hive::CurrentUser, key_, registry::kKeyWrite, key, nullptr) != registry::kSuccess)
            return;
        if (before_) {
            key.SetValue(name_, before_->first, before_->second.data(), static_cast<std::uint32_t>(before_->second.size()));
        } else {
            key.DeleteValue(name_);
        }
    }
    std::optional<std::pair<std::uint32_t, std::string>> Read() const {
        registry::Key key;
        if (registry::OpenKey(Hive::CurrentUser, key_, registry::kKeyRead, key) != registry::kSuccess)
            return std::nullopt;
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        if (key.QueryValue(name_, &type, nullptr, &size) != registry::kSuccess) return std::nullopt;
        std::string bytes(size, '\0');
        key.QueryValue(name_, &type, bytes.data(), &size);
        return std::pair{type, bytes};
    }

  private:
    std::string key_;
    std::string name_;
    std::optional<std::pair<std::uint32_t, std::string>> before_;
};

TEST_F(WinInetTest, TheUsersOwnProxyBypassAndPacSurviveAnOnOffCycleOnEveryConnection) {
    const std::string connections_key = kSettingsKey + "\\Connections";
    const bool had_connections_key = testing::KeyExists(Hive::CurrentUser, connections_key);
    std::vector<std::unique_ptr<KeptValue>> kept;
    for (const char* name : {"ProxyEnable", "ProxyServer", "ProxyOverride", "AutoConfigURL"})
        kept.push_back(std::make_unique<KeptValue>(kSettingsKey, name));
    // A VPN entry as the system records it once it has options of its own. Wine has no phone book
    // (its RasEnumEntriesA lists nothing), so the entry is known from here only.
    const std::string vpn = "Vestrel Test VPN";
    {
        registry::Key key;
        ASSERT_EQ(registry::CreateKey(Hive::CurrentUser, connections_key, registry::kKeyWrite, key, nullptr),
                  registry::kSuccess);
        const char blob[4] = {0x46, 0, 0, 0};
        ASSERT_EQ(key.SetValue(vpn, registry::kTypeBinary, blob, sizeof(blob)), registry::kSuccess);
    }
    struct RemoveAtEnd {
        std::string key;
        std::string value;
        bool remove_key;
        ~RemoveAtEnd() {
            if (remove_key) {
                registry::DeleteKeyTree(Hive::CurrentUser, key);
            } else {
                testing::DeleteValue(Hive::CurrentUser, key, value);
            }
        }
    } remove_at_end{connections_key, vpn, !had_connections_key};

    // The user's own settings: a company proxy with its bypass list and a PAC address. Wine's WinInet
    // keeps only the flags and the server; it reads the bypass list from the registry but never writes
    // it, and knows no PAC address, so those two are put where older systems keep them as well.
    const PerConnectionOptions own{std::nullopt, kProxyTypeDirect | kProxyTypeProxy | kProxyTypeAutoProxyUrl,
                                   "corp:3128", "<local>", "http://wpad.corp.example/proxy.pac"};
    ASSERT_TRUE(SystemConnectionSettings().Apply(own));
    testing::SetString(Hive::CurrentUser, kSettingsKey, "ProxyOverride", "<local>");
    testing::SetString(Hive::CurrentUser, kSettingsKey, "AutoConfigURL", "http://wpad.corp.example/proxy.pac");
    const std::optional<PerConnectionOptions> before = SystemConnectionSettings().Query(std::nullopt);
    ASSERT_TRUE(before);
    if (before->auto_config_url != own.auto_config_url || before->proxy_bypass != own.proxy_bypass) {
        std::printf("note: this system's WinInet does not store the bypass list and PAC address "
                    "(Wine); they are checked in the registry values only\n");
    }
    std::vector<std::optional<std::pair<std::uint32_t, std::string>>> registry_before;
    for (const auto& value : kept) registry_before.push_back(value->Read());

    Recording recording;
    ASSERT_TRUE(SetSystemProxy(kRelay, recording));
    EXPECT_EQ(recording.applied, (std::vector<std::optional<std::string>>{vpn, std::nullopt}));
    EXPECT_TRUE(recording.messages.empty()) << "each connection reads back as set";
    for (const auto& target : {std::optional<std::string>(vpn), std::optional<std::string>()}) {
        const Stored stored = Query(target);
        EXPECT_NE(stored.flags & PROXY_TYPE_PROXY, 0u);
        EXPECT_EQ(stored.server, kRelay);
    }
    EXPECT_TRUE(AnySavedRecords());

    recording.applied.clear();
    ASSERT_TRUE(ClearSystemProxy(recording));
    EXPECT_EQ(recording.applied, (std::vector<std::optional<std::string>>{vpn, std::nullopt}))
        << "the local network last, so that its own options are the ones a shared store keeps";
    EXPECT_EQ(SystemConnectionSettings().Query(std::nullopt), before);
    for (std::size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i]->Read(), registry_before[i]) << i;
    EXPECT_FALSE(AnySavedRecords());
}

TEST_F(WinInetTest, TheWebRtcPolicyIsSetWhileOnAndOnlyWhatWasAddedGoes) {
    const std::string chrome(kChromePolicyKey);
    const std::string edge(kEdgePolicyKey);
    const bool had_policies = testing::KeyExists(Hive::CurrentUser, "Software\\Policies");
    ASSERT_FALSE(testing::KeyExists(Hive::CurrentUser, chrome)) << "the prefix already has a Chrome policy";
    ASSERT_FALSE(testing::KeyExists(Hive::CurrentUser, edge)) << "the prefix already has an Edge policy";
    // Another Edge policy of the user's, which must stay.
    testing::SetString(Hive::CurrentUser, edge, "HomepageLocation", "https://intranet.example/");
    struct RemoveAtEnd {
        bool had_policies;
        ~RemoveAtEnd() {
            registry::DeleteKeyTree(Hive::CurrentUser, had_policies ? "Software\\Policies\\Microsoft\\Edge"
                                                                     : "Software\\Policies");
        }
    } remove_at_end{had_policies};

    ContainWebRtc();
    ContainWebRtc();
    for (const std::string& key : {chrome, edge}) {
        registry::Key opened;
        ASSERT_EQ(registry::OpenKey(Hive::CurrentUser, key, registry::kKeyRead, opened), registry::kSuccess);
        char value[64] = {};
        std::uint32_t size = sizeof(value);
        ASSERT_EQ(opened.QueryValue("WebRtcIPHandling", nullptr, value, &size), registry::kSuccess);
        EXPECT_STREQ(value, "disable_non_proxied_udp") << key;
    }
    ReleaseWebRtc();
    EXPECT_FALSE(testing::KeyExists(Hive::CurrentUser, chrome)) << "the keys created for it go";
    EXPECT_FALSE(testing::KeyExists(Hive::CurrentUser, "Software\\Policies\\Google"));
    EXPECT_TRUE(testing::KeyExists(Hive::CurrentUser, edge)) << "the user's own policy stays";
    registry::Key opened;
    ASSERT_EQ(registry::OpenKey(Hive::CurrentUser, edge, registry::kKeyRead, opened), registry::kSuccess);
    std::uint32_t size = 0;
    EXPECT_NE(opened.QueryValue("WebRtcIPHandling", nullptr, nullptr, &size), registry::kSuccess);
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
              "9191);\r\nuser_pref(\"media.peerconnection.ice.proxy_only_if_behind_proxy\", true);\r\n"
              "user_pref(\"media.peerconnection.ice.default_address_only\", true);\r\n");
    EXPECT_EQ(Query(std::nullopt).server, kRelay);
    EXPECT_NE(Query(std::nullopt).flags & PROXY_TYPE_PROXY, 0u);
    EXPECT_EQ(testing::GetDword(Hive::LocalMachine, std::string(testing::kProgram), "IE"), 1u);
    EXPECT_EQ(testing::GetDword(Hive::LocalMachine, std::string(testing::kProgram), "Avant"), 1u);

    ASSERT_TRUE(DisableConnectionProxy("DefaultConnectionSettings"));
    EXPECT_EQ(testing::ReadText(prefs), original) << "every byte the user had comes back";
    EXPECT_EQ(Query(std::nullopt).flags & PROXY_TYPE_PROXY, 0u);
    EXPECT_EQ(testing::GetDword(Hive::LocalMachine, std::string(testing::kProgram), "IE"), 0u);
}

}  // namespace
}  // namespace vestrel::browsers
