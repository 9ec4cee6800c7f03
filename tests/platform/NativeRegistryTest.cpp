// The native registry's own extras: keeping it in a file and clearing it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/registry/Registry.h"
#include "platform/registry/posix/NativeRegistry.h"

namespace vestrel::platform::registry {
namespace {

class NativeRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { ClearNativeRegistry(); }
    void TearDown() override {
        ClearNativeRegistry();
        std::remove(file_.c_str());
    }
    std::string file_ = "vestrel-native-registry-test.reg";
};

TEST_F(NativeRegistryTest, SavedRegistryLoadsBackWithTypesBytesAndEmptyNames) {
    {
        Key key;
        ASSERT_EQ(CreateKey(Hive::LocalMachine, "Software\\Vestrel\\Setari", kKeyWrite, key, nullptr),
                  kSuccess);
        const std::uint32_t one = 1;
        ASSERT_EQ(key.SetValue("AutoClean", kTypeDword, &one, 4), kSuccess);
        const char text[] = "with spaces\tand\nbreaks";
        ASSERT_EQ(key.SetValue("", kTypeString, text, sizeof(text)), kSuccess);
        ASSERT_EQ(key.SetValue("Empty", kTypeBinary, nullptr, 0), kSuccess);
        Key user;
        ASSERT_EQ(CreateKey(Hive::CurrentUser, "Software\\Empty Key", kKeyWrite, user, nullptr), kSuccess);
    }
    ASSERT_TRUE(SaveNativeRegistry(file_));
    ClearNativeRegistry();
    ASSERT_TRUE(LoadNativeRegistry(file_));

    Key key;
    ASSERT_EQ(OpenKey(Hive::LocalMachine, "software\\vestrel\\setari", kKeyRead, key), kSuccess);
    std::uint32_t number = 0;
    std::uint32_t size = 4;
    std::uint32_t type = 0;
    ASSERT_EQ(key.QueryValue("AutoClean", &type, &number, &size), kSuccess);
    EXPECT_EQ(type, kTypeDword);
    EXPECT_EQ(number, 1u);
    char text[64] = {};
    size = sizeof(text);
    ASSERT_EQ(key.QueryValue("", &type, text, &size), kSuccess);
    EXPECT_STREQ(text, "with spaces\tand\nbreaks");
    size = 8;
    ASSERT_EQ(key.QueryValue("Empty", &type, text, &size), kSuccess);
    EXPECT_EQ(size, 0u);
    Key user;
    EXPECT_EQ(OpenKey(Hive::CurrentUser, "Software\\Empty Key", kKeyRead, user), kSuccess);
}

TEST_F(NativeRegistryTest, DamagedFileIsRefusedAndTheRegistryKept) {
    Key key;
    ASSERT_EQ(CreateKey(Hive::LocalMachine, "Software\\Kept", kKeyWrite, key, nullptr), kSuccess);
    std::ofstream(file_) << "vestrel-registry 1\nH 2\nK zz\n";
    EXPECT_FALSE(LoadNativeRegistry(file_));
    EXPECT_FALSE(LoadNativeRegistry("no-such-file.reg"));
    Key kept;
    EXPECT_EQ(OpenKey(Hive::LocalMachine, "Software\\Kept", kKeyRead, kept), kSuccess);
}

TEST_F(NativeRegistryTest, OpenKeyOfADeletedKeyFailsCleanly) {
    Key key;
    ASSERT_EQ(CreateKey(Hive::LocalMachine, "Software\\Gone", kKeyReadWrite, key, nullptr), kSuccess);
    ASSERT_EQ(DeleteKey(Hive::LocalMachine, "Software\\Gone"), kSuccess);
    const std::uint32_t one = 1;
    EXPECT_NE(key.SetValue("V", kTypeDword, &one, 4), kSuccess);
    ClearNativeRegistry();
    EXPECT_NE(key.QueryValue("V", nullptr, nullptr, nullptr), kSuccess);
}

}  // namespace
}  // namespace vestrel::platform::registry
