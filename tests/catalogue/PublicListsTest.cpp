// Public proxy lists and judges as they really are, against real servers on loopback
// (tools/judge-proxies/judge-proxies.sh): a list of each real format read over HTTPS with the
// certificate checked (under Wine, the fixture's test CA trusted) or plain HTTP natively, then merged
// and counted as the refresh says it; and a real httpbin behind a front end that adds its own
// X-Forwarded-For judging real tinyproxy and squid proxies against its own baseline.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "CatalogueTestSupport.h"
#include "catalogue/ListSources.h"
#include "catalogue/ProxyJudge.h"
#include "platform/fs/Files.h"
#include "settings/RegStringSetting.h"
#include "tests/support/TestCa.h"

namespace vestrel::catalogue {
namespace {

using namespace std::chrono_literals;

std::map<std::string, int> ReadPeers(std::string& folder) {
    const std::string path = testing::FixturePath("VESTREL_JUDGE_PEERS_FILE");
    folder = path.substr(0, path.find_last_of("/\\") + 1);
    return testing::ReadPeersFile(path);
}

class PublicListsScenario : public ::testing::Test {
  protected:
    void SetUp() override {
        peers_ = ReadPeers(folder_);
        ASSERT_GT(peers_["httpbin"], 0)
            << "no peers file: run this test through ctest (VESTREL_JUDGE_PEERS_FILE)";
        ca_ = platform::fs::ReadWholeFile(folder_ + "test-ca.pem").value_or("");
        ASSERT_FALSE(ca_.empty());
        ASSERT_TRUE(vestrel::testing::TrustTestCa(ca_));
        TheRealAddress().Forget();
    }
    void TearDown() override { TheRealAddress().Forget(); }

    std::string At(const char* peer) { return "127.0.0.1:" + std::to_string(peers_[peer]); }

    std::map<std::string, int> peers_;
    std::string folder_;
    std::string ca_;
    testing::ScopedProgramValues clean_{
        {"ListServer", "JudgeUrl", "JudgeHttpsUrl", "PublicLists", "ListSources"}};
};

TEST_F(PublicListsScenario, EveryRealFormatIsReadAndCounted) {
#ifdef _WIN32
    const std::string base = "https://" + At("list_https") + "/lists/";
#else
    const std::string base = "http://" + At("list") + "/lists/";
#endif
    const std::vector<std::string> names = {"monosans-http", "monosans-all",  "proxifly-data", "speedx-http",
                                            "spys",          "monosans-json", "proxifly-json"};
    std::vector<std::string> urls;
    for (const std::string& name : names) urls.push_back(base + name + ".txt");
    urls.push_back(base + "missing.txt");
    // The public lists stay out of it: their table is not the fixture's.
    SetPublicListsIncluded(false);
    ASSERT_FALSE(WriteListSources(urls));
    ASSERT_EQ(RefreshSourceUrls(), urls);

#ifdef _WIN32
    // The certificate is checked for real: signed by a CA nobody trusts, the same list is refused.
    // The certificate is checked for real: the same list behind a self-signed certificate is refused.
    const std::string untrusted = "https://" + At("list_untrusted_https") + "/lists/spys.txt";
    EXPECT_FALSE(FetchListSources({untrusted})[0].ok) << "an HTTPS list from an unknown CA was taken";
#endif
    const std::vector<SourceOutcome> outcomes = FetchListSources(RefreshSourceUrls());
    ASSERT_EQ(outcomes.size(), urls.size());
    const std::string e = At("elite"), a = At("anonymous"), t = At("transparent"), n = At("nohttps"),
                      b = At("broken");
    using Lines = std::vector<std::string>;
    const std::string socks4_dead = "socks4://" + At("dead"), socks5_a = "socks5://" + a,
                      socks5_t = "socks5://" + t;
    const std::vector<Lines> expected = {
        {e, "user:secret@" + a, t},
        {socks4_dead, e, socks5_a, n},
        {e, n, socks5_t},
        // 127.000.000.001 is 127.0.0.1 (decimal, not octal), so the second line is the same proxy.
        {e, b},
        {t + "->CO", a + "->HK", n},
        {e + "->DE", socks5_a, "user:secret@" + t},
        {n, b + "->NL"},
    };
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_TRUE(outcomes[i].ok) << names[i];
        EXPECT_EQ(outcomes[i].lines, expected[i]) << names[i];
    }
    EXPECT_FALSE(outcomes.back().ok);
    // SOCKS proxies are kept with their protocol.
    EXPECT_EQ(outcomes[1].proxies[0].protocol, ProxyProtocol::kSocks4);
    EXPECT_EQ(outcomes[5].proxies[1].protocol, ProxyProtocol::kSocks5);
    // The credentials travel with the row to the relay.
    EXPECT_EQ(ProxyUser(outcomes[0].lines[1]), "user");
    EXPECT_EQ(ProxyPassword(outcomes[0].lines[1]), "secret");
    EXPECT_EQ(ProxyHost(outcomes[0].lines[1]), "127.0.0.1");
    EXPECT_EQ(ProxyPort(outcomes[0].lines[1]), peers_["anonymous"]);

    // Each proxy once in the New list, a SOCKS one beside an HTTP one at the same address, and the
    // message names what came and what failed.
    const Lines merged = MergeSourceLines({}, outcomes);
    EXPECT_EQ(merged, (Lines{e, "user:secret@" + a, t, socks4_dead, socks5_a, n, socks5_t, b}));
    EXPECT_EQ(RefreshMessage("http://service/list", false, merged.size(), outcomes),
              "8 proxies from 7 lists. The list at http://service/list could not be read. The list at " +
                  urls.back() + " could not be read.");
}

TEST_F(PublicListsScenario, HttpbinGradesAgainstItsOwnBaseline) {
    settings::RegStringSetting(settings::kJudgeUrl).set("http://" + At("httpbin") + "/get?show_env=1");
    settings::RegStringSetting(settings::kJudgeHttpsUrl)
        .set("https://" + At("httpbin_https") + "/get?show_env=1");
    const std::vector<std::string> real = TheRealAddress().Addresses();
    ASSERT_EQ(TheRealAddress().Public(), std::optional<std::string>("127.0.0.1"));
    // The front end's own headers are in the baseline: X-Forwarded-For with our address.
    const std::optional<JudgeView> baseline = TheRealAddress().Baseline();
    ASSERT_TRUE(baseline.has_value());
    EXPECT_NE(std::find_if(baseline->headers.begin(), baseline->headers.end(),
                           [](const auto& header) { return header.first == "X-Forwarded-For"; }),
              baseline->headers.end());

    struct Expectation {
        const char* peer;
        Grade grade;
        bool https;
    };
    for (const Expectation& expected :
         {Expectation{"elite", Grade::kElite, true}, Expectation{"anonymous", Grade::kAnonymous, true},
          Expectation{"transparent", Grade::kTransparent, true}, Expectation{"nohttps", Grade::kElite, false},
          Expectation{"broken", Grade::kBroken, false}}) {
        const JudgeResult result = JudgeProxy("127.0.0.1", peers_[expected.peer], real);
        EXPECT_EQ(GradeText(result.grade), GradeText(expected.grade)) << expected.peer;
        EXPECT_EQ(result.https, expected.https) << expected.peer;
    }

    // No judge answers the direct ask: nothing is graded against an empty address.
    settings::RegStringSetting(settings::kJudgeUrl).set("http://" + At("dead") + "/get");
    TheRealAddress().Forget();
    JudgeOptions quick;
    quick.connect_timeout = 2s;
    TheRealAddress().Addresses(quick);
    EXPECT_FALSE(TheRealAddress().Public().has_value());
    EXPECT_EQ(GradeText(JudgeProxy("127.0.0.1", peers_["elite"], {"127.0.0.1"}, quick).grade), "Not checked");
}

}  // namespace
}  // namespace vestrel::catalogue
