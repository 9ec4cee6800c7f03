// The setting value objects and RegKey, run against the in-memory registry natively and against the
// real registry under Wine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/registry/Registry.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegKey.h"
#include "settings/RegStringSetting.h"
#include "settings/RegistryPath.h"
#include "settings/SettingsTable.h"

namespace vestrel::settings {
namespace {

namespace registry = platform::registry;

// Each test works below a key of its own, removed before and after.
class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        key_ = std::string("Software\\VestrelTests\\") + info->name();
        registry::DeleteKeyTree(Hive::LocalMachine, key_);
    }
    void TearDown() override { registry::DeleteKeyTree(Hive::LocalMachine, key_); }

    std::string Path(const std::string& value) const { return key_ + "\\" + value; }

    void Store(const std::string& value, std::uint32_t type, const void* data, std::uint32_t size) {
        registry::Key key;
        ASSERT_EQ(registry::CreateKey(Hive::LocalMachine, key_, registry::kKeyWrite, key, nullptr), 0);
        ASSERT_EQ(key.SetValue(value, type, data, size), 0);
    }

    bool ValueExists(const std::string& value) {
        registry::Key key;
        if (registry::OpenKey(Hive::LocalMachine, key_, registry::kKeyRead, key) != 0) return false;
        std::uint32_t size = 0;
        return key.QueryValue(value, nullptr, nullptr, &size) == 0;
    }

    bool KeyExists(const std::string& path) {
        registry::Key key;
        return registry::OpenKey(Hive::LocalMachine, path, registry::kKeyRead, key) == 0;
    }

    std::string key_;
};

TEST(RegistryPathTest, SplitsAtTheLastBackslashAndDropsLeadingOnes) {
    struct Case {
        const char* full;
        const char* key;
        const char* name;
    };
    const Case cases[] = {
        {"Software\\Vestrel\\HideHint", "Software\\Vestrel", "HideHint"},
        {"\\Software\\Vestrel\\HideHint", "Software\\Vestrel", "HideHint"},
        {"\\\\\\Software\\Vestrel\\HideHint", "Software\\Vestrel", "HideHint"},
        {"Software\\Vestrel\\\\HideHint", "Software\\Vestrel", "HideHint"},
        {"Software\\Vestrel\\Setari\\IClear1", "Software\\Vestrel\\Setari", "IClear1"},
        {"NoKey", "", "NoKey"},
        {"Software\\Vestrel\\", "Software\\Vestrel", ""},
    };
    for (const Case& c : cases) {
        const RegistryPath path = SplitFullPath(c.full);
        EXPECT_EQ(path.key_path, c.key) << c.full;
        EXPECT_EQ(path.value_name, c.name) << c.full;
    }
}

TEST_F(SettingsTest, AbsentValueGivesTheDefaultAndLocalPortDefaultsTo8080) {
    RegDwordSetting port(Path("LocalPort"), kLocalPort.default_value);
    EXPECT_EQ(port.get(), 8080u);
    EXPECT_FALSE(port.loaded());
    RegStringSetting name(Path("ProxyName"), "fallback");
    EXPECT_EQ(name.get(), "fallback");
}

TEST_F(SettingsTest, LeadingBackslashNamesTheSameValue) {
    RegDwordSetting(Path("HideHint"), 0).set(1);
    RegDwordSetting with_backslash("\\" + Path("HideHint"), 0);
    EXPECT_EQ(with_backslash.get(), 1u);
}

TEST_F(SettingsTest, SetWritesAndAFreshObjectReadsIt) {
    RegDwordSetting(Path("Port"), 8080).set(9090);
    EXPECT_EQ(RegDwordSetting(Path("Port"), 8080).get(), 9090u);

    RegStringSetting(Path("Name"), "").set("10.0.0.1:3128->Germany");
    EXPECT_EQ(RegStringSetting(Path("Name"), "").get(), "10.0.0.1:3128->Germany");

    registry::Key key;
    ASSERT_EQ(registry::OpenKey(Hive::LocalMachine, key_, registry::kKeyRead, key), 0);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    ASSERT_EQ(key.QueryValue("Port", &type, nullptr, &size), 0);
    EXPECT_EQ(type, registry::kTypeDword);
    EXPECT_EQ(size, 4u);
    ASSERT_EQ(key.QueryValue("Name", &type, nullptr, &size), 0);
    EXPECT_EQ(type, registry::kTypeString);
    EXPECT_EQ(size, std::strlen("10.0.0.1:3128->Germany") + 1);
}

TEST_F(SettingsTest, SettingZeroOrEmptyOnAnAbsentValueWritesNothing) {
    RegDwordSetting(Path("UseProxy"), 0).set(0);
    EXPECT_FALSE(ValueExists("UseProxy"));
    EXPECT_FALSE(KeyExists(key_));
    RegDwordSetting(Path("LocalPort"), 8080).set(0);
    EXPECT_EQ(RegDwordSetting(Path("LocalPort"), 8080).get(), 8080u);

    RegStringSetting(Path("ProxyName"), "").set("");
    EXPECT_FALSE(ValueExists("ProxyName"));
}

TEST_F(SettingsTest, UnchangedValueIsNotWrittenAgainUnlessReReading) {
    RegDwordSetting setting(Path("Flag"), 0);
    setting.set(1);
    // Remove the value behind the object's back: a set of the same value must not bring it back...
    {
        registry::Key key;
        ASSERT_EQ(registry::OpenKey(Hive::LocalMachine, key_, registry::kKeyReadWrite, key), 0);
        ASSERT_EQ(key.DeleteValue("Flag"), 0);
    }
    setting.set(1);
    EXPECT_FALSE(ValueExists("Flag"));
    EXPECT_EQ(setting.get(), 1u);  // served from the cache
    // ...while a re-reading object writes every time and reads every time.
    RegDwordSetting rereading(Path("Flag"), 7, true);
    EXPECT_EQ(rereading.get(), 7u);
    rereading.set(7);
    EXPECT_TRUE(ValueExists("Flag"));
}

TEST_F(SettingsTest, ShortStringIsReadAsANumberFromItsBytesLongerOneGivesTheDefault) {
    const char one[] = "1";  // two bytes: '1' and NUL
    Store("Short", registry::kTypeString, one, sizeof(one));
    EXPECT_EQ(RegDwordSetting(Path("Short"), 55).get(), static_cast<std::uint32_t>('1'));

    const char four[] = "abc";  // exactly four bytes
    Store("Four", registry::kTypeString, four, sizeof(four));
    std::uint32_t expected = 0;
    std::memcpy(&expected, four, 4);
    EXPECT_EQ(RegDwordSetting(Path("Four"), 55).get(), expected);

    const char longer[] = "8080";  // five bytes
    Store("Long", registry::kTypeString, longer, sizeof(longer));
    RegDwordSetting too_long(Path("Long"), 55);
    EXPECT_EQ(too_long.get(), 55u);
    EXPECT_FALSE(too_long.loaded());
}

TEST_F(SettingsTest, StringReadIgnoresTheStoredType) {
    const char text[] = "C:\\Program Files\\Vestrel";
    Store("AppPath", registry::kTypeExpandString, text, sizeof(text));
    EXPECT_EQ(RegStringSetting(Path("AppPath"), "").get(), text);
    const std::uint32_t number = 0x00636261;  // "abc" and a NUL
    Store("Number", registry::kTypeDword, &number, sizeof(number));
    EXPECT_EQ(RegStringSetting(Path("Number"), "").get(), "abc");
}

TEST_F(SettingsTest, ObjectsSeeWritesOfOtherObjectsUntilTheyHaveLoaded) {
    RegStringSetting not_loaded(Path("LastDomain"), "");
    RegStringSetting(Path("LastDomain"), "").set("example.org");
    EXPECT_EQ(not_loaded.get(), "example.org");  // nothing was loaded, so get reads again

    RegStringSetting loaded(Path("LastDomain"), "");
    RegStringSetting(Path("LastDomain"), "").set("example.net");
    EXPECT_EQ(loaded.get(), "example.org");  // served from its cache
    EXPECT_EQ(RegStringSetting(Path("LastDomain"), "").get(), "example.net");
}

TEST_F(SettingsTest, ExistsOnAMissingKeyIsFalseAndLeavesNoKey) {
    RegKey probe(Hive::LocalMachine, key_ + "\\Missing");
    EXPECT_FALSE(probe.exists());
    EXPECT_FALSE(KeyExists(key_ + "\\Missing"));
    EXPECT_FALSE(probe.isOpen());
}

TEST_F(SettingsTest, ExistsOnAPresentKeyIsTrueAndKeepsItOpen) {
    Store("FireFox", registry::kTypeDword, "\x01\x00\x00\x00", 4);
    RegKey key(Hive::LocalMachine, key_);
    ASSERT_TRUE(key.exists());
    EXPECT_TRUE(key.isOpen());
    std::uint32_t value = 0;
    EXPECT_EQ(key.getDword("FireFox", value), 0);
    EXPECT_EQ(value, 1u);
}

TEST_F(SettingsTest, GetDwordAndGetStringCheckTheType) {
    const char text[] = "12";
    Store("Text", registry::kTypeString, text, sizeof(text));
    const std::uint32_t number = 42;
    Store("Number", registry::kTypeDword, &number, sizeof(number));

    RegKey key(Hive::LocalMachine, key_);
    ASSERT_TRUE(key.exists());
    std::uint32_t out = 0xDEADBEEF;
    EXPECT_EQ(key.getDword("Text", out), registry::kCantRead);
    EXPECT_EQ(out, 0xDEADBEEFu);
    EXPECT_EQ(key.getDword("Number", out), 0);
    EXPECT_EQ(out, 42u);
    EXPECT_EQ(key.getDword("Missing", out), registry::kFileNotFound);

    std::string text_out = "untouched";
    EXPECT_EQ(key.getString("Number", text_out), registry::kCantRead);
    EXPECT_EQ(text_out, "untouched");
    EXPECT_EQ(key.getString("Text", text_out), 0);
    EXPECT_EQ(text_out, "12");
}

TEST_F(SettingsTest, SetDwordAndDeleteOnAnOpenKey) {
    RegKey key(Hive::LocalMachine, key_ + "\\Child");
    ASSERT_EQ(key.create(), 0);
    EXPECT_EQ(key.setDword("Opera", 1), 0);
    EXPECT_EQ(RegDwordSetting(key_ + "\\Child\\Opera", 0).get(), 1u);
    key.close();
    EXPECT_EQ(key.deleteKey(), 0);
    EXPECT_FALSE(KeyExists(key_ + "\\Child"));
}

TEST(RegKeyTest, KeepsAtMost127CharactersOfThePath) {
    const std::string long_path(200, 'k');
    EXPECT_EQ(RegKey(Hive::LocalMachine, long_path).path().size(), 127u);
}

}  // namespace
}  // namespace vestrel::settings
