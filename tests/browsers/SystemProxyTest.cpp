// Which connections the system step changes, in what order, with which options, and what it writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browsers/ConnectionOptions.h"
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

TEST_F(SystemProxyTest, TheDialUpSwitchesChooseTheConnections) {
    struct Case {
        const char* name;
        std::optional<std::uint32_t> autodial;
        std::optional<std::uint32_t> no_net;
        std::optional<std::string> dial_up;
        Targets targets;
    };
    const std::vector<Case> cases = {
        {"switches missing: local network only", std::nullopt, std::nullopt, std::nullopt, {std::nullopt}},
        {"autodial not exactly 1: local network only, whatever NoNetAutodial says",
         2,
         1,
         "Office",
         {std::nullopt}},
        {"autodial 1: the dial-up connection alone", 1, 0, "Office", {"Office"}},
        {"autodial 1, no connection named: the connection named by the empty text",
         1,
         std::nullopt,
         std::nullopt,
         {""}},
        {"autodial 1 and NoNetAutodial 1: dial-up first, then local network",
         1,
         1,
         "Office",
         {"Office", std::nullopt}},
    };
    for (const Case& c : cases) {
        for (const bool enable : {true, false}) {
            testing::ResetConfiguratorValues();
            connections_.Reset();
            Switches(c.autodial, c.no_net, c.dial_up);
            ASSERT_TRUE(enable ? SetSystemProxy("127.0.0.1:9090", connections_)
                               : ClearSystemProxy(connections_));
            EXPECT_EQ(connections_.applied(), c.targets) << c.name;
            std::vector<Event> events(c.targets.size(), Event::Apply);
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

TEST_F(SystemProxyTest, DisableAfterEnableKeepsTheStoredServerAndBypass) {
    ASSERT_TRUE(SetSystemProxy("127.0.0.1:9090", connections_));
    ASSERT_TRUE(ClearSystemProxy(connections_));
    const auto stored = connections_.Get(std::nullopt);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->flags, kProxyTypeDirect);
    EXPECT_EQ(stored->proxy_server, "127.0.0.1:9090");
    EXPECT_EQ(stored->proxy_bypass, "local");
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

    ScriptedConnections guarded_local;
    guarded_local.throw_at = 1;
    EXPECT_TRUE(DisableConnectionProxy("DefaultConnectionSettings", guarded_local));
    EXPECT_EQ(guarded_local.applied(), Targets{"Office"});
    EXPECT_EQ(guarded_local.events(),
              (std::vector<Event>{Event::Apply, Event::SettingsChanged, Event::Refresh}));
}

}  // namespace
}  // namespace vestrel::browsers
