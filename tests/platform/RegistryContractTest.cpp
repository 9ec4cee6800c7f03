// The registry service's contract: the same test runs against the in-memory registry natively and the
// real registry under Wine, so that the native stand-in cannot drift from what Windows does.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/Registry.h"

namespace vestrel::platform::registry {
namespace {

class RegistryContractTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = std::string("Software\\VestrelTests\\Registry\\") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        DeleteKeyTree(Hive::CurrentUser, root_);
    }
    void TearDown() override { DeleteKeyTree(Hive::CurrentUser, root_); }

    std::string root_;
};

TEST_F(RegistryContractTest, CreateReportsWhetherTheKeyWasNewAndMakesTheWholePath) {
    Key key;
    std::uint32_t disposition = 0;
    ASSERT_EQ(CreateKey(Hive::CurrentUser, root_ + "\\A\\B\\C", kKeyReadWrite, key, &disposition), kSuccess);
    EXPECT_EQ(disposition, kCreatedNewKey);
    Key again;
    ASSERT_EQ(CreateKey(Hive::CurrentUser, root_ + "\\A\\B\\C", kKeyReadWrite, again, &disposition),
              kSuccess);
    EXPECT_EQ(disposition, kOpenedExistingKey);
    Key middle;
    EXPECT_EQ(OpenKey(Hive::CurrentUser, root_ + "\\A\\B", kKeyRead, middle), kSuccess);
}

TEST_F(RegistryContractTest, KeyAndValueNamesAreCaseInsensitive) {
    Key key;
    ASSERT_EQ(CreateKey(Hive::CurrentUser, root_ + "\\MixedCase", kKeyReadWrite, key, nullptr), kSuccess);
    const std::uint32_t number = 7;
    ASSERT_EQ(key.SetValue("LocalPort", kTypeDword, &number, 4), kSuccess);
    Key other;
    ASSERT_EQ(OpenKey(Hive::CurrentUser, root_ + "\\MIXEDCASE", kKeyRead, other), kSuccess);
    std::uint32_t read = 0;
    std::uint32_t size = 4;
    ASSERT_EQ(other.QueryValue("localport", nullptr, &read, &size), kSuccess);
    EXPECT_EQ(read, 7u);
}

TEST_F(RegistryContractTest, QueryReportsSizeTypeAndMoreData) {
    Key key;
    ASSERT_EQ(CreateKey(Hive::CurrentUser, root_, kKeyReadWrite, key, nullptr), kSuccess);
    const char text[] = "hello";
    ASSERT_EQ(key.SetValue("Text", kTypeString, text, sizeof(text)), kSuccess);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    ASSERT_EQ(key.QueryValue("Text", &type, nullptr, &size), kSuccess);
    EXPECT_EQ(type, kTypeString);
    EXPECT_EQ(size, sizeof(text));
    char small[4];
    size = sizeof(small);
    EXPECT_EQ(key.QueryValue("Text", nullptr, small, &size), kMoreData);
    EXPECT_EQ(size, sizeof(text));
    char whole[16];
    size = sizeof(whole);
    ASSERT_EQ(key.QueryValue("Text", nullptr, whole, &size), kSuccess);
    EXPECT_STREQ(whole, "hello");
    EXPECT_EQ(key.QueryValue("Missing", nullptr, nullptr, &size), kFileNotFound);

    const unsigned char raw[] = {1, 2, 3};
    ASSERT_EQ(key.SetValue("Raw", kTypeBinary, raw, sizeof(raw)), kSuccess);
    std::uint32_t number = 0xFFFFFFFF;
    size = 4;
    ASSERT_EQ(key.QueryValue("Raw", &type, &number, &size), kSuccess);
    EXPECT_EQ(type, kTypeBinary);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(number, 0xFF030201u);  // only the stored bytes are written
}

TEST_F(RegistryContractTest, OpenMissingKeyFails) {
    Key key;
    EXPECT_EQ(OpenKey(Hive::CurrentUser, root_ + "\\Nowhere", kKeyRead, key), kFileNotFound);
    EXPECT_FALSE(key.IsOpen());
}

TEST_F(RegistryContractTest, DeleteKeyRefusesAKeyWithSubkeysDeleteTreeTakesAll) {
    Key key;
    ASSERT_EQ(CreateKey(Hive::CurrentUser, root_ + "\\Parent\\Child", kKeyReadWrite, key, nullptr), kSuccess);
    key.Close();
    EXPECT_NE(DeleteKey(Hive::CurrentUser, root_ + "\\Parent"), kSuccess);
    EXPECT_EQ(DeleteKey(Hive::CurrentUser, root_ + "\\Parent\\Child"), kSuccess);
    EXPECT_EQ(DeleteKey(Hive::CurrentUser, root_ + "\\Parent"), kSuccess);
    EXPECT_EQ(DeleteKey(Hive::CurrentUser, root_ + "\\Parent"), kFileNotFound);

    ASSERT_EQ(CreateKey(Hive::CurrentUser, root_ + "\\Tree\\A\\B", kKeyReadWrite, key, nullptr), kSuccess);
    key.Close();
    EXPECT_EQ(DeleteKeyTree(Hive::CurrentUser, root_ + "\\Tree"), kSuccess);
    Key gone;
    EXPECT_EQ(OpenKey(Hive::CurrentUser, root_ + "\\Tree", kKeyRead, gone), kFileNotFound);
}

TEST_F(RegistryContractTest, EnumeratesSubkeysAndValues) {
    for (const char* name : {"Mozilla Firefox 120.0", "Opera Stable", "Other"}) {
        Key key;
        ASSERT_EQ(CreateKey(Hive::CurrentUser, root_ + "\\" + name, kKeyReadWrite, key, nullptr), kSuccess);
        const std::uint32_t one = 1;
        ASSERT_EQ(key.SetValue("V", kTypeDword, &one, 4), kSuccess);
    }
    Key root;
    ASSERT_EQ(OpenKey(Hive::CurrentUser, root_, kKeyRead, root), kSuccess);
    std::set<std::string> names;
    std::string name;
    std::uint32_t index = 0;
    while (root.EnumSubkey(index, name) == kSuccess) {
        names.insert(name);
        ++index;
    }
    EXPECT_EQ(root.EnumSubkey(index, name), kNoMoreItems);
    EXPECT_EQ(names, (std::set<std::string>{"Mozilla Firefox 120.0", "Opera Stable", "Other"}));

    Key child;
    ASSERT_EQ(OpenKey(Hive::CurrentUser, root_ + "\\Other", kKeyRead, child), kSuccess);
    ASSERT_EQ(child.EnumValue(0, name), kSuccess);
    EXPECT_EQ(name, "V");
    EXPECT_EQ(child.EnumValue(1, name), kNoMoreItems);
}

TEST_F(RegistryContractTest, ManyThreadsWriteAndReadAtOnce) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([this, t] {
            for (std::uint32_t i = 0; i < 200; ++i) {
                Key key;
                if (CreateKey(Hive::CurrentUser, root_ + "\\T" + std::to_string(t), kKeyReadWrite, key,
                              nullptr) != kSuccess) {
                    ADD_FAILURE();
                    return;
                }
                key.SetValue("Count", kTypeDword, &i, 4);
                std::uint32_t read = 0;
                std::uint32_t size = 4;
                EXPECT_EQ(key.QueryValue("Count", nullptr, &read, &size), kSuccess);
                EXPECT_EQ(read, i);
            }
        });
    }
    for (auto& thread : threads) thread.join();
}

}  // namespace
}  // namespace vestrel::platform::registry
