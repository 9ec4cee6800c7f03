// The relay end to end over loopback with origins and upstream proxies inside the test: natively and,
// built for Windows, under Wine over Windows Sockets.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "relay/LocalRelay.h"
#include "relay/UpstreamWatch.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "tests/relay/LoopbackPeers.h"

namespace vestrel::relay {
namespace {

using namespace std::chrono_literals;
using namespace std::string_view_literals;
using namespace testing;

// An origin (or an upstream proxy: it does not care about the target's form) that answers every
// request with its own head and body echoed back after a fixed prefix, and remembers the last head.
class EchoOrigin {
  public:
    explicit EchoOrigin(std::string tag = "origin")
        : tag_(std::move(tag)), server_([this](net::Socket& socket) { Serve(socket); }) {}

    std::uint16_t port() const { return server_.port(); }
    std::string lastHead() {
        const std::lock_guard lock(mutex_);
        return last_head_;
    }
    int accepted() const { return server_.accepted(); }
    int served() const { return served_.load(); }

  private:
    void Serve(net::Socket& socket) {
        std::string rest;
        const auto head = ReadHead(socket, rest);
        if (!head) return;
        {
            const std::lock_guard lock(mutex_);
            last_head_ = *head;
        }
        std::size_t length = 0;
        if (const auto at = head->find("Content-Length: "); at != std::string::npos)
            length = std::stoul(head->substr(at + 16));
        const auto body = ReadExactly(socket, rest, length);
        if (!body) return;
        ++served_;
        const std::string answer = tag_ + " " + std::to_string(Checksum(*body));
        socket.SendAll("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                       std::to_string(answer.size()) + "\r\n\r\n" + answer);
        socket.ShutdownSend();  // "Connection: close" honoured
    }

    std::string tag_;
    std::mutex mutex_;
    std::string last_head_;
    std::atomic<int> served_{0};
    LoopbackServer server_;
};

std::string Body(const std::string& answer) {
    const auto end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

std::string StatusLine(const std::string& answer) { return answer.substr(0, answer.find("\r\n")); }

class RelaySessionTest : public ::testing::Test {
  protected:
    void TearDown() override {
        relay_->stop();
        EXPECT_TRUE(relay_->waitForConnectionsToEnd(30s));
        settings::RegDwordSetting(settings::kEnableJS).set(0);
        settings::RegDwordSetting(settings::kEnableActiveX).set(0);
    }
    void StartDirect() { ASSERT_TRUE(relay_->start(0, 0, "", 0, "", "")); }
    void StartUpstream(std::uint16_t port) { ASSERT_TRUE(relay_->start(0, 1, "127.0.0.1", port, "", "")); }
    std::uint16_t port() const { return relay_->boundPort(); }
    void UseLimits(RelayLimits limits) { relay_ = std::make_unique<LocalRelay>(limits); }

    std::unique_ptr<LocalRelay> relay_ = std::make_unique<LocalRelay>();
};

TEST_F(RelaySessionTest, DirectGetReachesTheOriginWithItsPathAndRecordsTheHost) {
    EchoOrigin origin;
    StartDirect();
    ASSERT_TRUE(relay_->isRunning());
    const std::string host = "127.0.0.1:" + std::to_string(origin.port());
    const std::string answer =
        Exchange(port(), "GET http://" + host + "/a/b.html?x=1 HTTP/1.1\r\nHost: " + host +
                             "\r\nProxy-Connection: keep-alive\r\nIf-None-Match: \"e\"\r\n\r\n");
    EXPECT_EQ(StatusLine(answer), "HTTP/1.1 200 OK");
    EXPECT_EQ(Body(answer), "origin " + std::to_string(Checksum("")));
    EXPECT_EQ(origin.lastHead(),
              "GET /a/b.html?x=1 HTTP/1.1\r\nHost: " + host + "\r\nConnection: keep-alive\r\n\r\n");
    EXPECT_EQ(settings::RegStringSetting(settings::kLastDomain).get(), "127.0.0.1");
}

TEST_F(RelaySessionTest, UpstreamGetsTheAbsoluteUrlWithoutAnyLookupOfTheHost) {
    EchoOrigin proxy("proxy");
    StartUpstream(proxy.port());
    const std::string answer =
        Exchange(port(), "GET http://no-such-host.invalid/x HTTP/1.1\r\nHost: no-such-host.invalid\r\n\r\n");
    EXPECT_EQ(Body(answer), "proxy " + std::to_string(Checksum("")));
    EXPECT_EQ(proxy.lastHead(),
              "GET http://no-such-host.invalid/x HTTP/1.1\r\nHost: no-such-host.invalid\r\n"
              "Connection: keep-alive\r\n\r\n");
    EXPECT_EQ(settings::RegStringSetting(settings::kLastDomain).get(), "no-such-host.invalid");
}

TEST_F(RelaySessionTest, LargeBodiesArriveWholeByLengthAndChunked) {
    EchoOrigin origin;
    StartUpstream(origin.port());
    const std::string body = PatternBytes(3 * 1024 * 1024 + 17, 1);
    std::string answer = Exchange(port(), "POST http://h/upload HTTP/1.1\r\nHost: h\r\nContent-Length: " +
                                              std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_EQ(Body(answer), "origin " + std::to_string(Checksum(body)));

    // Chunked: the origin here reads by length, so the relay's forwarding is checked by the bytes the
    // origin sees, which must be the chunks exactly as sent and nothing after the last one.
    std::string chunked;
    for (std::size_t i = 0; i < body.size(); i += 100000) {
        const std::string piece = body.substr(i, 100000);
        char size[32];
        std::snprintf(size, sizeof(size), "%zx\r\n", piece.size());
        chunked += size + piece + "\r\n";
    }
    chunked += "0\r\n\r\n";
    // What follows the body is the next request, here one without a destination.
    answer = Exchange(port(), "POST http://h/upload HTTP/1.1\r\nHost: h\r\nContent-Length: " +
                                  std::to_string(chunked.size()) + "\r\n\r\n" + chunked +
                                  "GET / HTTP/1.1\r\n\r\n");
    const std::string first = "origin " + std::to_string(Checksum(chunked));
    EXPECT_EQ(Body(answer).substr(0, first.size()), first);
    EXPECT_EQ(StatusLine(Body(answer).substr(first.size())), "HTTP/1.1 400 Bad Request");
}

TEST_F(RelaySessionTest, ChunkedRequestIsForwardedToItsLastChunkOnly) {
    std::string received;
    std::mutex mutex;
    LoopbackServer origin([&](net::Socket& socket) {
        std::string rest;
        const auto head = ReadHead(socket, rest);
        socket.SetReceiveTimeout(2s);
        const std::string body = rest + ReadToEnd(socket);
        const std::lock_guard lock(mutex);
        received = head.value_or("") + body;
    });
    StartUpstream(origin.port());
    net::Socket client = Connect(port());
    ASSERT_TRUE(
        client.SendAll("POST http://h/ HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc"));
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(client.SendAll("\r\n0\r\n\r\nEXTRA BYTES"));
    ReadToEnd(client);
    const std::lock_guard lock(mutex);
    EXPECT_EQ(
        received,
        "POST http://h/ HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\nConnection: keep-alive\r\n\r\n"
        "3\r\nabc\r\n0\r\n\r\n");
}

TEST_F(RelaySessionTest, ServerMayAnswerBeforeTheBodyIsSent) {
    const std::string big_answer = PatternBytes(8 * 1024 * 1024, 2);
    const std::string body = PatternBytes(8 * 1024 * 1024, 3);
    // Set by the origin once it has read the body: 1 whole, 2 cut or changed.
    std::atomic<int> body_verdict{0};
    LoopbackServer origin([&](net::Socket& socket) {
        std::string rest;
        if (!ReadHead(socket, rest)) return;
        // The whole answer first: a relay that moved one direction at a time would deadlock here.
        socket.SendAll("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(big_answer.size()) +
                       "\r\n\r\n" + big_answer);
        const auto got = ReadExactly(socket, rest, body.size());
        body_verdict = got && *got == body ? 1 : 2;
        socket.ShutdownSend();
    });
    StartUpstream(origin.port());
    net::Socket client = Connect(port());
    std::thread sender([&] {
        client.SendAll("PUT http://h/ HTTP/1.1\r\nHost: h\r\nContent-Length: " + std::to_string(body.size()) +
                       "\r\n\r\n");
        client.SendAll(body);
    });
    const std::string answer = ReadToEnd(client);
    sender.join();
    EXPECT_EQ(Body(answer).size(), big_answer.size());
    EXPECT_TRUE(Body(answer) == big_answer);
    // The answer can reach the browser before the origin has finished reading the body.
    for (int i = 0; i < 200 && body_verdict == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(body_verdict, 1);
}

// Echoes every byte back until the peer half-closes, then says goodbye and closes.
void EchoUntilClosed(net::Socket& socket, std::string rest = {}) {
    if (!rest.empty()) socket.SendAll(rest);
    char buffer[4096];
    for (;;) {
        const auto n = socket.Receive(buffer, sizeof(buffer));
        if (n <= 0) break;
        socket.SendAll(buffer, static_cast<std::size_t>(n));
    }
    socket.SendAll("bye");
    socket.ShutdownSend();
}

TEST_F(RelaySessionTest, ConnectTunnelsBothWaysDirectAndThroughTheUpstream) {
    LoopbackServer echo([](net::Socket& socket) { EchoUntilClosed(socket); });
    std::string proxy_head;
    std::mutex mutex;
    LoopbackServer proxy([&](net::Socket& socket) {
        std::string rest;
        const auto head = ReadHead(socket, rest);
        if (!head) return;
        {
            const std::lock_guard lock(mutex);
            proxy_head = *head;
        }
        socket.SendAll("HTTP/1.1 200 Tunnel open\r\n\r\n");
        EchoUntilClosed(socket, rest);
    });
    const std::string target = "127.0.0.1:" + std::to_string(echo.port());
    const std::string binary = PatternBytes(300000, 4);

    for (const bool upstream : {false, true}) {
        if (upstream) {
            StartUpstream(proxy.port());
        } else {
            StartDirect();
        }
        net::Socket client = Connect(port());
        ASSERT_TRUE(client.SendAll("CONNECT " + target + " HTTP/1.1\r\nHost: " + target +
                                   "\r\nProxy-Connection: keep-alive\r\n\r\n"));
        std::string rest;
        const auto head = ReadHead(client, rest);
        ASSERT_TRUE(head);
        EXPECT_EQ(*head, upstream ? "HTTP/1.1 200 Tunnel open\r\n\r\n"
                                  : "HTTP/1.1 200 Connection established\r\n\r\n");
        std::thread sender([&] {
            client.SendAll(binary);
            client.ShutdownSend();
        });
        const std::string echoed = rest + ReadToEnd(client);
        sender.join();
        EXPECT_TRUE(echoed == binary + "bye") << "upstream " << upstream << " got " << echoed.size();
    }
    const std::lock_guard lock(mutex);
    EXPECT_EQ(proxy_head,
              "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\nConnection: close\r\n\r\n");
}

TEST_F(RelaySessionTest, BadInputIsAnsweredAndTheRelayGoesOn) {
    RelayLimits limits;
    limits.head_timeout = 500ms;
    UseLimits(limits);
    EchoOrigin origin;
    StartUpstream(origin.port());
    struct Case {
        std::string request;
        std::string status;
    };
    const Case cases[] = {
        {std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03garbage\r\n\r\n"sv),
         "HTTP/1.1 400 Bad Request"},
        {std::string("GET http://h/ HTTP/1.1\r\nHost: h\0\r\n\r\n"sv), "HTTP/1.1 400 Bad Request"},
        {"GET / HTTP/1.1\r\nAccept: */*\r\n\r\n", "HTTP/1.1 400 Bad Request"},
        {"GET http://h/ HTTP/1.1\r\nHost: h\r\nX: " + std::string(70000, 'a') + "\r\n\r\n",
         "HTTP/1.1 431 Request Header Fields Too Large"},
    };
    for (const Case& c : cases) EXPECT_EQ(StatusLine(Exchange(port(), c.request)), c.status);
    {
        // A head that stops coming, from a browser that still waits for an answer.
        net::Socket slow = Connect(port());
        ASSERT_TRUE(slow.SendAll("GET http://h/ HTTP/1.1\r\nHost: h\r\n"));
        EXPECT_EQ(StatusLine(ReadToEnd(slow)), "HTTP/1.1 408 Request Timeout");
    }

    // An endless head from one browser while another is served.
    std::thread endless([&] {
        net::Socket socket = Connect(port());
        socket.SendAll("GET http://h/ HTTP/1.1\r\nHost: h\r\n");
        const std::string line = "X-Filler: " + std::string(1000, 'f') + "\r\n";
        for (int i = 0; i < 200 && socket.SendAll(line); ++i) {
        }
    });
    EXPECT_EQ(Body(Exchange(port(), "GET http://h/ HTTP/1.1\r\nHost: h\r\n\r\n")),
              "origin " + std::to_string(Checksum("")));
    endless.join();
    EXPECT_EQ(origin.served(), 1);
}

TEST_F(RelaySessionTest, SilentPeerHitsTheIdleLimitWhileOthersAreServed) {
    RelayLimits limits;
    limits.idle_timeout = 700ms;
    UseLimits(limits);
    std::atomic<bool> release{false};
    LoopbackServer silent([&](net::Socket& socket) {
        std::string rest;
        ReadHead(socket, rest);
        for (int i = 0; i < 200 && !release; ++i) std::this_thread::sleep_for(50ms);
    });
    EchoOrigin origin;
    StartDirect();
    const auto began = std::chrono::steady_clock::now();
    std::thread stuck([&] {
        const std::string host = "127.0.0.1:" + std::to_string(silent.port());
        EXPECT_EQ(Exchange(port(), "GET http://" + host + "/ HTTP/1.1\r\nHost: " + host + "\r\n\r\n"), "");
    });
    const std::string host = "127.0.0.1:" + std::to_string(origin.port());
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(
            StatusLine(Exchange(port(), "GET http://" + host + "/ HTTP/1.1\r\nHost: " + host + "\r\n\r\n")),
            "HTTP/1.1 200 OK");
    }
    stuck.join();
    const auto took = std::chrono::steady_clock::now() - began;
    release = true;
    EXPECT_GE(took, 600ms);
    EXPECT_LT(took, 5s);
}

TEST_F(RelaySessionTest, AProxyThatCannotBeReachedOrClosesUnansweredGivesA502IsReportedAndNothingGoesDirect) {
    EchoOrigin origin;
    const std::string host = "127.0.0.1:" + std::to_string(origin.port());
    const std::string get = "GET http://" + host + "/ HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
    std::uint16_t dead = 0;
    {
        std::error_code error;
        dead = net::Listener::OnLoopback(0, 1, error).Port();
    }
    // The watch hears of each failure, and tells once when the proxy failed three times in a row.
    std::mutex reports_mutex;
    std::vector<std::string> reports;
    UpstreamWatch& watch = TheUpstreamWatch();
    watch.Rearm();
    watch.SetHandler([&](const std::string& upstream) {
        const std::lock_guard lock(reports_mutex);
        reports.push_back(upstream);
    });
    struct Quiet {
        ~Quiet() {
            TheUpstreamWatch().SetHandler({});
            TheUpstreamWatch().Rearm();
        }
    } quiet;
    StartUpstream(dead);
    std::string answer = Exchange(port(), get);
    EXPECT_EQ(StatusLine(answer), "HTTP/1.1 502 Bad Gateway");
    EXPECT_NE(answer.find("Vestrel could not reach the proxy 127.0.0.1:" + std::to_string(dead) +
                          ". Choose another proxy in Vestrel."),
              std::string::npos)
        << answer;
    EXPECT_EQ(StatusLine(Exchange(port(), "CONNECT " + host + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n")),
              "HTTP/1.1 502 Bad Gateway");
    EXPECT_TRUE(reports.empty());
    for (int i = 0; i < 2; ++i) EXPECT_EQ(StatusLine(Exchange(port(), get)), "HTTP/1.1 502 Bad Gateway");
    {
        const std::lock_guard lock(reports_mutex);
        EXPECT_EQ(reports, std::vector<std::string>{"127.0.0.1:" + std::to_string(dead)});
    }

    // A proxy that takes the request and hangs up without a word.
    LoopbackServer hangs_up([](net::Socket& socket) {
        std::string rest;
        ReadHead(socket, rest);
    });
    relay_->reconfigure(0, 1, "127.0.0.1", hangs_up.port(), "", "");
    EXPECT_EQ(StatusLine(Exchange(port(), get)), "HTTP/1.1 502 Bad Gateway");
    EXPECT_EQ(origin.accepted(), 0) << "a request went to the origin around the proxy";
}

TEST_F(RelaySessionTest, ConnectionsBeyondTheBoundGetA503) {
    RelayLimits limits;
    limits.max_connections = 3;
    UseLimits(limits);
    EchoOrigin origin;
    StartUpstream(origin.port());
    std::vector<net::Socket> held;
    for (int i = 0; i < 3; ++i) held.push_back(Connect(port()));
    for (int i = 0; i < 100 && relay_->activeConnections() < 3; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(relay_->activeConnections(), 3u);
    EXPECT_EQ(StatusLine(Exchange(port(), "GET http://h/ HTTP/1.1\r\nHost: h\r\n\r\n")),
              "HTTP/1.1 503 Service Unavailable");
    held.clear();
    ASSERT_TRUE(relay_->waitForConnectionsToEnd(10s));
    EXPECT_EQ(StatusLine(Exchange(port(), "GET http://h/ HTTP/1.1\r\nHost: h\r\n\r\n")), "HTTP/1.1 200 OK");
}

TEST_F(RelaySessionTest, ReconfigureWhileAHundredConnectionsRun) {
    EchoOrigin first("first");
    EchoOrigin second("second");
    StartUpstream(first.port());
    std::atomic<bool> done{false};
    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 100; ++i) {
        clients.emplace_back([&] {
            for (int round = 0; round < 3; ++round) {
                const std::string body = Body(Exchange(port(), "GET http://h/ HTTP/1.1\r\nHost: h\r\n\r\n"));
                const std::string expected = " " + std::to_string(Checksum(""));
                if (body == "first" + expected || body == "second" + expected) ++good;
            }
        });
    }
    std::thread switcher([&] {
        for (int i = 0; !done; ++i) {
            relay_->reconfigure(0, 1, "127.0.0.1", (i % 2) ? first.port() : second.port(),
                                i % 3 ? "" : "user", "pw");
            std::this_thread::sleep_for(1ms);
        }
    });
    for (std::thread& client : clients) client.join();
    done = true;
    switcher.join();
    EXPECT_EQ(good, 300);
    EXPECT_GT(first.served(), 0);
    EXPECT_GT(second.served(), 0);
}

TEST_F(RelaySessionTest, FilterRenamesTagsSplitAcrossBlocksAndAsksForPlainPages) {
    settings::RegDwordSetting(settings::kEnableJS).set(1);
    std::string origin_head;
    std::mutex mutex;
    const std::string page = "<html><ScRiPt>alert(1)</SCR" + std::string(5000, ' ') + "IPT></html>";
    LoopbackServer origin([&](net::Socket& socket) {
        std::string rest;
        const auto head = ReadHead(socket, rest);
        {
            const std::lock_guard lock(mutex);
            origin_head = head.value_or("");
        }
        socket.SetNoDelay(true);
        const std::string answer =
            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(page.size()) +
            "\r\n\r\n" + page;
        // Tags cut in the middle, each piece its own segment.
        for (std::size_t at = 0; at < answer.size(); at += 3) {
            socket.SendAll(answer.substr(at, 3));
            if (at % 300 == 0) std::this_thread::sleep_for(1ms);
        }
    });
    StartUpstream(origin.port());
    const std::string answer =
        Exchange(port(), "GET http://h/ HTTP/1.1\r\nHost: h\r\nAccept-Encoding: gzip, br\r\n\r\n");
    EXPECT_EQ(Body(answer),
              page.substr(0, 6) + "<noscri>alert(1)</SCR" + std::string(5000, ' ') + "IPT></html>");
    const std::lock_guard lock(mutex);
    EXPECT_EQ(origin_head.find("Accept-Encoding"), std::string::npos);
}

TEST_F(RelaySessionTest, StopFreesThePortAtOnceAndATakenPortFailsToStart) {
    EchoOrigin origin;
    StartUpstream(origin.port());
    const std::uint16_t first_port = port();
    relay_->stop();
    EXPECT_FALSE(relay_->isRunning());
    EXPECT_EQ(relay_->boundPort(), 0);
    ASSERT_TRUE(relay_->start(first_port, 1, "127.0.0.1", origin.port(), "", ""));
    EXPECT_EQ(port(), first_port);
    EXPECT_EQ(StatusLine(Exchange(port(), "GET http://h/ HTTP/1.1\r\nHost: h\r\n\r\n")), "HTTP/1.1 200 OK");

    LocalRelay other;
    EXPECT_FALSE(other.start(first_port, 1, "127.0.0.1", origin.port(), "", ""));
    EXPECT_FALSE(other.isRunning());
}

}  // namespace
}  // namespace vestrel::relay
