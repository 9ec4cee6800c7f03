// Judge checks against real proxies on loopback (tools/judge-proxies/judge-proxies.sh, started by a
// CTest fixture): tinyproxy with and without Via, squid passing X-Forwarded-For, a proxy that injects a
// script and one that refuses HTTPS tunnels; the user's real address as the judge sees it; plain-text
// list sources from the same service. Also prints how long grading 200 rows takes beside a connect test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <thread>

#include "CatalogueTestSupport.h"
#include "catalogue/ListSources.h"
#include "catalogue/ProxyJudge.h"
#include "catalogue/ProxyTest.h"
#include "platform/fs/Files.h"
#include "settings/RegStringSetting.h"

namespace vestrel::catalogue {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::map<std::string, int> ReadPeers() {
    return testing::ReadPeersFile(testing::FixturePath("VESTREL_JUDGE_PEERS_FILE"));
}

class JudgeScenario : public ::testing::Test {
  protected:
    void SetUp() override {
        peers_ = ReadPeers();
        ASSERT_GT(peers_["judge"], 0)
            << "no peers file: run this test through ctest (VESTREL_JUDGE_PEERS_FILE)";
        // The list service's own judge; the HTTPS one is on a port of its own here.
        settings::RegStringSetting(settings::kListServer).set("127.0.0.1:" + std::to_string(peers_["judge"]));
        settings::RegStringSetting(settings::kJudgeUrl)
            .set("http://127.0.0.1:" + std::to_string(peers_["judge"]) + std::string(kJudgePath));
        settings::RegStringSetting(settings::kJudgeHttpsUrl)
            .set("https://127.0.0.1:" + std::to_string(peers_["judge_https"]) + std::string(kJudgePath));
        TheRealAddress().Forget();
    }

    std::map<std::string, int> peers_;
    testing::ScopedProgramValues clean_{{"ListServer", "JudgeUrl", "JudgeHttpsUrl"}};
};

TEST_F(JudgeScenario, EachProxyGetsItsGrade) {
    EXPECT_FALSE(TheRealAddress().Public().has_value());
    const std::vector<std::string> real = TheRealAddress().Addresses();
    ASSERT_EQ(TheRealAddress().Public(), std::optional<std::string>("127.0.0.1"));
    EXPECT_NE(std::find(real.begin(), real.end(), "127.0.0.1"), real.end());

    struct Expectation {
        const char* peer;
        Grade grade;
        bool https;
        const char* exit_address;
    };
    const std::vector<Expectation> expectations = {
        {"elite", Grade::kElite, true, "127.0.0.2"},
        {"anonymous", Grade::kAnonymous, true, "127.0.0.3"},
        {"transparent", Grade::kTransparent, true, "127.0.0.4"},
        {"nohttps", Grade::kElite, false, "127.0.0.5"},
        {"broken", Grade::kBroken, false, ""},
        {"dead", Grade::kBroken, false, ""},
    };
    for (const Expectation& e : expectations) {
        const JudgeResult result = JudgeProxy("127.0.0.1", peers_[e.peer], real);
        EXPECT_EQ(GradeText(result.grade), GradeText(e.grade)) << e.peer;
        EXPECT_EQ(result.https, e.https) << e.peer;
        EXPECT_EQ(result.exit_address, e.exit_address) << e.peer;
    }

    // The same grades from a judge that answers with the environment echo.
    settings::RegStringSetting(settings::kJudgeUrl)
        .set("http://127.0.0.1:" + std::to_string(peers_["judge"]) + "/services/vx/proxy/judge.txt");
    EXPECT_EQ(JudgeProxy("127.0.0.1", peers_["anonymous"], real).grade, Grade::kAnonymous);
    EXPECT_EQ(JudgeProxy("127.0.0.1", peers_["transparent"], real).grade, Grade::kTransparent);
    EXPECT_EQ(JudgeProxy("127.0.0.1", peers_["elite"], real).grade, Grade::kElite);

    // A judge that does not answer: asked again on the next use, not remembered as an address.
    settings::RegStringSetting(settings::kJudgeUrl)
        .set("http://127.0.0.1:" + std::to_string(peers_["dead"]) + "/");
    TheRealAddress().Forget();
    TheRealAddress().Addresses();
    EXPECT_FALSE(TheRealAddress().Public().has_value());
}

TEST_F(JudgeScenario, CancelEndsAWaitingCheckSoon) {
    std::atomic<bool> cancel{false};
    JudgeOptions options;
    options.connect_timeout = 30s;
    options.answer_timeout = 30s;
    options.cancel = &cancel;
    std::thread canceller([&] {
        std::this_thread::sleep_for(300ms);
        cancel = true;
    });
    const auto began = Clock::now();
    const JudgeResult result = JudgeProxy("127.0.0.1", peers_["silent"], {"127.0.0.1"}, options);
    const auto took = Clock::now() - began;
    canceller.join();
    EXPECT_NE(result.grade, Grade::kElite);
    EXPECT_FALSE(result.https);
    EXPECT_LT(took, 10s) << "a cancelled check must not wait out its 30 s limits";
}

TEST_F(JudgeScenario, PlainTextSourcesJoinTheServiceList) {
    const std::string base = "http://127.0.0.1:" + std::to_string(peers_["judge"]);
    const std::vector<std::string> urls = {
        base + "/lists/plain.txt", base + "/lists/missing.txt",
        "http://127.0.0.1:" + std::to_string(peers_["dead"]) + "/list.txt"};
    platform::http::GetOptions options;
    options.connect_timeout = 5s;
    options.receive_timeout = 5s;
    const std::vector<SourceOutcome> outcomes = FetchListSources(urls, options);
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_TRUE(outcomes[0].ok);
    EXPECT_FALSE(outcomes[1].ok);
    EXPECT_FALSE(outcomes[2].ok);
    const std::string elite = "127.0.0.1:" + std::to_string(peers_["elite"]);
    const std::string anonymous = "127.0.0.1:" + std::to_string(peers_["anonymous"]);
    const std::string transparent = "127.0.0.1:" + std::to_string(peers_["transparent"]) + "->Local";
    EXPECT_EQ(outcomes[0].lines, (std::vector<std::string>{elite, anonymous, transparent}));
    const std::vector<std::string> merged = MergeSourceLines({anonymous + "->Service"}, outcomes);
    EXPECT_EQ(merged, (std::vector<std::string>{anonymous + "->Service", elite, transparent}));
    EXPECT_EQ(FailedSourcesText(outcomes), "The list at " + urls[1] + " could not be read. The list at " +
                                               urls[2] + " could not be read.");
}

// How much longer a "Test All" run takes when it grades each proxy instead of only connecting: 200
// rows, the fixture's proxies over and over and one row in ten silent. Figures only, no limits.
TEST_F(JudgeScenario, GradingTwoHundredRowsBesideConnectOnly) {
#ifdef _WIN32
    GTEST_SKIP() << "measured natively";
#endif
    std::vector<int> ports;
    const std::vector<std::string> answering = {"elite", "anonymous", "transparent", "nohttps", "broken"};
    for (int row = 0; row < 200; ++row) {
        ports.push_back(row % 10 == 9 ? peers_["silent"]
                                      : peers_[answering[static_cast<std::size_t>(row) % 5]]);
    }
    const std::vector<std::string> real = TheRealAddress().Addresses();
    const auto run = [&ports](const std::function<bool(int)>& check) {
        std::atomic<std::size_t> next{0};
        std::atomic<int> passed{0};
        const auto began = Clock::now();
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < kMaxParallelTests; ++t) {
            threads.emplace_back([&] {
                for (std::size_t i = next++; i < ports.size(); i = next++) passed += check(ports[i]) ? 1 : 0;
            });
        }
        for (std::thread& thread : threads) thread.join();
        return std::make_pair(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began),
                              passed.load());
    };
    const auto [connect_ms, reached] =
        run([](int port) { return ConnectTime("127.0.0.1", port, kConnectTimeLimit) != 0; });
    const auto [judge_ms, graded] = run([&](int port) {
        const Grade grade = JudgeProxy("127.0.0.1", port, real).grade;
        return grade != Grade::kBroken && grade != Grade::kNotGraded;
    });
    std::printf(
        "200 rows, %zu at once: connect only %lld ms (%d reached); judge grading %lld ms (%d graded)\n",
        kMaxParallelTests, static_cast<long long>(connect_ms.count()), reached,
        static_cast<long long>(judge_ms.count()), graded);
    EXPECT_EQ(reached, 180);
    EXPECT_EQ(graded, 160);

    // The same without the silent rows, whose connect limit hides every other cost.
    std::erase(ports, peers_["silent"]);
    const auto [answering_connect_ms, answering_reached] =
        run([](int port) { return ConnectTime("127.0.0.1", port, kConnectTimeLimit) != 0; });
    const auto [answering_judge_ms, answering_graded] =
        run([&](int port) { return JudgeProxy("127.0.0.1", port, real).grade != Grade::kBroken; });
    std::printf("%zu answering rows: connect only %lld ms; judge grading %lld ms\n", ports.size(),
                static_cast<long long>(answering_connect_ms.count()),
                static_cast<long long>(answering_judge_ms.count()));
    EXPECT_EQ(answering_reached, 180);
    EXPECT_EQ(answering_graded, 160);
}

}  // namespace
}  // namespace vestrel::catalogue
