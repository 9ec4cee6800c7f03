// Splitting the list service's URLs, which carry the ListServer text as typed into the registry.
#include <gtest/gtest.h>

#include "platform/http/HttpGet.h"

namespace vestrel::platform::http {
namespace {

TEST(HttpUrlTest, SplitsHostPortAndPathAndRejectsWhatCannotBeFetched) {
    const auto full = ParseUrl("http://127.0.0.1:8123/services/vx/proxy/sortedproxylist.txt");
    ASSERT_TRUE(full.has_value());
    EXPECT_EQ(full->host, "127.0.0.1");
    EXPECT_EQ(full->port, 8123);
    EXPECT_EQ(full->path, "/services/vx/proxy/sortedproxylist.txt");

    const auto bare = ParseUrl("HTTP://lists.example");
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(bare->host, "lists.example");
    EXPECT_EQ(bare->port, 80);
    EXPECT_EQ(bare->path, "/");

    for (const char* bad : {"http://", "http://:80/x", "http://h:0/x", "http://h:65536/x", "http://h:80x/x",
                            "http://h:/x", "ftp://h/x", "https://h/x"}) {
        EXPECT_FALSE(ParseUrl(bad).has_value()) << bad;
    }
}

}  // namespace
}  // namespace vestrel::platform::http
