// Every protocol tried, against real servers on loopback (tools/judge-proxies/judge-proxies.sh, with
// httpbin behind its front end as the judge): rows that say nothing of their protocol, and rows that
// say the wrong one, of an HTTP proxy (tinyproxy), a SOCKS5 proxy (microsocks) and a SOCKS4 proxy
// (danted, which answers a SOCKS5 greeting and then refuses every SOCKS5 request), beside a silent and
// a refusing one, go through quick anonymity's search and "Test All Proxies". Each ends with the
// protocol it answered in, graded through its tunnel from the address it leaves from, with HTTPS
// through the SOCKS tunnel; and failover, the proxy in use dead, moves the relay to a SOCKS row.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "CatalogueTestSupport.h"
#include "app/Anonymity.h"
#include "app/Failover.h"
#include "app/JudgeSocks.h"
#include "app/QuickAnonymity.h"
#include "catalogue/ProxyJudge.h"
#include "catalogue/ProxyTest.h"
#include "catalogue/TestedList.h"
#include "platform/net/Socket.h"
#include "relay/LocalRelay.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"

namespace vestrel::catalogue {
namespace {

using namespace std::chrono_literals;

// A plain page asked through the relay at `port`, as a browser would; the whole answer.
std::string PageThroughRelay(std::uint16_t port, const std::string& url) {
    std::error_code error;
    platform::net::Socket socket = platform::net::ConnectTcp("127.0.0.1", port, 5s, error);
    if (!socket.Valid()) return {};
    socket.SetReceiveTimeout(20s);
    const std::string host = url.substr(7, url.find('/', 7) - 7);
    if (!socket.SendAll("GET " + url + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n"))
        return {};
    std::string answer;
    char buffer[4096];
    for (std::ptrdiff_t got; (got = socket.Receive(buffer, sizeof(buffer))) > 0;)
        answer.append(buffer, static_cast<std::size_t>(got));
    return answer;
}

class ProtocolTrial : public ::testing::Test {
  protected:
    void SetUp() override {
        peers_ = testing::ReadPeersFile(testing::FixturePath("VESTREL_JUDGE_PEERS_FILE"));
        ASSERT_GT(peers_["socks4"], 0)
            << "no peers file: run this test through ctest (VESTREL_JUDGE_PEERS_FILE)";
        settings::RegStringSetting(settings::kJudgeUrl).set("http://" + At("httpbin") + "/get?show_env=1");
        settings::RegStringSetting(settings::kJudgeHttpsUrl)
            .set("https://" + At("httpbin_https") + "/get?show_env=1");
        TheRealAddress().Forget();
        app::UseRelaySocksInChecks();
    }
    void TearDown() override { TheRealAddress().Forget(); }

    std::string At(const char* peer) { return "127.0.0.1:" + std::to_string(peers_[peer]); }

    std::map<std::string, int> peers_;
    testing::ScopedProgramValues clean_{"JudgeUrl", "JudgeHttpsUrl", "UseProxy", "ProxyName", "LocalPort"};
};

TEST_F(ProtocolTrial, EachRowEndsWithTheProtocolItAnsweredInAndItsGrade) {
    const std::vector<std::string> real = TheRealAddress().Addresses();
    ASSERT_EQ(TheRealAddress().Public(), std::optional<std::string>("127.0.0.1"));

    // Quick anonymity's New list: bare rows, and an HTTP proxy a list called SOCKS4.
    const std::vector<std::string> lines = {At("silent"), At("elite"),
                                            At("socks5"), At("dead"),
                                            At("socks4"), "socks4://" + At("anonymous") + "->ZZ"};
    app::QuickSearchOptions options;
    options.first_limit = 1s;
    app::QuickSearch search(lines, {}, options);
    search.Run([&](const ProxyRoute& proxy, const std::atomic<bool>& cancel) {
        JudgeOptions judge;
        judge.cancel = &cancel;
        return JudgeProxy(proxy, real, judge);
    });
    EXPECT_EQ(search.Tested(), lines.size());
    struct Expected {
        std::string text;
        Grade grade;
        std::string exit_address;
    };
    const std::vector<Expected> expected = {
        {At("elite"), Grade::kElite, "127.0.0.2"},
        {"socks5://" + At("socks5"), Grade::kElite, "127.0.0.7"},
        {"socks4://" + At("socks4"), Grade::kElite, "127.0.0.8"},
        {At("anonymous") + "->ZZ", Grade::kAnonymous, "127.0.0.3"},
    };
    std::map<std::string, app::QuickFind> found;
    for (const app::QuickFind& find : search.Usable()) found[find.source_text] = find;
    EXPECT_EQ(found.size(), expected.size());
    for (const Expected& row : expected) {
        SCOPED_TRACE(row.text);
        const auto find = found.find(row.text);
        ASSERT_NE(find, found.end());
        EXPECT_EQ(GradeText(find->second.judged.grade), GradeText(row.grade));
        EXPECT_TRUE(find->second.judged.https);
        EXPECT_EQ(find->second.judged.exit_address, row.exit_address);
        EXPECT_GT(find->second.connect_ms, 0u);
    }
    // Elite before Anonymous.
    EXPECT_EQ(search.Usable().back().source_text, At("anonymous") + "->ZZ");

    // "Test All Proxies" over rows that say the wrong protocol: each row keeps the one it answered in,
    // with its grade; the silent and the refusing rows leave the list.
    TestedList list;
    for (const std::string& address : {"socks5://" + At("elite"), At("silent"), "socks5://" + At("socks4"),
                                       At("dead"), "socks4://" + At("socks5")}) {
        list.AppendRow({address, "XX", "", "", ""});
    }
    std::map<std::string, JudgeResult> graded;
    int saves = 0;
    TestAllHooks hooks;
    hooks.connect_time = [](const std::string& host, std::int32_t port) {
        return ConnectTime(host, port, 1s);
    };
    hooks.save_list = [&](const TestedList&) {
        ++saves;
        return std::error_code();
    };
    hooks.grade = [&](const std::string& address, const std::optional<JudgeResult>& result) {
        if (result) graded[address] = *result;
    };
    ASSERT_FALSE(TestAllProxies(list, hooks, kMaxParallelTests,
                                [&](const ProxyRoute& proxy, const std::atomic<bool>& cancel) {
                                    JudgeOptions judge;
                                    judge.cancel = &cancel;
                                    return JudgeProxy(proxy, real, judge);
                                }));
    const std::vector<std::string> kept = {At("elite"), "socks4://" + At("socks4"),
                                           "socks5://" + At("socks5")};
    ASSERT_EQ(list.RowCount(), kept.size());
    for (std::size_t row = 0; row < kept.size(); ++row) {
        SCOPED_TRACE(kept[row]);
        EXPECT_EQ(list.Cell(row, kAddressColumn), kept[row]);
        EXPECT_EQ(list.Cell(row, kCountryColumn), "XX");
        EXPECT_EQ(list.Cell(row, kGradeColumn), "Elite");
        ASSERT_EQ(graded.count(kept[row]), 1u);
        EXPECT_TRUE(graded[kept[row]].https);
    }
    // Saved once per row that moved to another protocol and once per row removed.
    EXPECT_EQ(saves, 5);

    // The proxy in use dies: failover chooses among the rows of every protocol, and the relay then
    // speaks that row's protocol to it, so pages leave from the SOCKS proxy's address.
    app::ProxyLists& lists = app::TheProxyLists();
    lists.tested = TestedList();
    for (std::size_t row = 1; row < kept.size(); ++row) lists.tested.AppendRow(list.Row(row));
    lists.grades = GradeBook();
    settings::RegDwordSetting(settings::kUseProxy).set(1);
    settings::RegStringSetting(settings::kProxyName).set(At("dead"));
    relay::LocalRelay& relay = relay::TheLocalRelay();
    ASSERT_TRUE(relay.start(0, relay::Upstream{relay::UpstreamProtocol::Http, "127.0.0.1",
                                               static_cast<std::uint16_t>(peers_["dead"]), "", ""}));
    settings::RegDwordSetting(settings::kLocalPort).set(relay.boundPort());
    const std::vector<app::FailoverCandidate> candidates = app::FailoverCandidates(At("dead"));
    ASSERT_EQ(candidates.size(), 2u);
    const std::optional<app::FailoverCandidate> chosen = app::ChooseReplacement(candidates);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_NE(app::FinishFailover(At("dead"), chosen, {}).find("now using 127.0.0.1:"), std::string::npos);
    EXPECT_EQ(settings::RegStringSetting(settings::kProxyName).get(), chosen->address);
    const std::string page =
        PageThroughRelay(relay.boundPort(), "http://" + At("httpbin") + "/get?show_env=1");
    const std::optional<JudgeView> seen = ParseJudgeAnswer(page.substr(page.find("\r\n\r\n") + 4));
    ASSERT_TRUE(seen.has_value()) << page;
    EXPECT_EQ(seen->remote_address,
              ProxyProtocolOf(chosen->address) == ProxyProtocol::kSocks5 ? "127.0.0.7" : "127.0.0.8");
    relay.stop();
    lists.tested = TestedList();
}

}  // namespace
}  // namespace vestrel::catalogue
