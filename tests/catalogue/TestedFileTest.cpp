// MyProxies.txt: loading, saving and appending, on disk as the platform writes text files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "catalogue/TestedFile.h"
#include "catalogue/TestedList.h"
#include "platform/fs/Files.h"
#include "settings/RegStringSetting.h"
#include "tests/catalogue/CatalogueTestSupport.h"

namespace vestrel::catalogue {
namespace {

#ifdef _WIN32
const std::string kBreak = "\r\n";
#else
const std::string kBreak = "\n";
#endif

class TestedFileTest : public ::testing::Test {
  protected:
    std::string Disk() const { return platform::fs::ReadWholeFile(path_).value_or("<missing>"); }
    void Put(const std::string& bytes) const {
        ASSERT_FALSE(platform::fs::WriteFileAtomically(path_, bytes));
    }

    testing::ScratchFolder folder_;
    const std::string path_ = folder_.File("MyProxies.txt");
};

TEST_F(TestedFileTest, LoadsCrLfAndLfLinesAndIgnoresAnUnfinishedLastLine) {
    Put("1.2.3.4:80->Canada\r\n5.6.7.8:3128\n\r\n9.9.9.9:1->Cut");
    TestedList list;
    LoadTestedFile(list, path_);
    ASSERT_EQ(list.RowCount(), 3u);
    EXPECT_EQ(list.Row(0), (TestedRow{"1.2.3.4:80", "Canada", "Not Tested", ""}));
    EXPECT_EQ(list.Row(1), (TestedRow{"5.6.7.8:3128", "", "Not Tested", ""}));
    EXPECT_EQ(list.Row(2), (TestedRow{"", "", "Not Tested", ""}));
    EXPECT_EQ(ReadTestedLines(path_), (std::vector<std::string>{"1.2.3.4:80->Canada", "5.6.7.8:3128", ""}));
}

TEST_F(TestedFileTest, MissingFileLoadsEmpty) {
    TestedList list;
    LoadTestedFile(list, folder_.File("absent.txt"));
    EXPECT_EQ(list.RowCount(), 0u);
    EXPECT_TRUE(ReadTestedLines(folder_.File("absent.txt")).empty());
}

TEST_F(TestedFileTest, SaveWritesAddressArrowCountryWithThePlatformsLineBreaks) {
    TestedList list;
    list.AppendRow({"1.2.3.4:80", "Canada", "Not Tested", ""});
    list.AppendRow({"5.6.7.8:3128", "", "3 miliseconds", "552.00 KB/sec"});
    ASSERT_FALSE(SaveTestedList(list, path_));
    EXPECT_EQ(Disk(), "1.2.3.4:80->Canada" + kBreak + "5.6.7.8:3128->" + kBreak);

    TestedList reloaded;
    LoadTestedFile(reloaded, path_);
    ASSERT_EQ(reloaded.RowCount(), 2u);
    EXPECT_EQ(reloaded.Cell(1, kAddressColumn), "5.6.7.8:3128");
    EXPECT_EQ(reloaded.Cell(1, kCountryColumn), "");

    ASSERT_FALSE(SaveTestedList(TestedList(), path_));
    EXPECT_EQ(Disk(), "");
}

// A SOCKS proxy's line carries its scheme; an HTTP proxy's stays as it always was written. A line with
// a scheme this version does not know (a later version's) is passed over, and the lines around it load.
TEST_F(TestedFileTest, SocksRowsKeepTheirSchemeAndAnUnknownLineCostsNoOther) {
    TestedList list;
    list.AppendRow({"1.2.3.4:80", "Canada", "Not Tested", ""});
    list.AppendRow({"socks5://5.6.7.8:1080", "DE", "3 miliseconds", "552.00 KB/sec"});
    list.AppendRow({"socks4://9.9.9.9:4145", "", "Not Tested", ""});
    ASSERT_FALSE(SaveTestedList(list, path_));
    EXPECT_EQ(Disk(), "1.2.3.4:80->Canada" + kBreak + "socks5://5.6.7.8:1080->DE" + kBreak +
                          "socks4://9.9.9.9:4145->" + kBreak);

    Put("quic://1.1.1.1:443->Future\r\n" + Disk().substr(0, Disk().find(kBreak) + kBreak.size()) +
        "socks6://2.2.2.2:1080->Later\r\nsocks5://5.6.7.8:1080->DE\r\n");
    TestedList reloaded;
    LoadTestedFile(reloaded, path_);
    ASSERT_EQ(reloaded.RowCount(), 2u);
    EXPECT_EQ(reloaded.Row(0), (TestedRow{"1.2.3.4:80", "Canada", "Not Tested", ""}));
    EXPECT_EQ(reloaded.Row(1), (TestedRow{"socks5://5.6.7.8:1080", "DE", "Not Tested", ""}));
    EXPECT_EQ(ReadTestedLines(path_),
              (std::vector<std::string>{"1.2.3.4:80->Canada", "socks5://5.6.7.8:1080->DE"}));
    // Appending keeps every line, those it cannot read included.
    ASSERT_FALSE(AppendTestedFile("socks4://9.9.9.9:4145", path_));
    EXPECT_NE(Disk().find("socks6://2.2.2.2:1080->Later"), std::string::npos);
    EXPECT_EQ(ReadTestedLines(path_).back(), "socks4://9.9.9.9:4145");
}

TEST_F(TestedFileTest, AFileFarOver4095BytesLoadsAndSavesWhole) {
    std::string bytes;
    for (int i = 0; i < 400; ++i)
        bytes += "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250) + ":8080->Land\r\n";
    ASSERT_GT(bytes.size(), 2 * 4095u);
    Put(bytes);
    TestedList list;
    LoadTestedFile(list, path_);
    ASSERT_EQ(list.RowCount(), 400u);
    EXPECT_EQ(list.Cell(399, kAddressColumn), "10.0.1.149:8080");
    // Removing the first proxy and saving keeps the other 399, those past 4095 bytes included.
    list.DeleteRow(0);
    ASSERT_FALSE(SaveTestedList(list, path_));
    TestedList reloaded;
    LoadTestedFile(reloaded, path_);
    ASSERT_EQ(reloaded.RowCount(), 399u);
    EXPECT_EQ(reloaded.Cell(398, kAddressColumn), "10.0.1.149:8080");
}

TEST_F(TestedFileTest, AppendKeepsEveryLineAndAddsOne) {
    std::string bytes;
    for (int i = 0; i < 300; ++i) bytes += "10.1.0." + std::to_string(i) + ":80->Far\r\n";
    Put(bytes + "typed.by.hand:81");
    ASSERT_FALSE(AppendTestedFile("1.2.3.4:8080->Canada <supports POST>", path_));
    const std::vector<std::string> lines = ReadTestedLines(path_);
    ASSERT_EQ(lines.size(), 302u);
    EXPECT_EQ(lines[0], "10.1.0.0:80->Far");
    EXPECT_EQ(lines[299], "10.1.0.299:80->Far");
    // The unfinished last line is kept, now ended, ahead of the new one.
    EXPECT_EQ(lines[300], "typed.by.hand:81");
    EXPECT_EQ(lines[301], "1.2.3.4:8080->Canada <supports POST>");
    const std::string disk = Disk();
    const std::string last = "1.2.3.4:8080->Canada <supports POST>" + kBreak;
    EXPECT_EQ(disk.substr(disk.size() - last.size()), last);
}

TEST_F(TestedFileTest, AppendToAMissingFileCreatesIt) {
    ASSERT_FALSE(AppendTestedFile("5.6.7.8:3128", path_));
    EXPECT_EQ(Disk(), "5.6.7.8:3128" + kBreak);
}

TEST_F(TestedFileTest, AFailedWriteIsReportedAndLeavesTheOldFileWhole) {
    const std::string old = "1.2.3.4:80->Canada" + kBreak + "5.6.7.8:3128->" + kBreak;
    Put(old);
    // A folder where the temporary file must go makes the write fail even for an administrator.
    std::filesystem::create_directory(path_ + ".tmp");
    TestedList list;
    list.AppendRow({"9.9.9.9:1", "X", "", ""});
    EXPECT_TRUE(SaveTestedList(list, path_));
    EXPECT_TRUE(AppendTestedFile("9.9.9.9:1->X", path_));
    EXPECT_EQ(Disk(), old);
}

TEST(TestedFilePathTest, IsMyProxiesTxtInTheAppPathFolder) {
    testing::ScopedProgramValues values({"AppPath"});
    settings::RegStringSetting(settings::kAppPath).set("C:\\Program Files\\Vestrel");
#ifdef _WIN32
    EXPECT_EQ(TestedFilePath(), "C:\\Program Files\\Vestrel\\MyProxies.txt");
#else
    EXPECT_EQ(TestedFilePath(), "C:\\Program Files\\Vestrel/MyProxies.txt");
#endif
}

}  // namespace
}  // namespace vestrel::catalogue
