// Proxy texts, catalogue pieces, the body as it is assembled, and the tested-list model.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/CatalogueLines.h"
#include "catalogue/ProxyText.h"
#include "catalogue/TestedList.h"
#include "catalogue/WizardChoices.h"

namespace vestrel::catalogue {
namespace {

struct ParseCase {
    std::string text;
    std::string host;
    std::int32_t port;
    std::string key;
    std::string country;
    bool supports_post;
};

TEST(ProxyTextTest, EveryTextFormParsesByTheSharedRules) {
    const std::vector<ParseCase> cases = {
        {"1.2.3.4:8080->Canada", "1.2.3.4", 8080, "1.2.3.4:8080", "Canada", false},
        {"1.2.3.4:8080->Canada <supports POST>", "1.2.3.4", 8080, "1.2.3.4:8080", "Canada <supports POST>",
         true},
        // The key is rebuilt from the parsed port, not copied.
        {"1.2.3.4:080", "1.2.3.4", 80, "1.2.3.4:80", "", false},
        {"5.6.7.8:3128->", "5.6.7.8", 3128, "5.6.7.8:3128", "", false},
        // Without ":" the host is empty and the whole text is read as the number.
        {"abc", "", 0, ":0", "", false},
        {" 42xyz", "", 42, ":42", "", false},
        {"host: -12->X", "host", -12, "host:-12", "X", false},
        {"host:+7", "host", 7, "host:7", "", false},
        // Only the first ":" and the first "->" count.
        {"a:1:2->B->C", "a", 1, "a:1", "B->C", false},
        // A marker at position 0 does not count.
        {"<supports POST>", "", 0, ":0", "", false},
        {"a:1-><supports POST>", "a", 1, "a:1", "<supports POST>", true},
        // Case-sensitive marker search.
        {"a:1->X <Supports POST>", "a", 1, "a:1", "X <Supports POST>", false},
        // A port far beyond 32 bits is clamped rather than overflowing.
        {"a:99999999999999999999", "a", 2147483647, "a:2147483647", "", false},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.text);
        const ProxyEntry entry = ParseProxyText(c.text);
        EXPECT_EQ(entry.line, c.text);
        EXPECT_EQ(entry.host, c.host);
        EXPECT_EQ(entry.port, c.port);
        EXPECT_EQ(AddressKeyOf(c.text), c.key);
        EXPECT_EQ(entry.country, c.country);
        EXPECT_EQ(entry.supports_post, c.supports_post);
        EXPECT_EQ(entry.response_time, "Not Tested");
        EXPECT_EQ(entry.download_speed, "");
    }
}

std::vector<std::string> Pieces(std::string_view body) {
    std::vector<std::string> pieces;
    ForEachCatalogueLine(body, [&](std::string_view piece) { pieces.emplace_back(piece); });
    return pieces;
}

TEST(CatalogueLinesTest, PiecesAreCutAtSeparatorsTrimmedAndFilteredForNull) {
    using List = std::vector<std::string>;
    EXPECT_EQ(Pieces("a:1->X<br />null<br />b:2->Y<br />tail"), (List{"a:1->X", "b:2->Y"}));
    EXPECT_EQ(Pieces("no separator at all"), List{});
    // The line break a service writes after each separator does not stick to the next host; a body
    // read over WinInet has CR CR LF there.
    EXPECT_EQ(Pieces("a:1->X<br />\r\r\nb:2->Y<br />\r\n"), (List{"a:1->X", "b:2->Y"}));
    EXPECT_EQ(Pieces("  a:1->X \t<br /><br />\r\n<br />"), List{"a:1->X"});
    // "null" in the address part drops the piece; a country that only contains the letters does not.
    EXPECT_EQ(Pieces("9.9.9.9:80->Annulled<br />null:80->X<br />1.1.1.1:null->Y<br />null<br />"),
              List{"9.9.9.9:80->Annulled"});
    EXPECT_EQ(Pieces("1.2.3.4:80 null<br />"), List{});
}

TEST(CatalogueLinesTest, ImageOneOnlyForAMarkerAfterTheStart) {
    const std::vector<std::string> pieces = Pieces("a:1->X <supports POST><br /><supports POST>a:1->X<br />");
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(CatalogueImageIndex(pieces[0]), 1);
    EXPECT_EQ(CatalogueImageIndex(pieces[1]), 0);
    EXPECT_EQ(CatalogueImageIndex("a:1->X"), 0);
}

std::string Assemble(const std::vector<std::string>& chunks) {
    BodyAssembler body;
    for (const std::string& chunk : chunks) body.Feed(chunk);
    body.Finish();
    return body.Body();
}

TEST(BodyAssemblerTest, LineFeedsBecomeCrLfWhateverTheChunking) {
    EXPECT_EQ(Assemble({"a\nb\r\nc"}), "a\r\nb\r\r\nc");
    EXPECT_EQ(Assemble({"a", "\n", "b\r", "\nc"}), "a\r\nb\r\r\nc");
    EXPECT_EQ(Assemble({}), "");
}

TEST(BodyAssemblerTest, NulEndsOnlyTheReadItIsIn) {
    // A read ends after its LF: the NUL cuts "x" and that LF, not the next line.
    EXPECT_EQ(Assemble({std::string("ab\0x\ncd\n", 8)}), "abcd\r\n");
    // A line longer than one read: the NUL cuts the rest of that 4095-byte read only.
    std::string long_line(BodyAssembler::kReadSize, 'a');
    long_line[10] = '\0';
    const std::string body = Assemble({long_line + "tail\n"});
    EXPECT_EQ(body, std::string(10, 'a') + "tail\r\n");
}

TEST(BodyAssemblerTest, KeepsEveryByteOfALargeBody) {
    std::string chunk;
    for (int i = 0; i < 1000; ++i) chunk += "10.0.0." + std::to_string(i % 250) + ":8080->Land<br />\n";
    BodyAssembler body;
    for (int i = 0; i < 100; ++i) body.Feed(chunk);
    body.Finish();
    EXPECT_EQ(body.ReceivedBytes(), chunk.size() * 100);
    std::size_t count = 0;
    ForEachCatalogueLine(body.Body(), [&](std::string_view) { ++count; });
    EXPECT_EQ(count, 100000u);
}

TestedRow Row(std::string address, std::string country = "") {
    return {std::move(address), std::move(country), std::string(kNotTested), ""};
}

TEST(TestedListTest, FindTestedRowIsExactAndCaseSensitive) {
    TestedList list;
    list.AppendRow(Row("proxy.example:80"));
    list.AppendRow(Row("1.2.3.4:80"));
    list.AppendRow(Row("1.2.3.4:80"));
    EXPECT_EQ(FindTestedRow(list, "1.2.3.4:80"), 1);
    EXPECT_EQ(FindTestedRow(list, "PROXY.example:80"), -1);
    EXPECT_EQ(FindTestedRow(list, "1.2.3.4:8"), -1);
    EXPECT_EQ(FindTestedRow(list, ""), -1);
}

TEST(TestedListTest, PutTestedRowAppendsNewAndReplacesKnownInPlace) {
    TestedList list;
    list.AppendRow(Row("a:1", "A"));
    list.AppendRow(Row("b:2", "B"));
    EXPECT_TRUE(PutTestedRow(list, {"c:3", "C", "5 milliseconds", "331.20 KB/sec"}));
    EXPECT_FALSE(PutTestedRow(list, {"a:1", "A2", "7 milliseconds", "236.57 KB/sec"}));
    ASSERT_EQ(list.RowCount(), 3u);
    EXPECT_EQ(list.Row(0), (TestedRow{"a:1", "A2", "7 milliseconds", "236.57 KB/sec"}));
    EXPECT_EQ(list.Cell(1, kAddressColumn), "b:2");
    EXPECT_EQ(list.Cell(2, kAddressColumn), "c:3");
}

TEST(TestedListTest, ObserverSeesEveryChangeWithItsIndex) {
    struct Recorder : TestedList::Observer {
        std::vector<std::string> events;
        void RowInserted(std::size_t i) override { events.push_back("insert " + std::to_string(i)); }
        void RowDeleted(std::size_t i) override { events.push_back("delete " + std::to_string(i)); }
        void CellChanged(std::size_t i, std::size_t c) override {
            events.push_back("cell " + std::to_string(i) + "," + std::to_string(c));
        }
        void AllRowsDeleted() override { events.push_back("clear"); }
    } recorder;
    TestedList list;
    list.SetObserver(&recorder);
    list.InsertRow(5, Row("a:1"));  // past the end: appended, like a list view does
    list.InsertRow(0, Row("b:2"));
    list.SetCell(1, kResponseTimeColumn, "1 miliseconds");
    EXPECT_FALSE(list.DeleteRow(9));
    list.DeleteRow(0);
    list.DeleteAllRows();
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"insert 0", "insert 0", "cell 1,2", "delete 0", "clear"}));
}

TEST(TestedBoxTest, StartsAndEmptiesToTheCommandEntry) {
    TestedBox box;
    EXPECT_EQ(box.Strings(), std::vector<std::string>{"Perform empty list"});
    box.Fill({"1.2.3.4:80->Canada", "5.6.7.8:3128"});
    box.Add("9.9.9.9:80->X <supports POST>");
    EXPECT_EQ(box.Strings().size(), 4u);
    EXPECT_EQ(box.Strings()[0], "Perform empty list");
    EXPECT_EQ(box.Strings()[3], "9.9.9.9:80->X <supports POST>");
    box.Empty();
    EXPECT_EQ(box.Strings(), std::vector<std::string>{"Perform empty list"});
}

}  // namespace
}  // namespace vestrel::catalogue

namespace vestrel::catalogue {
namespace {

TEST(WizardChoicesTest, LocationsForBrowsingAndPostingAndProxiesInListOrder) {
    const std::vector<std::string> lines = {
        "1.1.1.1:80->Canada", "2.2.2.2:80->Brazil", "3.3.3.3:80->Canada <supports POST>",
        "1.1.1.1:80->Canada", "4.4.4.4:80->canada", "<supports POST>5.5.5.5:80->Peru",
        "6.6.6.6:80->Zambia", "7.7.7.7:80",
    };
    EXPECT_EQ(WizardLocations(lines, false),
              (std::vector<std::string>{"Brazil", "Canada", "Peru", "Zambia", "canada"}));
    EXPECT_EQ(WizardLocations(lines, true), (std::vector<std::string>{"Canada"}));
    EXPECT_EQ(WizardProxies(lines, "Canada", false),
              (std::vector<std::string>{"1.1.1.1:80->Canada", "3.3.3.3:80->Canada <supports POST>"}));
    EXPECT_EQ(WizardProxies(lines, "Canada", true),
              (std::vector<std::string>{"3.3.3.3:80->Canada <supports POST>"}));
    EXPECT_TRUE(WizardProxies(lines, "Peru", true).empty());

    // More than the 270 texts the wizard's table once held are all kept.
    std::vector<std::string> many;
    for (int i = 0; i < 400; ++i)
        many.push_back("10.0.0.1:" + std::to_string(i + 1) + "->Land" + std::to_string(1000 + i));
    EXPECT_EQ(WizardLocations(many, false).size(), 400u);
    EXPECT_EQ(WizardProxies(many, "Land", false).size(), 400u);
}

TEST(ProxyTextTest, TypedAddressMustBeHostColonPortWithOrWithoutAProxysScheme) {
    for (const char* good : {"12.12.12.12:80", "proxy.example:3128", "1.2.3.4:65535", "1.2.3.4:1->Canada",
                             "socks5://1.2.3.4:1080", "socks4://proxy.example:1080", "http://1.2.3.4:80",
                             "SOCKS5://1.2.3.4:1080->DE"})
        EXPECT_TRUE(IsProxyAddressText(good)) << good;
    for (const char* bad : {"", "abc", ":80", "1.2.3.4:", "1.2.3.4:0", "1.2.3.4:65536", "1.2.3.4:80x",
                            "1.2.3.4:-1", "1.2 3.4:80", "1.2.3.4:999999", "1.2.3.4: 80", "ftp://1.2.3.4:21",
                            "socks5://", "socks5://1.2.3.4", "socks5://:1080", "socks5:1.2.3.4:1080"})
        EXPECT_FALSE(IsProxyAddressText(bad)) << bad;
}

// The address a text's proxy is filed under (the tested list, the grades, the relay) keeps what the
// proxy is: its protocol, when it is not HTTP, and its credentials; the country and a POST marker go.
TEST(ProxyTextTest, ProxyAddressKeepsTheProtocolAndCredentials) {
    struct Case {
        const char* text;
        const char* address;
        const char* type;
    };
    for (const Case& c : std::vector<Case>{
             {"1.2.3.4:8080->Canada <supports POST>", "1.2.3.4:8080", "HTTP"},
             {"http://1.2.3.4:080", "1.2.3.4:80", "HTTP"},
             {"https://1.2.3.4:443->NL", "1.2.3.4:443", "HTTP"},
             {"socks5://1.2.3.4:1080->DE", "socks5://1.2.3.4:1080", "SOCKS5"},
             {"socks5h://u:p@w@1.2.3.4:1080", "socks5h://u:p@w@1.2.3.4:1080", "SOCKS5"},
             {"socks4://1.2.3.4:4145", "socks4://1.2.3.4:4145", "SOCKS4"},
             {"SOCKS4A://host.example:1080->", "socks4a://host.example:1080", "SOCKS4"},
             {"user:secret@1.2.3.4:3128->BR", "user:secret@1.2.3.4:3128", "HTTP"},
         }) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ProxyAddressOf(c.text), c.address);
        EXPECT_EQ(ProtocolName(ProxyProtocolOf(c.text)), c.type);
        // Filed once, the same address again.
        EXPECT_EQ(ProxyAddressOf(ProxyAddressOf(c.text)), c.address);
    }
}

}  // namespace
}  // namespace vestrel::catalogue
