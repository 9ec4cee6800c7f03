// Reading judges' answers and grading them: the address forms that give a user away, the two answer
// formats, and answers a proxy has tampered with. Also the grade file and the list-sources texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CatalogueTestSupport.h"
#include "catalogue/ListSources.h"
#include "catalogue/ProxyJudge.h"
#include "platform/fs/Files.h"

namespace vestrel::catalogue {
namespace {

using Headers = std::vector<std::pair<std::string, std::string>>;

JudgeView ViewWith(Headers headers, std::string remote = "203.0.113.9") {
    return JudgeView{std::move(remote), std::move(headers), "m=feedfacecafebeef"};
}

struct GradeCase {
    const char* what;
    JudgeView view;
    std::vector<std::string> real;
    Grade expected;
};

TEST(JudgeGrade, AddressesAreFoundAsWholeAddressesInEveryForm) {
    const std::vector<GradeCase> cases = {
        {"IPv6 in an X-Forwarded-For list, written differently",
         ViewWith({{"X-Forwarded-For", "198.51.100.7, 2001:db8:0:0:0:0:0:1"}}),
         {"2001:DB8::1"},
         Grade::kTransparent},
        {"Forwarded for= with a bracketed IPv6 and a port",
         ViewWith({{"Forwarded", "for=\"[2001:db8::1]:4711\";proto=http;by=203.0.113.43"}}),
         {"2001:db8::1"},
         Grade::kTransparent},
        {"IPv4 with a port in an unnamed header",
         ViewWith({{"X-Origin", "1.2.3.4:5678"}}),
         {"1.2.3.4"},
         Grade::kTransparent},
        {"IPv4-mapped IPv6 is the IPv4 address",
         ViewWith({{"X-Client", "::ffff:10.1.2.3"}}),
         {"10.1.2.3"},
         Grade::kTransparent},
        {"the remote address itself", ViewWith({}, "192.0.2.55"), {"192.0.2.55"}, Grade::kTransparent},
        {"a longer address that starts with ours is not ours",
         ViewWith({{"X-Forwarded-For", "127.0.0.10, 11.2.3.4"}}),
         {"127.0.0.1", "1.2.3.4"},
         Grade::kAnonymous},
        {"a different IPv6 address",
         ViewWith({{"Forwarded", "for=\"[2001:db8::2]\""}}),
         {"2001:db8::1"},
         Grade::kAnonymous},
        {"Via alone", ViewWith({{"Via", "1.1 first (tinyproxy/1.11.1)"}}), {"1.1.1.1"}, Grade::kAnonymous},
        {"proxy headers by name in any case",
         ViewWith({{"x-real-ip", "10.9.9.9"}}),
         {"1.2.3.4"},
         Grade::kAnonymous},
        {"nothing of a proxy",
         ViewWith({{"Host", "judge"}, {"User-Agent", "Mozilla/5.0 (X11; rv:1.2.3.4)"}}),
         {"1.2.3.4"},
         Grade::kElite},
    };
    for (const GradeCase& c : cases) {
        EXPECT_EQ(GradeView(c.view, c.real, "feedfacecafebeef"), c.expected) << c.what;
    }
    JudgeView lost = ViewWith({});
    lost.query = "m=0000000000000000";
    EXPECT_EQ(GradeView(lost, {"1.2.3.4"}, "feedfacecafebeef"), Grade::kBroken) << "marker missing";
}

TEST(JudgeAnswer, ReadsOurJsonWithEscapes) {
    const std::optional<JudgeView> view = ParseJudgeAnswer(
        " {\"headers\": [[\"Host\", \"j\"], [\"X-Note\", \"caf\\u00e9 \\ud83d\\ude00 \\\"q\\\" \\/\"]],"
        " \"remote_addr\": \"127.0.0.2\", \"query\": \"m=abc\"}\n");
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(view->remote_address, "127.0.0.2");
    EXPECT_EQ(view->query, "m=abc");
    ASSERT_EQ(view->headers.size(), 2u);
    EXPECT_EQ(view->headers[1].second, "caf\xC3\xA9 \xF0\x9F\x98\x80 \"q\" /");

    for (const char* bad : {
             "{\"remote_addr\": \"1.2.3.4\", \"query\": \"m\", \"headers\": []}<script>x()</script>",
             "<p>ad</p>{\"remote_addr\": \"1.2.3.4\", \"query\": \"m\", \"headers\": []}",
             "{\"remote_addr\": \"1.2.3.4\", \"query\": \"m\", \"headers\": [], \"extra\": 1}",
             "{\"remote_addr\": \"1.2.3.4\", \"query\": \"\\ud800\", \"headers\": []}",
             "{\"remote_addr\": \"1.2.3.4\", \"headers\": []}",
             "{\"remote_addr\": \"1.2.3.4\", \"query\": \"m\", \"headers\": [[\"A\"]]}",
             "{\"remote_addr\": \"1.2.3.4\", \"query\": \"m\", \"headers\": [",
         }) {
        EXPECT_FALSE(ParseJudgeAnswer(bad).has_value()) << bad;
    }
}

TEST(JudgeAnswer, ReadsTheEnvironmentEchoInItsVariants) {
    const std::optional<JudgeView> plain = ParseJudgeAnswer(
        "REMOTE_ADDR = 198.51.100.4\nQUERY_STRING = m=abc\nREQUEST_METHOD = GET\n"
        "HTTP_X_FORWARDED_FOR = 10.0.0.1, 2001:db8::1\nHTTP_VIA: 1.1 squid\n");
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->remote_address, "198.51.100.4");
    EXPECT_EQ(plain->query, "m=abc");
    const Headers expected = {{"X-Forwarded-For", "10.0.0.1, 2001:db8::1"}, {"Via", "1.1 squid"}};
    EXPECT_EQ(plain->headers, expected);
    EXPECT_EQ(GradeView(*plain, {"2001:DB8:0::1"}, "abc"), Grade::kTransparent);

    const std::optional<JudgeView> html = ParseJudgeAnswer(
        "<html><body><pre>\r\nREMOTE_ADDR = 203.0.113.1<br>QUERY_STRING = m=abc<br />"
        "HTTP_FORWARDED = for=&quot;[2001:db8::1]:4711&quot;<BR/>\r\n</pre></body></html>\r\n");
    ASSERT_TRUE(html.has_value());
    ASSERT_EQ(html->headers.size(), 1u);
    EXPECT_EQ(html->headers[0].first, "Forwarded");
    EXPECT_EQ(GradeView(*html, {"2001:db8::1"}, "abc"), Grade::kTransparent);

    for (const char* bad : {
             "REMOTE_ADDR = 1.2.3.4\nQUERY_STRING = m\n<script src=\"http://ads/a.js\"></script>\n",
             "<html><body><img src=x>\nREMOTE_ADDR = 1.2.3.4\n</body></html>",
             "QUERY_STRING = m=abc\nHTTP_VIA = 1.1 x\n",
             "<html><body>Access denied</body></html>",
             "",
         }) {
        EXPECT_FALSE(ParseJudgeAnswer(bad).has_value()) << bad;
    }
}

TEST(GradeBook, SavesAndLoadsPassingOverMalformedLines) {
    testing::ScratchFolder folder;
    const std::string path = folder.File(kGradeFileName);
    GradeBook book;
    book.Put("127.0.0.1:8080", {Grade::kElite, true, "127.0.0.2"});
    book.Put("10.0.0.1:3128", {Grade::kBroken, false, ""});
    book.Put("127.0.0.1:8080", {Grade::kAnonymous, true, "127.0.0.3\tinjected\nline"});
    ASSERT_FALSE(book.Save(path));
    std::string bytes = *platform::fs::ReadWholeFile(path);
    bytes += "garbage without tabs\n1.2.3.4:1\tSuperb\t-\t\n5.6.7.8:9\tElite\tmaybe\t\n";
    ASSERT_FALSE(platform::fs::WriteFileAtomically(path, bytes));

    GradeBook loaded;
    loaded.Load(path);
    const std::optional<JudgeResult> first = loaded.Find("127.0.0.1:8080");
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->grade, Grade::kAnonymous);
    EXPECT_TRUE(first->https);
    EXPECT_EQ(first->exit_address, "127.0.0.3injectedline");
    EXPECT_EQ(loaded.Find("10.0.0.1:3128")->grade, Grade::kBroken);
    EXPECT_FALSE(loaded.Find("1.2.3.4:1").has_value());
    EXPECT_FALSE(loaded.Find("5.6.7.8:9").has_value());
    loaded.Remove("10.0.0.1:3128");
    EXPECT_FALSE(loaded.Find("10.0.0.1:3128").has_value());

    GradeBook missing;
    missing.Load(folder.File("none.txt"));
    EXPECT_FALSE(missing.Find("127.0.0.1:8080").has_value());
}

TEST(ListSources, PlainListsAndTheSourcesSetting) {
    const std::vector<std::string> lines = ParsePlainList(
        "# my proxies\r\n\r\n1.2.3.4:8080\r\nhttp://5.6.7.8:3128/\n  socks5://9.9.9.9:1080->Chile \n"
        "1.2.3.4:8080->Dup\nnot a proxy\n10.0.0.1:99999\nhost.example:80");
    // The SOCKS proxy keeps its scheme; an HTTP one is written as it always was.
    const std::vector<std::string> expected = {"1.2.3.4:8080", "5.6.7.8:3128", "socks5://9.9.9.9:1080->Chile",
                                               "host.example:80"};
    EXPECT_EQ(lines, expected);
    // A list that stands for one protocol (a socks4 file of bare lines): its bare lines speak it, a line
    // with a scheme its own, and the same address under two protocols is two proxies.
    EXPECT_EQ(ParsePlainList("1.2.3.4:4145\nhttp://1.2.3.4:4145\nsocks5://1.2.3.4:4145\n1.2.3.4:4145",
                             ProxyProtocol::kSocks4),
              (std::vector<std::string>{"socks4://1.2.3.4:4145", "1.2.3.4:4145", "socks5://1.2.3.4:4145"}));
    EXPECT_EQ(UnsaidProtocolOf("https://raw.githubusercontent.com/TheSpeedX/PROXY-List/master/socks5.txt"),
              ProxyProtocol::kSocks5);
    EXPECT_EQ(
        UnsaidProtocolOf("https://raw.githubusercontent.com/monosans/proxy-list/main/proxies/socks4.txt"),
        ProxyProtocol::kSocks4);
    EXPECT_EQ(UnsaidProtocolOf("http://lists.example/socks5.txt"), ProxyProtocol::kHttp);

    const std::vector<SourceOutcome> sources = {
        {"http://a/list.txt", true, {"5.6.7.8:3128", "1.1.1.1:80"}, {}},
        {"http://dead/list.txt", false, {}, {}},
        {"http://b/list.txt", true, {"1.1.1.1:80->Elsewhere", "2.2.2.2:8080"}, {}},
    };
    const std::vector<std::string> merged = MergeSourceLines({"5.6.7.8:3128->Canada"}, sources);
    EXPECT_EQ(merged, (std::vector<std::string>{"5.6.7.8:3128->Canada", "1.1.1.1:80", "2.2.2.2:8080"}));
    EXPECT_EQ(FailedSourcesText(sources), "The list at http://dead/list.txt could not be read.");

    testing::ScopedProgramValues clean({"ListSources"});
    EXPECT_TRUE(ReadListSources().empty());
    ASSERT_FALSE(WriteListSources({"http://a/list.txt", "  ", "http://b/list.txt"}));
    EXPECT_EQ(ReadListSources(), (std::vector<std::string>{"http://a/list.txt", "http://b/list.txt"}));
    ASSERT_FALSE(WriteListSources({}));
    EXPECT_TRUE(ReadListSources().empty());
}

}  // namespace
}  // namespace vestrel::catalogue
