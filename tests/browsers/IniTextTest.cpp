// Initialisation-file text: one value set or read, every other byte kept; and the profile-string
// writer (the system's under Wine, ours natively) writing what the reader reads back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browsers/IniText.h"
#include "tests/browsers/BrowserTestSupport.h"

namespace vestrel::browsers {
namespace {

struct SetCase {
    const char* name;
    std::string input;
    std::string section;
    std::string key;
    std::string expected;
};

TEST(IniTextTest, SetsOneValueAndKeepsTheRest) {
    const std::string head = "Opera Preferences version 2.0\r\n; comment\r\n\r\n";
    const std::vector<SetCase> cases = {
        {"existing key replaced, case and blanks ignored",
         head + "[User Prefs]\r\nHome URL=x\r\n\r\n[ proxy ]\r\nuse http = 0\r\nHTTP Server=a:1\r\n", "Proxy",
         "Use HTTP",
         head + "[User Prefs]\r\nHome URL=x\r\n\r\n[ proxy ]\r\nUse HTTP=V\r\nHTTP Server=a:1\r\n"},
        {"missing key added after the section's last line, before the blank line",
         head + "[Proxy]\r\nHTTP Server=a:1\r\n\r\n[Other]\r\nk=v\r\n", "Proxy", "Use HTTP",
         head + "[Proxy]\r\nHTTP Server=a:1\r\nUse HTTP=V\r\n\r\n[Other]\r\nk=v\r\n"},
        {"missing section appended", head + "[Other]\r\nk=v", "Proxy", "Use HTTP",
         head + "[Other]\r\nk=v\r\n[Proxy]\r\nUse HTTP=V\r\n"},
        {"same key name in another section untouched", "[A]\nUse HTTP=1\n[Proxy]\n", "Proxy", "Use HTTP",
         "[A]\nUse HTTP=1\n[Proxy]\nUse HTTP=V\n"},
        {"a commented key is not the key", "[Proxy]\n;Use HTTP=1\n", "Proxy", "Use HTTP",
         "[Proxy]\n;Use HTTP=1\nUse HTTP=V\n"},
        {"last line without a line break", "[Proxy]\nk=v", "Proxy", "Use HTTP", "[Proxy]\nk=v\nUse HTTP=V\n"},
        {"empty text", "", "Proxy", "Use HTTP", "[Proxy]\r\nUse HTTP=V\r\n"},
    };
    for (const SetCase& c : cases) {
        EXPECT_EQ(SetIniValue(c.input, c.section, c.key, "V"), c.expected) << c.name;
    }
}

TEST(IniTextTest, TheWriterWritesWhatTheReaderReads) {
    testing::TempFolder folder;
    const std::string path = folder.Make("Opera6.ini");
    testing::WriteText(path,
                       "Opera Preferences version 2.0\r\n\r\n[Proxy]\r\nUse HTTP=0\r\nFTP Server=f:21\r\n");
    ASSERT_TRUE(WriteIniFileValue("Proxy", "Use HTTP", "1", path));
    ASSERT_TRUE(WriteIniFileValue("Proxy", "HTTP Server", "127.0.0.1:8080", path));
    ASSERT_TRUE(WriteIniFileValue("User Prefs", "Home URL", "example.org", path));
    const auto text = testing::ReadText(path);
    ASSERT_TRUE(text);
    EXPECT_EQ(GetIniValue(*text, "Proxy", "Use HTTP"), "1");
    EXPECT_EQ(GetIniValue(*text, "Proxy", "HTTP Server"), "127.0.0.1:8080");
    EXPECT_EQ(GetIniValue(*text, "Proxy", "FTP Server"), "f:21");
    EXPECT_EQ(GetIniValue(*text, "User Prefs", "Home URL"), "example.org");
}

}  // namespace
}  // namespace vestrel::browsers
