// Browser connections kept open and upstream connections kept for later, over loopback with servers
// inside the test: every kind of answer framing in one pipelined run, answers whose framing cannot be
// trusted, a kept connection the server gave up, and the warm spare for tunnels.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "relay/HttpHead.h"
#include "relay/LocalRelay.h"
#include "tests/relay/LoopbackPeers.h"

namespace vestrel::relay {
namespace {

using namespace std::chrono_literals;
using namespace testing;

struct Request {
    std::string head;
    std::string body;
    std::string Path() const {
        const auto start = head.find(' ') + 1;
        const std::string target = head.substr(start, head.find(' ', start) - start);
        const auto scheme = target.find("://");
        return scheme == std::string::npos ? target : target.substr(target.find('/', scheme + 3));
    }
};

// A server that reads requests one after another on each connection (bodies by Content-Length) and
// answers each with what `answer` gives; an empty answer closes the connection unanswered, and
// `close_after` closes it after the answer. Records every request with the number of its connection.
class KeepAliveServer {
  public:
    struct Answer {
        std::string bytes;
        bool close_after = false;
    };
    using Answerer = std::function<Answer(const Request&, int connection, int on_connection)>;

    explicit KeepAliveServer(Answerer answer)
        : answer_(std::move(answer)), server_([this](net::Socket& socket) { Serve(socket); }) {}

    std::uint16_t port() const { return server_.port(); }
    std::vector<std::pair<int, std::string>> requests() {
        const std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    void Serve(net::Socket& socket) {
        const int connection = ++connections_;
        std::string rest;
        for (int on_connection = 1; on_connection <= 100; ++on_connection) {
            const auto head = ReadHead(socket, rest);
            if (!head) return;
            std::size_t length = 0;
            if (const auto at = head->find("Content-Length: "); at != std::string::npos)
                length = std::stoul(head->substr(at + 16));
            Request request{*head, {}};
            // A server that answers before the body is one that closes unanswered here.
            const Answer answer = answer_(request, connection, on_connection);
            {
                const std::lock_guard lock(mutex_);
                requests_.emplace_back(connection, request.Path());
            }
            if (answer.bytes.empty()) return;
            const auto body = ReadExactly(socket, rest, length);
            if (!body) return;
            rest = body->substr(length);
            socket.SendAll(answer.bytes);
            if (answer.close_after) return;
        }
    }

    Answerer answer_;
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::vector<std::pair<int, std::string>> requests_;
    LoopbackServer server_;
};

std::string Get(const std::string& path) { return "GET http://h" + path + " HTTP/1.1\r\nHost: h\r\n\r\n"; }

std::string Body(const std::string& answer) {
    const auto end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

std::string Lengthed(const std::string& body, const std::string& extra = "") {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n" + extra +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class KeepAliveTest : public ::testing::Test {
  protected:
    void TearDown() override {
        // Before the servers of the test go: the relay lets go of the connections it kept.
        relay_->stop();
        EXPECT_TRUE(relay_->waitForConnectionsToEnd(30s));
    }
    std::uint16_t port() const { return relay_->boundPort(); }
    std::unique_ptr<LocalRelay> relay_ = std::make_unique<LocalRelay>();
};

TEST_F(KeepAliveTest, EveryKindOfFramingInOnePipelinedRunOverOneServerConnection) {
    const std::string chunked =
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTrailer: X-Sum\r\n\r\n"
        "5\r\nhello\r\n1a;ext=1\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nX-Sum: 31\r\n\r\n";
    KeepAliveServer origin([&](const Request& request, int, int) -> KeepAliveServer::Answer {
        const std::string path = request.Path();
        if (path == "/length")
            return {Lengthed("twelve bytes", "Connection: keep-alive\r\nKeep-Alive: 5\r\n")};
        if (path == "/chunked") return {chunked};
        if (path == "/head") return {"HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n"};
        if (path == "/empty") return {"HTTP/1.1 204 No Content\r\n\r\n"};
        if (path == "/same") return {"HTTP/1.1 304 Not Modified\r\nContent-Length: 99\r\n\r\n"};
        if (path == "/upload") return {"HTTP/1.1 100 Continue\r\n\r\n" + Lengthed("stored")};
        if (path == "/to-close") return {"HTTP/1.1 200 OK\r\n\r\nup to the close", true};
        return {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"};
    });
    ASSERT_TRUE(relay_->start(0, 0, "", 0, "", ""));
    const std::string host = "127.0.0.1:" + std::to_string(origin.port());
    auto request = [&](const std::string& method, const std::string& path, const std::string& extra = "") {
        return method + " http://" + host + path + " HTTP/1.1\r\nHost: " + host + "\r\n" + extra + "\r\n";
    };
    // All at once; a request after the close-delimited answer is never answered.
    const std::string requests = request("GET", "/length") + request("GET", "/chunked") +
                                 request("HEAD", "/head") + request("GET", "/empty") +
                                 request("GET", "/same") +
                                 request("POST", "/upload", "Content-Length: 4\r\nExpect: 100-continue\r\n") +
                                 "data" + request("GET", "/to-close") + request("GET", "/length");
    net::Socket browser = Connect(port());
    ASSERT_TRUE(browser.SendAll(requests));
    const std::string got = ReadToEnd(browser);

    const std::string kept = "Connection: keep-alive\r\n\r\n";
    const std::string expected =
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 12\r\n" + kept + "twelve bytes" +
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTrailer: X-Sum\r\n" + kept +
        "5\r\nhello\r\n1a;ext=1\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nX-Sum: 31\r\n\r\n" +
        "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n" + kept + "HTTP/1.1 204 No Content\r\n" + kept +
        "HTTP/1.1 304 Not Modified\r\nContent-Length: 99\r\n" + kept + "HTTP/1.1 100 Continue\r\n\r\n" +
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 6\r\n" + kept + "stored" +
        "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nup to the close";
    EXPECT_EQ(got, expected);
    // One connection to the server carried every request up to the one that closed it.
    const auto seen = origin.requests();
    ASSERT_EQ(seen.size(), 7u);
    for (const auto& [connection, path] : seen) EXPECT_EQ(connection, 1) << path;
}

TEST_F(KeepAliveTest, HttpTenAndTheRequestLimitCloseTruthfully) {
    RelayLimits limits;
    limits.max_requests_per_connection = 3;
    relay_ = std::make_unique<LocalRelay>(limits);
    KeepAliveServer origin(
        [](const Request&, int, int) -> KeepAliveServer::Answer { return {Lengthed("ok")}; });
    ASSERT_TRUE(relay_->start(0, 1, "127.0.0.1", origin.port(), "", ""));

    const std::string plain_10 = "GET http://h/ HTTP/1.0\r\nHost: h\r\n\r\n";
    const std::string kept_10 = "GET http://h/ HTTP/1.0\r\nHost: h\r\nProxy-Connection: keep-alive\r\n\r\n";
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n";
    const std::string ok_kept = ok + "Connection: keep-alive\r\n\r\nok";
    const std::string ok_closed = ok + "Connection: close\r\n\r\nok";

    // HTTP/1.0 keeps the connection only when it asks to; the third request is never read.
    net::Socket browser = Connect(port());
    ASSERT_TRUE(browser.SendAll(kept_10 + plain_10 + kept_10));
    EXPECT_EQ(ReadToEnd(browser), ok_kept + ok_closed);

    // The last request a connection may carry is told so.
    browser = Connect(port());
    ASSERT_TRUE(browser.SendAll(Get("/1") + Get("/2") + Get("/3") + Get("/4")));
    EXPECT_EQ(ReadToEnd(browser), ok_kept + ok_kept + ok_closed);
}

// Answers whose end cannot be known for sure are read to the server's close and end the browser's
// connection too, so bytes made to look like a second answer never answer the next request.
TEST_F(KeepAliveTest, AnswersWithUntrustworthyFramingNeverDesynchroniseTheNextRequest) {
    const std::string smuggled = "HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\nSMUGGLED";
    const std::string bad[] = {
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 3\r\n\r\nabcde" + smuggled,
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n" + smuggled,
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\nzz\r\n" + smuggled,
    };
    std::atomic<int> which{0};
    KeepAliveServer origin([&](const Request& request, int, int) -> KeepAliveServer::Answer {
        if (request.Path() == "/bad") return {bad[which], true};
        return {Lengthed("true answer to " + request.Path())};
    });
    ASSERT_TRUE(relay_->start(0, 0, "", 0, "", ""));
    const std::string host = "127.0.0.1:" + std::to_string(origin.port());
    auto request = [&](const std::string& path) {
        return "GET http://" + host + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
    };
    for (which = 0; which < 3; ++which) {
        SCOPED_TRACE(which.load());
        net::Socket browser = Connect(port());
        ASSERT_TRUE(browser.SendAll(request("/bad") + request("/next")));
        const std::string got = ReadToEnd(browser);
        EXPECT_EQ(got.find("true answer"), std::string::npos);
        if (which == 2) {
            // A bad chunk size is only seen after the head: the answer is cut where the framing broke.
            EXPECT_EQ(got.find("SMUGGLED"), std::string::npos);
        } else {
            EXPECT_NE(got.find("Connection: close\r\n\r\n"), std::string::npos);
        }
        EXPECT_EQ(Body(Exchange(port(), request("/after"))), "true answer to /after");
    }
    EXPECT_EQ(relay_->idleUpstreamConnections(), 1u);
}

// A long body of known length is waited for in batches, yet what a server sends of it before it
// pauses reaches the browser at once, and the kept server connection then answers the next requests, head
// and body each on its own, without waiting for a batch.
TEST_F(KeepAliveTest, BatchedLongBodiesNeitherHoldBackWhatCameNorStallTheNextAnswers) {
    const std::string big = PatternBytes(2 * 1024 * 1024, 3);
    const std::string big_head =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(big.size()) + "\r\n\r\n";
    std::atomic<bool> go_on{false};
    std::atomic<int> connections{0};
    LoopbackServer origin([&](net::Socket& socket) {
        ++connections;
        std::string rest;
        while (const auto head = ReadHead(socket, rest)) {
            if (head->find(" /pause ") != std::string::npos) {
                socket.SendAll(big_head);
                std::this_thread::sleep_for(50ms);
                socket.SendAll(big.substr(0, 1000));
                for (int i = 0; i < 1000 && !go_on; ++i) std::this_thread::sleep_for(10ms);
                socket.SendAll(big.substr(1000));
            } else if (head->find(" /big ") != std::string::npos) {
                socket.SendAll(big_head + big);
            } else {
                socket.SendAll("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n");
                std::this_thread::sleep_for(50ms);
                socket.SendAll("small");
            }
        }
    });
    ASSERT_TRUE(relay_->start(0, 0, "", 0, "", ""));
    const std::string host = "127.0.0.1:" + std::to_string(origin.port());
    auto request = [&](const std::string& path) {
        return "GET http://" + host + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
    };
    net::Socket browser = Connect(port());
    // Far shorter than the relay's idle limit: an answer held back would be seen as missing here.
    browser.SetReceiveTimeout(5s);

    ASSERT_TRUE(browser.SendAll(request("/pause")));
    std::string rest;
    ASSERT_TRUE(ReadHead(browser, rest));
    const auto first = ReadExactly(browser, rest, 1000);
    go_on = true;
    ASSERT_TRUE(first) << "the bytes before the pause were held back";
    const auto whole = ReadExactly(browser, *first, big.size());
    ASSERT_TRUE(whole);
    EXPECT_EQ(Checksum(*whole), Checksum(big));

    rest.clear();
    ASSERT_TRUE(browser.SendAll(request("/big")));
    const auto second = ReadLengthAnswer(browser, rest);
    ASSERT_TRUE(second);
    EXPECT_EQ(Checksum(Body(*second)), Checksum(big));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(browser.SendAll(request("/small")));
        EXPECT_EQ(Body(ReadLengthAnswer(browser, rest).value_or("")), "small") << i;
    }
    EXPECT_EQ(connections, 1);
}

// A kept connection that the server gives up just as the next request arrives: a request held whole
// goes again once on a new connection; a POST whose body streamed on ends the browser's connection.
TEST_F(KeepAliveTest, StaleKeptConnectionIsRetriedOnceForAGetButNotForAStreamedPost) {
    KeepAliveServer origin([](const Request& request, int, int on_connection) -> KeepAliveServer::Answer {
        if (on_connection > 1) return {};  // closes unanswered
        return {Lengthed("answer to " + request.Path())};
    });
    ASSERT_TRUE(relay_->start(0, 0, "", 0, "", ""));
    const std::string host = "127.0.0.1:" + std::to_string(origin.port());
    const std::string prefix = " http://" + host;
    const std::string tail = " HTTP/1.1\r\nHost: " + host + "\r\n";

    net::Socket browser = Connect(port());
    ASSERT_TRUE(browser.SendAll("GET" + prefix + "/first" + tail + "\r\n"));
    std::string rest;
    EXPECT_EQ(Body(ReadLengthAnswer(browser, rest).value_or("")), "answer to /first");
    ASSERT_TRUE(browser.SendAll("GET" + prefix + "/second" + tail + "\r\n"));
    EXPECT_EQ(Body(ReadLengthAnswer(browser, rest).value_or("")), "answer to /second");

    const std::string body = PatternBytes(1024 * 1024, 9);
    ASSERT_TRUE(browser.SendAll("POST" + prefix + "/upload" + tail +
                                "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n"));
    browser.SendAll(body);
    EXPECT_EQ(ReadToEnd(browser), "");

    std::vector<std::pair<int, std::string>> expected = {
        {1, "/first"}, {1, "/second"}, {2, "/second"}, {2, "/upload"}};
    EXPECT_EQ(origin.requests(), expected);
}

TEST_F(KeepAliveTest, TunnelsTakeTheWarmSpareAndAClosedSpareIsReplaced) {
    std::atomic<int> started{0};
    std::mutex mutex;
    std::vector<int> tunnels_on;  // which connection each CONNECT came on, in the order they opened
    LoopbackServer proxy([&](net::Socket& socket) {
        const int ordinal = ++started;
        // Like a proxy that drops an idle client quickly.
        socket.SetReceiveTimeout(1500ms);
        std::string rest;
        if (!ReadHead(socket, rest)) return;
        {
            const std::lock_guard lock(mutex);
            tunnels_on.push_back(ordinal);
        }
        socket.SetReceiveTimeout(10s);
        socket.SendAll("HTTP/1.1 200 Tunnel open\r\n\r\n");
        char buffer[4096];
        for (;;) {
            const auto n = socket.Receive(buffer, sizeof(buffer));
            if (n <= 0) break;
            socket.SendAll(buffer, static_cast<std::size_t>(n));
        }
    });
    ASSERT_TRUE(relay_->start(0, 1, "127.0.0.1", proxy.port(), "", ""));
    auto tunnel = [&] {
        net::Socket browser = Connect(port());
        if (!browser.SendAll("CONNECT example.org:443 HTTP/1.1\r\nHost: example.org:443\r\n\r\n"))
            return false;
        std::string rest;
        if (ReadHead(browser, rest) != "HTTP/1.1 200 Tunnel open\r\n\r\n") return false;
        browser.SendAll("ping");
        browser.ShutdownSend();
        return rest + ReadToEnd(browser) == "ping";
    };
    auto wait_for_spare = [&] {
        for (int i = 0; i < 200 && relay_->sparesReady() == 0; ++i) std::this_thread::sleep_for(10ms);
        return relay_->sparesReady() > 0;
    };
    auto wait_for_opened = [&](int count) {
        for (int i = 0; i < 200 && started < count; ++i) std::this_thread::sleep_for(10ms);
        return started.load();
    };
    // The first tunnel and the first spare open together, in either order.
    EXPECT_TRUE(tunnel());
    ASSERT_TRUE(wait_for_spare());
    const int opened_before_second = wait_for_opened(2);
    EXPECT_TRUE(tunnel());
    ASSERT_TRUE(wait_for_spare());
    // The proxy drops the spare made after the second tunnel; the third sees it closed and connects anew.
    const int opened_before_third = wait_for_opened(3);
    std::this_thread::sleep_for(2500ms);
    EXPECT_TRUE(tunnel());
    const std::lock_guard lock(mutex);
    ASSERT_EQ(tunnels_on.size(), 3u);
    EXPECT_LE(tunnels_on[1], opened_before_second)
        << "the second tunnel did not take the spare made before it";
    EXPECT_GT(tunnels_on[2], opened_before_third) << "the third tunnel took a spare the proxy had closed";
}

// A browser opens six connections to its proxy at once: after such a burst the relay keeps six spares,
// and the next six tunnels opened together all take one, so none waits for a connect to the proxy.
TEST_F(KeepAliveTest, SixTunnelsAtOnceFindSixSpares) {
    std::atomic<int> started{0};
    std::mutex mutex;
    std::vector<int> tunnels_on;
    LoopbackServer proxy([&](net::Socket& socket) {
        const int ordinal = ++started;
        std::string rest;
        if (!ReadHead(socket, rest)) return;
        {
            const std::lock_guard lock(mutex);
            tunnels_on.push_back(ordinal);
        }
        socket.SendAll("HTTP/1.1 200 Tunnel open\r\n\r\n");
        char buffer[64];
        while (socket.Receive(buffer, sizeof(buffer)) > 0) {
        }
    });
    ASSERT_TRUE(relay_->start(0, 1, "127.0.0.1", proxy.port(), "", ""));
    auto burst = [&] {
        std::vector<net::Socket> browsers;
        for (int i = 0; i < 6; ++i) {
            browsers.push_back(Connect(port()));
            browsers.back().SendAll("CONNECT example.org:443 HTTP/1.1\r\nHost: example.org:443\r\n\r\n");
        }
        int open = 0;
        for (net::Socket& browser : browsers) {
            std::string rest;
            if (ReadHead(browser, rest) == "HTTP/1.1 200 Tunnel open\r\n\r\n") ++open;
        }
        return open;
    };
    auto wait_for_spares = [&](std::size_t count) {
        for (int i = 0; i < 300 && relay_->sparesReady() < count; ++i) std::this_thread::sleep_for(10ms);
        return relay_->sparesReady();
    };
    EXPECT_EQ(burst(), 6);
    ASSERT_EQ(wait_for_spares(6), 6u);
    // The proxy numbers connections as it accepts them, which may be a little after the relay has them.
    for (int i = 0; i < 300 && started < 12; ++i) std::this_thread::sleep_for(10ms);
    const int opened_before = started;
    EXPECT_EQ(opened_before, 12);
    EXPECT_EQ(burst(), 6);
    const std::lock_guard lock(mutex);
    ASSERT_EQ(tunnels_on.size(), 12u);
    for (std::size_t i = 6; i < 12; ++i) EXPECT_LE(tunnels_on[i], opened_before) << "tunnel " << i;
    EXPECT_LE(relay_->sparesReady(), WarmSpares::kMost);
}

}  // namespace
}  // namespace vestrel::relay
