// Which connections the system step changes, in what order, with which options, and what it writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browsers/ConnectionOptions.h"
#include "browsers/SavedSettings.h"
#include "browsers/SystemProxy.h"
#include "tests/browsers/BrowserTestSupport.h"
#include "tests/browsers/ScriptedConnections.h"

namespace vestrel::browsers {
namespace {

using Event = MemoryConnectionSettings::Event;
using platform::registry::Hive;
using testing::ScriptedConnections;
using Targets = std::vector<std::optional<std::string>>;

const std::string kSettingsKey(testing::kInternetSettings);
const std::string kAutoDialKey(testing::kAutoDial);

class SystemProxyTest : public ::testing::Test {
  protected:
    void SetUp() override { testing::ResetConfiguratorValues(); }
    void TearDown() override { testing::ResetConfiguratorValues(); }

    void Switches(std::optional<std::uint32_t> autodial, std::optional<std::uint32_t> no_net,
                  std::optional<std::string> dial_up) {
        if (autodial) testing::SetDword(Hive::CurrentUser, kSettingsKey, "EnableAutodial", *autodial);
        if (no_net) testing::SetDword(Hive::CurrentUser, kSettingsKey, "NoNetAutodial", *no_net);
        if (dial_up) testing::SetString(Hive::LocalMachine, kAutoDialKey, "DefaultInternet", *dial_up);
    }
    std::optional<std::uint32_t> Http11(const char* name) {
        return testing::GetDword(Hive::CurrentUser, kSettingsKey, name);
    }

    ScriptedConnections connections_;
};

TEST_F(SystemProxyTest, EveryEntryThenTheLocalNetworkIsChanged) {
    struct Case {
        const char* name;
        std::optional<std::uint32_t> autodial;
        std::optional<std::string> dial_up;
        std::vector<std::string> entries;
        Targets targets;
    };
    const std::vector<Case> cases = {
        {"no entries: the local network alone", std::nullopt, std::nullopt, {}, {std::nullopt}},
        {"autodial not exactly 1: the default connection is not added", 2, "Office", {}, {std::nullopt}},
        {"autodial 1: the default connection first, then the local network", 1, "Office", {}, {"Office", std::nullopt}},
        {"autodial 1 without a name: no connection named by the empty text", 1, std::nullopt, {}, {std::nullopt}},
        {"every entry, the default one once whatever its case",
         1,
         "Office",
         {"VPN", "office"},
         {"Office", "VPN", std::nullopt}},
    };
    for (const Case& c : cases) {
        for (const bool enable : {true, false}) {
            testing::ResetConfiguratorValues();
            connections_.Reset();
            connections_.dial_up_entries = c.entries;
            Switches(c.autodial, 1, c.dial_up);
            Targets expected = c.targets;
            if (!enable) {
                // Nothing saved: what points at a relay here is set direct.
                for (const auto& target : c.targets)
                    connections_.Apply(PerConnectionOptions{target, 3, "127.0.0.1:9090", "local", std::nullopt});
                expected.insert(expected.end(), c.targets.begin(), c.targets.end());
            }
            ASSERT_TRUE(enable ? SetSystemProxy("127.0.0.1:9090", connections_)
                               : ClearSystemProxy(connections_));
            EXPECT_EQ(connections_.applied(), expected) << c.name;
            std::vector<Event> events(expected.size(), Event::Apply);
            events.push_back(Event::SettingsChanged);
            events.push_back(Event::Refresh);
            EXPECT_EQ(connections_.events(), events) << c.name;
            for (const auto& target : c.targets) {
                const auto stored = connections_.Get(target);
                ASSERT_TRUE(stored) << c.name;
                if (enable) {
                    EXPECT_EQ(stored->flags, kProxyTypeDirect | kProxyTypeProxy);
                    EXPECT_EQ(stored->proxy_server, "127.0.0.1:9090");
                    EXPECT_EQ(stored->proxy_bypass, "local");
                } else {
                    EXPECT_EQ(stored->flags, kProxyTypeDirect);
                }
            }
            EXPECT_EQ(Http11("EnableHttp1_1"), enable ? std::optional<std::uint32_t>(1) : std::nullopt)
                << c.name;
            EXPECT_EQ(Http11("ProxyHttp1.1"), enable ? std::nullopt : std::optional<std::uint32_t>(1))
                << c.name;
        }
    }
}

PerConnectionOptions Own(std::optional<std::string> connection, std::uint32_t flags, std::string server,
                         std::string bypass, std::string pac) {
    return PerConnectionOptions{std::move(connection), flags, std::move(server), std::move(bypass), std::move(pac)};
}

TEST_F(SystemProxyTest, TheUsersOwnSettingsComeBackExactly) {
    const PerConnectionOptions lan =
        Own(std::nullopt, kProxyTypeDirect | kProxyTypeProxy | kProxyTypeAutoProxyUrl, "corp:3128", "<local>",
            "http://wpad.corp/proxy.pac");
    const PerConnectionOptions vpn = Own("Office VPN", kProxyTypeDirect | kProxyTypeAutoDetect, "", "", "");
    connections_.dial_up_entries = {"Office VPN"};
    connections_.Apply(lan);
    connections_.Apply(vpn);

    // On twice (the status page and a list refresh point the browsers again): the second must not
    // save the relay's values as the user's.
    ASSERT_TRUE(SetSystemProxy("127.0.0.1:9090", connections_));
    ASSERT_TRUE(SetSystemProxy("127.0.0.1:9090", connections_));
    EXPECT_EQ(connections_.Query(std::nullopt)->proxy_server, "127.0.0.1:9090");
    EXPECT_EQ(connections_.Query(std::nullopt)->flags, kProxyTypeDirect | kProxyTypeProxy);
    EXPECT_EQ(connections_.Query("Office VPN")->proxy_server, "127.0.0.1:9090");
    EXPECT_TRUE(AnySavedRecords());

    // A VPN entry created while on is saved at the next pointing, and set back like the others.
    connections_.dial_up_entries.push_back("Later VPN");
    const PerConnectionOptions later = Own("Later VPN", kProxyTypeDirect, "", "", "");
    connections_.Apply(later);
    ASSERT_TRUE(SetSystemProxy("127.0.0.1:9090", connections_));

    ASSERT_TRUE(ClearSystemProxy(connections_));
    EXPECT_EQ(connections_.Query(std::nullopt), lan);
    EXPECT_EQ(connections_.Query("Office VPN"), vpn);
    EXPECT_EQ(connections_.Query("Later VPN"), later);
    EXPECT_FALSE(AnySavedRecords()) << "forgotten once put back";

    // A connection that already points at the relay with nothing saved is a leftover of ours: it is
    // saved as direct, so that switching off does not point it at the relay again.
    connections_.Apply(Own(std::nullopt, kProxyTypeDirect | kProxyTypeProxy, "127.0.0.1:9090", "local", ""));
    ASSERT_TRUE(SetSystemProxy("127.0.0.1:9090", connections_));
    ASSERT_TRUE(ClearSystemProxy(connections_));
    EXPECT_EQ(connections_.Query(std::nullopt)->flags, kProxyTypeDirect);

    // With nothing saved (an older run), switching off means direct, the stored server staying.
    ASSERT_TRUE(SetSystemProxy("127.0.0.1:9090", connections_));
    testing::ForgetSavedSettings();
    ASSERT_TRUE(ClearSystemProxy(connections_));
    EXPECT_EQ(connections_.Query(std::nullopt)->flags, kProxyTypeDirect);
    EXPECT_EQ(connections_.Query(std::nullopt)->proxy_server, "127.0.0.1:9090");
}

TEST_F(SystemProxyTest, RecoveryAfterARunThatEndedWithAnonymityOn) {
    const PerConnectionOptions own = Own(std::nullopt, kProxyTypeDirect | kProxyTypeProxy, "corp:3128", "<local>", "");
    connections_.Apply(own);

    // Saved settings of the last run come back.
    ASSERT_TRUE(SetConnectionOptions("DefaultConnectionSettings", "127.0.0.1:9090", connections_));
    EXPECT_TRUE(RecoverConnectionOptions("127.0.0.1:9090", connections_));
    EXPECT_EQ(connections_.Query(std::nullopt), own);
    EXPECT_FALSE(AnySavedRecords());
    // Nothing saved and nothing of ours left: nothing is touched, by recovery or by a switch-off.
    connections_.Reset();
    connections_.Apply(own);
    EXPECT_FALSE(RecoverConnectionOptions("127.0.0.1:9090", connections_));
    ASSERT_TRUE(DisableConnectionProxy("DefaultConnectionSettings", connections_));
    EXPECT_EQ(connections_.applied().size(), 1u);
    EXPECT_EQ(connections_.Query(std::nullopt), own);

    // Nothing saved but the system still points at the relay: direct, and only there.
    connections_.dial_up_entries = {"Office VPN"};
    connections_.Apply(Own(std::nullopt, kProxyTypeDirect | kProxyTypeProxy, "127.0.0.1:9090", "local", ""));
    EXPECT_TRUE(RecoverConnectionOptions("127.0.0.1:9090", connections_));
    EXPECT_EQ(connections_.Query(std::nullopt)->flags, kProxyTypeDirect);
    EXPECT_EQ(connections_.applied().back(), std::nullopt);
    EXPECT_EQ(connections_.Get("Office VPN"), std::nullopt) << "a connection not at the relay is left alone";
}

TEST_F(SystemProxyTest, AnAllocationFailureStopsAtOnceWithItsDebuggerMessage) {
    Switches(1, 1, "Office");
    connections_.fail_at = 0;
    EXPECT_FALSE(SetSystemProxy("127.0.0.1:9090", connections_));
    EXPECT_TRUE(connections_.events().empty()) << "no second list, no notification";
    EXPECT_EQ(connections_.messages(),
              std::vector<std::string>{"failed to allocat memory in SetConnectionOptions()"});
    EXPECT_EQ(Http11("EnableHttp1_1"), std::nullopt);

    ScriptedConnections second;
    second.fail_at = 1;
    EXPECT_FALSE(ClearSystemProxy(second));
    EXPECT_EQ(second.events(), std::vector<Event>{Event::Apply});
    EXPECT_EQ(second.messages(),
              std::vector<std::string>{"failed to allocat memory in DisableConnectionProxy()"});
    EXPECT_EQ(Http11("ProxyHttp1.1"), std::nullopt);

    // The whole-system operations pass the failure on and change no flag.
    ScriptedConnections third;
    third.fail_at = 0;
    EXPECT_FALSE(SetConnectionOptions("DefaultConnectionSettings", "127.0.0.1:9090", third));
    EXPECT_EQ(testing::GetDword(Hive::LocalMachine, std::string(testing::kProgram), "IE"), std::nullopt);
    ScriptedConnections fourth;
    fourth.fail_at = 0;
    EXPECT_FALSE(DisableConnectionProxy("DefaultConnectionSettings", fourth));
}

TEST_F(SystemProxyTest, OnlyTheDisablePathGuardsEachConnection) {
    Switches(1, 1, "Office");
    ScriptedConnections unguarded;
    unguarded.throw_at = 0;
    EXPECT_THROW(SetSystemProxy("127.0.0.1:9090", unguarded), std::runtime_error);
    ScriptedConnections unguarded_clear;
    unguarded_clear.throw_at = 0;
    EXPECT_THROW(ClearSystemProxy(unguarded_clear), std::runtime_error);

    // Inside DisableConnectionProxy a failing dial-up change still lets the local network go direct,
    // and the notifications, the HTTP/1.1 value and the flags follow.
    testing::SetDword(Hive::LocalMachine, std::string(testing::kProgram), "IE", 1);
    ScriptedConnections guarded;
    guarded.throw_at = 0;
    EXPECT_TRUE(DisableConnectionProxy("DefaultConnectionSettings", guarded));
    EXPECT_EQ(guarded.applied(), Targets{std::nullopt});
    EXPECT_EQ(guarded.events(), (std::vector<Event>{Event::Apply, Event::SettingsChanged, Event::Refresh}));
    EXPECT_EQ(Http11("ProxyHttp1.1"), 1u);
    EXPECT_EQ(testing::GetDword(Hive::LocalMachine, std::string(testing::kProgram), "IE"), 0u);

    // Saved options of both connections, put back by the next switch-off.
    MemoryConnectionSettings prepared;
    ASSERT_TRUE(SetSystemProxy("127.0.0.1:9090", prepared));
    ScriptedConnections guarded_local;
    guarded_local.throw_at = 1;
    EXPECT_TRUE(DisableConnectionProxy("DefaultConnectionSettings", guarded_local));
    EXPECT_EQ(guarded_local.applied(), Targets{"Office"});
    EXPECT_EQ(guarded_local.events(),
              (std::vector<Event>{Event::Apply, Event::SettingsChanged, Event::Refresh}));
}

}  // namespace
}  // namespace vestrel::browsers
