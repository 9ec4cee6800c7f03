// ConnectTime against loopback ports that accept, refuse and never answer, and "Test All Proxies" over
// 200 such rows, natively and under Wine.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/ConnectSweep.h"
#include "catalogue/ProxyTest.h"
#include "catalogue/TestedFile.h"
#include "platform/net/Socket.h"
#include "tests/catalogue/CatalogueTestSupport.h"

namespace vestrel::catalogue {
namespace {

namespace net = platform::net;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double SecondsSince(Clock::time_point began) {
    return std::chrono::duration<double>(Clock::now() - began).count();
}

// A loopback port that accepts every connection and drops it at once.
class AcceptingPort {
  public:
    AcceptingPort() {
        std::error_code error;
        listener_ = net::Listener::OnLoopback(0, 128, error);
        EXPECT_TRUE(listener_.Valid()) << error.message();
        thread_ = std::thread([this] {
            try {
                for (;;) {
                    std::error_code accept_error;
                    net::Socket peer = listener_.Accept(accept_error);
                    if (!peer.Valid()) return;
                }
            } catch (...) {
            }
        });
    }
    ~AcceptingPort() {
        // Shutdown wakes the blocked Accept; the socket is closed only once nothing uses it.
        listener_.Shutdown();
        thread_.join();
        listener_.Close();
    }
    std::uint16_t Port() const { return listener_.Port(); }

  private:
    net::Listener listener_;
    std::thread thread_;
};

// A port nothing listens on: connects are refused.
std::uint16_t RefusedPort() {
    std::error_code error;
    net::Listener listener = net::Listener::OnLoopback(0, 1, error);
    return listener.Port();
}

// A loopback port whose accept queue is full and never served: the system drops further SYNs, so a
// connect there gets no answer at all, like a proxy that has gone silent.
class SilentPort {
  public:
    SilentPort() {
        std::error_code error;
        listener_ = net::Listener::OnLoopback(0, 1, error);
        EXPECT_TRUE(listener_.Valid()) << error.message();
        for (int i = 0; i < 16; ++i) {
            net::Socket filler = net::ConnectTcp("127.0.0.1", listener_.Port(), milliseconds(300), error);
            if (!filler.Valid()) break;
            fillers_.push_back(std::move(filler));
        }
        EXPECT_LT(fillers_.size(), 16u) << "the accept queue never filled";
    }
    std::uint16_t Port() const { return listener_.Port(); }

  private:
    net::Listener listener_;
    std::vector<net::Socket> fillers_;
};

TEST(ConnectTimeTest, AListeningPortAnswersInAtLeastOneMillisecond) {
    AcceptingPort port;
    const std::uint32_t t = ConnectTime("127.0.0.1", port.Port());
    EXPECT_GE(t, 1u);
    EXPECT_LT(t, 1000u);
    EXPECT_GE(ConnectTime("localhost", port.Port()), 1u);
}

TEST(ConnectTimeTest, RefusedEmptyHostAndImpossiblePortsGiveZeroAtOnce) {
    AcceptingPort port;
    const auto began = Clock::now();
    EXPECT_EQ(ConnectTime("127.0.0.1", RefusedPort()), 0u);
    EXPECT_EQ(ConnectTime("", port.Port()), 0u);
    // 16 bits of this port are the listening one: it must not be folded onto it.
    EXPECT_EQ(ConnectTime("127.0.0.1", port.Port() + 65536), 0u);
    EXPECT_EQ(ConnectTime("127.0.0.1", -1), 0u);
    EXPECT_EQ(ConnectTime("127.0.0.1", 0), 0u);
    EXPECT_LT(SecondsSince(began), 3.0);
}

TEST(ConnectTimeTest, ASilentPortGivesZeroAfterTheFiveSecondLimit) {
    SilentPort silent;
    const auto began = Clock::now();
    EXPECT_EQ(ConnectTime("127.0.0.1", silent.Port()), 0u);
    const double took = SecondsSince(began);
    EXPECT_GE(took, 4.5);
    EXPECT_LT(took, 7.0);
}

enum class Kind { kReachable, kRefused, kSilent };

struct Mix {
    std::vector<Kind> kinds;
};

// Runs "Test All Proxies" over rows of the given kinds and checks the outcome against the sequential
// rule: the reachable rows remain in order with fresh figures, each failed row meant one save of the
// list, and the file holds the rows that remain.
double RunTestAll(const std::vector<Kind>& kinds) {
    AcceptingPort reachable;
    SilentPort silent;
    const std::uint16_t refused = RefusedPort();
    testing::ScratchFolder folder;
    const std::string file = folder.File("MyProxies.txt");

    TestedList list;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        const std::uint16_t port = kinds[i] == Kind::kReachable ? reachable.Port()
                                   : kinds[i] == Kind::kRefused ? refused
                                                                : silent.Port();
        const std::string address = "127.0.0.1:" + std::to_string(port);
        const std::string country = "Row" + std::to_string(i);
        list.AppendRow({address, country, "Not Tested", ""});
        if (kinds[i] == Kind::kReachable) expected.push_back(address + "->" + country);
    }

    std::size_t saves = 0;
    std::size_t statuses = 0;
    TestAllHooks hooks;
    hooks.save_list = [&](const TestedList& saved) {
        ++saves;
        return SaveTestedList(saved, file);
    };
    hooks.show_status = [&](std::string_view text) {
        EXPECT_EQ(text, "Test failed - proxy removed");
        ++statuses;
    };
    const auto began = Clock::now();
    EXPECT_FALSE(TestAllProxies(list, hooks));
    const double took = SecondsSince(began);

    EXPECT_EQ(saves, kinds.size() - expected.size());
    EXPECT_EQ(statuses, saves);
    std::vector<std::string> remaining;
    for (std::size_t i = 0; i < list.RowCount(); ++i) {
        remaining.push_back(list.Cell(i, kAddressColumn) + "->" + list.Cell(i, kCountryColumn));
        EXPECT_NE(list.Cell(i, kResponseTimeColumn).find(" miliseconds"), std::string::npos);
        EXPECT_NE(list.Cell(i, kDownloadSpeedColumn).find(" KB/sec"), std::string::npos);
    }
    EXPECT_EQ(remaining, expected);
    EXPECT_EQ(ReadTestedLines(file), expected);
    return took;
}

TEST(TestAllProxiesNetworkTest, TwoHundredRowsWithAFewSilentTakeAboutOneTimeLimit) {
    std::vector<Kind> kinds;
    for (int i = 0; i < 200; ++i) {
        kinds.push_back(i % 20 == 7 ? Kind::kSilent : i % 3 == 0 ? Kind::kRefused : Kind::kReachable);
    }
    const double took = RunTestAll(kinds);
    std::printf("Test All Proxies, 200 rows, 10 silent: %.1f s (one after the other: about %.0f s)\n", took,
                10 * 5.0);
    EXPECT_LT(took, 8.0);
}

// A benchmark printout rather than a limit: how long 200 rows take with half of them silent.
TEST(TestAllProxiesNetworkTest, TwoHundredRowsHalfSilent) {
    std::vector<Kind> kinds;
    for (int i = 0; i < 200; ++i)
        kinds.push_back(i % 2 == 1 ? Kind::kSilent : i % 4 == 0 ? Kind::kRefused : Kind::kReachable);
    const double took = RunTestAll(kinds);
    // 100 silent rows fit in one round of 128 connects: about one 5 s limit, against 100 of them one
    // by one.
    std::printf("Test All Proxies, 200 rows, 100 silent: %.1f s (one after the other: about %.0f s)\n", took,
                100 * 5.0);
    RecordProperty("test_all_200_half_silent_seconds", std::to_string(took));
}

// The sweep behind quick anonymity: every row ends once, as what it is, and the silent ones hold a
// place among the connects at once only for their limit.
TEST(ConnectSweepTest, EachRowEndsOnceAsWhatItIsWithinItsLimit) {
    AcceptingPort reachable;
    SilentPort silent;
    const std::uint16_t refused = RefusedPort();
    std::vector<SweepTarget> targets;
    std::vector<ConnectEnd> expected;
    for (int i = 0; i < 300; ++i) {
        const int kind = i % 10;
        if (kind < 2) {
            targets.push_back({"127.0.0.1", silent.Port()});
            expected.push_back(ConnectEnd::kSilent);
        } else if (kind < 5) {
            targets.push_back({"127.0.0.1", refused});
            expected.push_back(ConnectEnd::kFailed);
        } else {
            targets.push_back({"127.0.0.1", reachable.Port()});
            expected.push_back(ConnectEnd::kConnected);
        }
    }
    targets.push_back({"", reachable.Port()});
    expected.push_back(ConnectEnd::kFailed);
    targets.push_back({"127.0.0.1", 70000});
    expected.push_back(ConnectEnd::kFailed);
    std::vector<std::size_t> order(targets.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = order.size() - 1 - i;

    SweepOptions options;
    options.max_at_once = 64;
    options.limit = milliseconds(1000);
    std::vector<int> ends(targets.size(), 0);
    std::vector<ConnectEnd> seen(targets.size(), ConnectEnd::kFailed);
    const auto began = Clock::now();
    SweepConnects(targets, order, options, [&](std::size_t index, ConnectEnd end, std::uint32_t ms) {
        ++ends[index];
        seen[index] = end;
        EXPECT_EQ(ms != 0, end == ConnectEnd::kConnected) << index;
    });
    const double took = SecondsSince(began);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        EXPECT_EQ(ends[i], 1) << i;
        EXPECT_EQ(seen[i], expected[i]) << i;
    }
    // 60 silent rows among 64 at once: one limit, perhaps two, never one per silent row.
    EXPECT_GE(took, 0.9);
    EXPECT_LT(took, 6.0);

    // A stop ends the sweep at once, telling nothing more.
    std::atomic<bool> stop{true};
    options.stop = &stop;
    int told = 0;
    SweepConnects(targets, order, options, [&](std::size_t, ConnectEnd, std::uint32_t) { ++told; });
    EXPECT_EQ(told, 0);
}

}  // namespace
}  // namespace vestrel::catalogue
