// The whole-system operations: flags, the browsers they configure, and how their failures travel.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "browsers/ConnectionOptions.h"
#include "browsers/GeckoPrefs.h"
#include "browsers/ProfileFolders.h"
#include "browsers/SavedSettings.h"
#include "browsers/WebRtcPolicy.h"
#include "tests/browsers/BrowserTestSupport.h"
#include "tests/browsers/ScriptedConnections.h"

namespace vestrel::browsers {
namespace {

using platform::registry::Hive;
using testing::ReadText;
using testing::WriteText;

const std::string kProgram(testing::kProgram);
const std::string kPrefs = "# Mozilla User Preferences\r\nuser_pref(\"network.proxy.type\", 0);\r\n";

class ConnectionOptionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::ResetConfiguratorValues();
        OverrideApplicationDataFolder(app_data_.path());
        testing::SetDword(Hive::LocalMachine, kProgram, "LocalPort", 9191);
        firefox_ = app_data_.Make("Mozilla/Firefox/Profiles/abcd.default/prefs.js");
        mozilla_ = app_data_.Make("Mozilla/Profiles/default/xyz.slt/prefs.js");
        WriteText(firefox_, kPrefs);
        WriteText(mozilla_, kPrefs);
    }
    void TearDown() override {
        OverrideApplicationDataFolder(std::nullopt);
        testing::ResetConfiguratorValues();
    }
    std::optional<std::uint32_t> Flag(const char* name) {
        return testing::GetDword(Hive::LocalMachine, kProgram, name);
    }

    testing::TempFolder app_data_;
    testing::ScriptedConnections connections_;
    std::string firefox_;
    std::string mozilla_;
};

TEST_F(ConnectionOptionsTest, WithoutFileFlagsOnlyTheSystemAndTheSystemFlagsChange) {
    ASSERT_TRUE(SetConnectionOptions("DefaultConnectionSettings", "10.0.0.7:3128", connections_));
    ASSERT_TRUE(connections_.Get(std::nullopt));
    EXPECT_EQ(connections_.Get(std::nullopt)->proxy_server, "10.0.0.7:3128");
    EXPECT_EQ(Flag("IE"), 1u);
    EXPECT_EQ(Flag("Avant"), 1u);
    EXPECT_EQ(ReadText(firefox_), kPrefs);
    EXPECT_EQ(ReadText(mozilla_), kPrefs);

    ASSERT_TRUE(DisableConnectionProxy("DefaultConnectionSettings", connections_));
    EXPECT_EQ(connections_.Get(std::nullopt)->flags, kProxyTypeDirect);
    EXPECT_EQ(Flag("IE"), 0u);
    EXPECT_EQ(Flag("Avant"), 0u);
}

TEST_F(ConnectionOptionsTest, AFlaggedFirefoxIsPointedAtTheRelayPortWhateverTheServer) {
    testing::SetDword(Hive::LocalMachine, kProgram, "FireFox", 1);
    testing::SetDword(Hive::LocalMachine, kProgram, "Mozilla", 2);  // only exactly 1 counts
    ASSERT_TRUE(SetConnectionOptions("DefaultConnectionSettings", "10.0.0.7:3128", connections_));
    EXPECT_EQ(connections_.Get(std::nullopt)->proxy_server, "10.0.0.7:3128");
    EXPECT_EQ(ReadText(firefox_), EnableGeckoPrefs(kPrefs, 9191));
    EXPECT_EQ(ReadText(mozilla_), kPrefs);

    ASSERT_TRUE(DisableConnectionProxy("DefaultConnectionSettings", connections_));
    EXPECT_EQ(ReadText(firefox_), kPrefs) << "the user's own prefs come back";

    // A profile saved while its browser was chosen comes back even when it is no longer chosen.
    ASSERT_TRUE(SetConnectionOptions("DefaultConnectionSettings", "10.0.0.7:3128", connections_));
    testing::SetDword(Hive::LocalMachine, kProgram, "FireFox", 0);
    ASSERT_TRUE(DisableConnectionProxy("DefaultConnectionSettings", connections_));
    EXPECT_EQ(ReadText(firefox_), kPrefs);
}

TEST_F(ConnectionOptionsTest, AFileErrorReachesTheEnablerButIsDroppedOnDisable) {
    testing::SetDword(Hive::LocalMachine, kProgram, "Mozilla", 1);
    testing::SetDword(Hive::LocalMachine, kProgram, "FireFox", 1);
    // Mozilla's file cannot be replaced: its temporary name is taken by a folder.
    std::filesystem::create_directory(mozilla_ + ".tmp");
    EXPECT_THROW(SetConnectionOptions("DefaultConnectionSettings", "127.0.0.1:9191", connections_),
                 std::system_error);
    EXPECT_EQ(ReadText(mozilla_), kPrefs);
    EXPECT_EQ(ReadText(firefox_), kPrefs) << "the steps after the failing one are skipped";
    EXPECT_EQ(Flag("IE"), 1u) << "the steps before it stay done";

    // Disable drops the error and still reports success; the profiles after the failing one still
    // get their saved prefs back, and the one that failed keeps its saved state for the next try.
    std::filesystem::remove(mozilla_ + ".tmp");
    ASSERT_TRUE(SetConnectionOptions("DefaultConnectionSettings", "127.0.0.1:9191", connections_));
    std::filesystem::create_directory(mozilla_ + ".tmp");
    EXPECT_TRUE(DisableConnectionProxy("DefaultConnectionSettings", connections_));
    EXPECT_EQ(ReadText(mozilla_), EnableGeckoPrefs(kPrefs, 9191));
    EXPECT_EQ(ReadText(firefox_), kPrefs);
    EXPECT_EQ(connections_.Get(std::nullopt)->flags, kProxyTypeDirect);
    EXPECT_EQ(Flag("IE"), 0u);
    std::filesystem::remove(mozilla_ + ".tmp");
    EXPECT_TRUE(DisableConnectionProxy("DefaultConnectionSettings", connections_));
    EXPECT_EQ(ReadText(mozilla_), kPrefs);
}

TEST_F(ConnectionOptionsTest, AnEarlierVersionsMachineWideRecordComesBackOnceAndOnlyForItsOwnUser) {
    const PerConnectionOptions own{std::nullopt, kProxyTypeDirect | kProxyTypeProxy, "corp:3128", "<local>",
                                   ""};
    connections_.Apply(own);
    testing::SetDword(Hive::LocalMachine, kProgram, "FireFox", 1);
    // An earlier version switched on for this user, then was killed: its records are the machine's.
    ASSERT_TRUE(SetConnectionOptions("DefaultConnectionSettings", "127.0.0.1:9191", connections_));
    testing::MoveSavedRecordsToMachine();
    const std::string at_relay = *ReadText(firefox_);
    ASSERT_NE(at_relay, kPrefs);

    // Another user of the machine starts first: the profile in the records is not in their folder, so
    // nothing of it is put into their account and the records wait for their owner.
    testing::TempFolder other_app_data;
    OverrideApplicationDataFolder(other_app_data.path());
    testing::ScriptedConnections other_user;
    other_user.Apply(own);
    other_user.Apply({std::nullopt, kProxyTypeDirect | kProxyTypeProxy, "127.0.0.1:8118", "", ""});
    EXPECT_FALSE(RecoverConnectionOptions("127.0.0.1:9191", other_user));
    EXPECT_EQ(other_user.Query(std::nullopt)->proxy_server, "127.0.0.1:8118");
    EXPECT_TRUE(AnyEarlierSavedRecords());
    EXPECT_FALSE(AnySavedRecords());

    // The owner's start puts back what they had and removes the machine's records.
    OverrideApplicationDataFolder(app_data_.path());
    EXPECT_TRUE(RecoverConnectionOptions("127.0.0.1:9191", connections_));
    EXPECT_EQ(connections_.Query(std::nullopt), own);
    EXPECT_EQ(ReadText(firefox_), kPrefs);
    EXPECT_FALSE(AnyEarlierSavedRecords());
    EXPECT_FALSE(AnySavedRecords());
    // Once: what the user sets afterwards stays at the next start.
    const PerConnectionOptions later{std::nullopt, kProxyTypeDirect | kProxyTypeProxy, "home:8080", "", ""};
    connections_.Apply(later);
    EXPECT_FALSE(RecoverConnectionOptions("127.0.0.1:9191", connections_));
    EXPECT_EQ(connections_.Query(std::nullopt), later);
}

TEST_F(ConnectionOptionsTest, WithoutProfilesAnEarlierRecordIsTheUsersWhoseConnectionsStillPointAtARelay) {
    const PerConnectionOptions own{std::nullopt, kProxyTypeDirect | kProxyTypeProxy, "corp:3128", "", ""};
    connections_.Apply(own);
    ASSERT_TRUE(SetConnectionOptions("DefaultConnectionSettings", "127.0.0.1:9191", connections_));
    testing::MoveSavedRecordsToMachine();

    // A user whose connections are direct and whose browsers have no WebRTC policy of ours: not theirs.
    for (const std::string_view key : {kChromePolicyKey, kEdgePolicyKey})
        testing::DeleteValue(Hive::CurrentUser, std::string(key), std::string(kWebRtcPolicyName));
    testing::ScriptedConnections direct_user;
    EXPECT_FALSE(RecoverConnectionOptions("127.0.0.1:9191", direct_user));
    EXPECT_TRUE(AnyEarlierSavedRecords());

    // A user with records of their own has run this version since: theirs come back, the old ones wait.
    const PerConnectionOptions relay{std::nullopt, kProxyTypeDirect | kProxyTypeProxy, "127.0.0.1:9191", "",
                                     ""};
    ASSERT_TRUE(
        AddSavedRecord(kSavedConnections, {{{"ProxyServer", "mine:1"}}, {{"Flags", kProxyTypeDirect}}}));
    EXPECT_TRUE(RecoverConnectionOptions("127.0.0.1:9191", connections_));
    EXPECT_EQ(connections_.Query(std::nullopt)->proxy_server, "mine:1");
    EXPECT_TRUE(AnyEarlierSavedRecords());

    // The user whose connection still points at the relay: theirs, put back.
    connections_.Apply(relay);
    EXPECT_TRUE(RecoverConnectionOptions("127.0.0.1:9191", connections_));
    EXPECT_EQ(connections_.Query(std::nullopt), own);
    EXPECT_FALSE(AnyEarlierSavedRecords());
}

}  // namespace
}  // namespace vestrel::browsers
