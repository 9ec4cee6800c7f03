// The relay among real programs on loopback: Debian's tinyproxy and squid as the upstream proxy, a
// Python origin over HTTP and TLS, and curl as the browser. Every process is started here and stopped by
// its PID.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "relay/LocalRelay.h"
#include "relay/UpstreamWatch.h"
#include "settings/RegDwordSetting.h"
#include "tests/relay/LoopbackPeers.h"

extern char** environ;

namespace vestrel::relay {
namespace {

using namespace std::chrono_literals;
using namespace testing;
namespace fs = std::filesystem;

// A program run for the length of a test, stopped by its PID: SIGTERM, then SIGKILL after 5 s.
class ChildProcess {
  public:
    ChildProcess(const std::vector<std::string>& argv, const fs::path& log) {
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGCONT);
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            std::this_thread::sleep_for(50ms);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    bool Started() const { return pid_ > 0; }
    // Stops or lets go on the program, as a proxy that hangs would (SIGSTOP, SIGCONT).
    void Signal(int signal) const {
        if (pid_ > 0) ::kill(pid_, signal);
    }

  private:
    pid_t pid_ = -1;
};

std::uint16_t FreePort() {
    std::error_code error;
    const net::Listener probe = net::Listener::OnLoopback(0, 1, error);
    return probe.Port();
}

bool WaitForPort(std::uint16_t port) {
    for (int i = 0; i < 200; ++i) {
        std::error_code error;
        if (net::ConnectTcp("127.0.0.1", port, 1s, error).Valid()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

std::uint32_t Crc32(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

std::string Body(const std::string& answer) {
    const auto end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

class RelayIntegrationTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(fs::temp_directory_path() / ("vestrel-relay-it-" + std::to_string(::getpid())));
        fs::create_directories(*dir_);
        const fs::path source = std::getenv("VESTREL_SOURCE_DIR") ? std::getenv("VESTREL_SOURCE_DIR") : ".";
        const std::string script = (source / "tests/relay/origin_server.py").string();
        const std::string log = (*dir_ / "servers.log").string();

        const std::string cert = (*dir_ / "cert.pem").string();
        const std::string key = (*dir_ / "key.pem").string();
        const std::string make_cert =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -keyout " + key +
            " -out " + cert + " >>" + log + " 2>&1";
        cert_made_ = std::system(make_cert.c_str()) == 0;

        origin_port_ = FreePort();
        origin_ = new ChildProcess({"/usr/bin/python3", script, std::to_string(origin_port_)}, log);
        tls_port_ = FreePort();
        tls_origin_ =
            new ChildProcess({"/usr/bin/python3", script, std::to_string(tls_port_), cert, key}, log);

        tinyproxy_port_ = FreePort();
        const fs::path config = *dir_ / "tinyproxy.conf";
        std::ofstream(config) << "Port " << tinyproxy_port_
                              << "\nListen 127.0.0.1\nTimeout 60\nMaxClients 400\n"
                              << "LogLevel Critical\n";
        tinyproxy_ = new ChildProcess({"/usr/bin/tinyproxy", "-d", "-c", config.string()}, log);

        // Squid keeps connections to its clients open between requests, which tinyproxy does not.
        squid_port_ = FreePort();
        const fs::path squid_config = *dir_ / "squid.conf";
        std::ofstream(squid_config) << "http_port 127.0.0.1:" << squid_port_
                                    << "\nacl local src 127.0.0.1\nhttp_access allow local\n"
                                    << "http_access deny all\ncache deny all\naccess_log none\n"
                                    << "cache_log /dev/null\npid_filename none\ncoredump_dir "
                                    << dir_->string()
                                    << "\nshutdown_lifetime 0 seconds\nclient_persistent_connections on\n";
        squid_ = new ChildProcess({"/usr/sbin/squid", "-N", "-f", squid_config.string()}, log);
        ready_ = origin_->Started() && tls_origin_->Started() && tinyproxy_->Started() && squid_->Started() &&
                 WaitForPort(origin_port_) && WaitForPort(tls_port_) && WaitForPort(tinyproxy_port_) &&
                 WaitForPort(squid_port_);
    }
    static void TearDownTestSuite() {
        delete squid_;
        delete tinyproxy_;
        delete tls_origin_;
        delete origin_;
        std::error_code ignored;
        fs::remove_all(*dir_, ignored);
        delete dir_;
    }

    void SetUp() override {
        ASSERT_TRUE(ready_) << "tinyproxy, squid, python3 or openssl did not start; see "
                            << (*dir_ / "servers.log");
        ASSERT_TRUE(relay_->start(0, 1, "127.0.0.1", tinyproxy_port_, "", ""));
    }
    void TearDown() override {
        relay_->stop();
        EXPECT_TRUE(relay_->waitForConnectionsToEnd(30s));
        settings::RegDwordSetting(settings::kEnableJS).set(0);
        settings::RegDwordSetting(settings::kEnableActiveX).set(0);
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(origin_port_) + path;
    }
    std::string Get(const std::string& path) {
        return Exchange(relay_->boundPort(),
                        "GET " + Url(path) + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(origin_port_) +
                            "\r\nUser-Agent: test\r\n\r\n");
    }

    static inline fs::path* dir_ = nullptr;
    static inline ChildProcess* origin_ = nullptr;
    static inline ChildProcess* tls_origin_ = nullptr;
    static inline ChildProcess* tinyproxy_ = nullptr;
    static inline std::uint16_t origin_port_ = 0;
    static inline std::uint16_t tls_port_ = 0;
    static inline std::uint16_t tinyproxy_port_ = 0;
    static inline ChildProcess* squid_ = nullptr;
    static inline std::uint16_t squid_port_ = 0;
    static inline bool cert_made_ = false;
    static inline bool ready_ = false;

    std::unique_ptr<LocalRelay> relay_ = std::make_unique<LocalRelay>();
};

TEST_F(RelayIntegrationTest, GetThroughTinyproxyArrivesByteForByte) {
    const std::string answer = Get("/bytes/1000000");
    EXPECT_EQ(answer.substr(0, 7) + answer.substr(8, 7), "HTTP/1. 200 OK");
    EXPECT_TRUE(Body(answer) == Pattern(1000000)) << Body(answer).size();
}

TEST_F(RelayIntegrationTest, FiveMebibytePostArrivesIntact) {
    const std::string body = PatternBytes(5 * 1024 * 1024, 7);
    const std::string answer =
        Exchange(relay_->boundPort(), "POST " + Url("/crc") +
                                          " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(origin_port_) +
                                          "\r\nContent-Type: application/octet-stream\r\n"
                                          "Content-Length: " +
                                          std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_EQ(Body(answer), std::to_string(body.size()) + " " + std::to_string(Crc32(body)));
}

TEST_F(RelayIntegrationTest, HttpsThroughConnectWithCurl) {
    ASSERT_TRUE(cert_made_);
    const fs::path out = *dir_ / "https.bin";
    const std::string command =
        "curl -s -k --max-time 30 --proxy http://127.0.0.1:" + std::to_string(relay_->boundPort()) + " -o " +
        out.string() + " https://127.0.0.1:" + std::to_string(tls_port_) + "/bytes/300000";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream file(out, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    EXPECT_TRUE(bytes.str() == Pattern(300000)) << bytes.str().size();
}

TEST_F(RelayIntegrationTest, TwoHundredParallelDownloads) {
    std::atomic<int> whole{0};
    std::vector<std::thread> clients;
    const std::string expected = Pattern(200000);
    for (int i = 0; i < 200; ++i) {
        clients.emplace_back([&] {
            if (Body(Get("/bytes/200000")) == expected) ++whole;
        });
    }
    for (std::thread& client : clients) client.join();
    EXPECT_EQ(whole, 200);
}

TEST_F(RelayIntegrationTest, SilentOriginHitsTheIdleLimitWhileOthersGoOn) {
    RelayLimits limits;
    limits.idle_timeout = 1s;
    relay_ = std::make_unique<LocalRelay>(limits);
    ASSERT_TRUE(relay_->start(0, 1, "127.0.0.1", tinyproxy_port_, "", ""));
    std::atomic<bool> release{false};
    LoopbackServer silent([&](net::Socket&) {
        for (int i = 0; i < 300 && !release; ++i) std::this_thread::sleep_for(50ms);
    });
    const auto began = std::chrono::steady_clock::now();
    std::thread stuck([&] {
        const std::string host = "127.0.0.1:" + std::to_string(silent.port());
        EXPECT_EQ(
            Exchange(relay_->boundPort(), "GET http://" + host + "/ HTTP/1.1\r\nHost: " + host + "\r\n\r\n"),
            "");
    });
    for (int i = 0; i < 10; ++i) EXPECT_EQ(Body(Get("/bytes/1000")), Pattern(1000));
    stuck.join();
    release = true;
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_GE(took, 900ms);
    EXPECT_LT(took, 10s);
}

TEST_F(RelayIntegrationTest, BadInputIsAnsweredWhileOthersAreServed) {
    using namespace std::string_view_literals;
    const std::uint16_t port = relay_->boundPort();
    std::thread endless([&] {
        net::Socket socket = Connect(port);
        socket.SendAll("GET " + Url("/") + " HTTP/1.1\r\n");
        const std::string line = "X-Filler: " + std::string(1000, 'f') + "\r\n";
        for (int i = 0; i < 100 && socket.SendAll(line); ++i) {
        }
    });
    EXPECT_EQ(Exchange(port, std::string("\x01\x02garbage\xff\r\n\r\n"sv)).substr(0, 12), "HTTP/1.1 400");
    EXPECT_EQ(Exchange(port, std::string("GET / HTTP/1.1\r\nHost: a\0b\r\n\r\n"sv)).substr(0, 12),
              "HTTP/1.1 400");
    EXPECT_EQ(Exchange(port, "GET /no-host HTTP/1.1\r\n\r\n").substr(0, 12), "HTTP/1.1 400");
    EXPECT_EQ(Body(Get("/bytes/5000")), Pattern(5000));
    endless.join();
}

TEST_F(RelayIntegrationTest, FilterRenamesMixedCaseTagsSplitAcrossBlocks) {
    settings::RegDwordSetting(settings::kEnableJS).set(1);
    settings::RegDwordSetting(settings::kEnableActiveX).set(1);
    const std::string answer = Get("/page");
    const std::string body = Body(answer);
    EXPECT_EQ(body.substr(0, 124),
              "<html><head><noscri src='a.js'></noscri><noscri>var x = 1;</noscri></head>"
              "<body>Keep This Text<noobj  data='m.swf'></noobj> ");
    EXPECT_EQ(body.size(), 5000u + 138u);
    EXPECT_NE(answer.find("Content-Length: 5138"), std::string::npos);
}

// One browser connection carries requests in turn and then pipelined, through each upstream; squid
// also keeps its connection to the relay for the next browser connection.
TEST_F(RelayIntegrationTest, KeepAliveAndPipeliningThroughTinyproxyAndSquid) {
    for (const std::uint16_t upstream : {tinyproxy_port_, squid_port_}) {
        SCOPED_TRACE(upstream == squid_port_ ? "squid" : "tinyproxy");
        relay_->stop();
        ASSERT_TRUE(relay_->start(0, 1, "127.0.0.1", upstream, "", ""));
        const std::string host = "\r\nHost: 127.0.0.1:" + std::to_string(origin_port_) + "\r\n\r\n";
        auto request = [&](std::size_t size) {
            return "GET " + Url("/bytes/" + std::to_string(size)) + " HTTP/1.1" + host;
        };
        net::Socket browser = Connect(relay_->boundPort());
        std::string rest;
        for (const std::size_t size : {1000u, 70000u, 0u, 300000u}) {
            ASSERT_TRUE(browser.SendAll(request(size)));
            const auto answer = ReadLengthAnswer(browser, rest);
            ASSERT_TRUE(answer) << size;
            EXPECT_NE(answer->find("Connection: keep-alive\r\n"), std::string::npos);
            EXPECT_TRUE(Body(*answer) == Pattern(size)) << size;
        }
        const std::size_t sizes[] = {5000, 1, 200000, 64};
        std::string pipelined;
        for (const std::size_t size : sizes) pipelined += request(size);
        ASSERT_TRUE(browser.SendAll(pipelined));
        for (const std::size_t size : sizes) {
            const auto answer = ReadLengthAnswer(browser, rest);
            ASSERT_TRUE(answer) << size;
            EXPECT_TRUE(Body(*answer) == Pattern(size)) << size;
        }
        EXPECT_TRUE(rest.empty());
        if (upstream == squid_port_) {
            // The relay keeps squid's connection just after the browser has the last answer.
            for (int i = 0; i < 200 && relay_->idleUpstreamConnections() == 0; ++i)
                std::this_thread::sleep_for(10ms);
            EXPECT_GE(relay_->idleUpstreamConnections(), 1u);
        }
    }
}

// A tinyproxy stopped by SIGSTOP still takes connections into its listen queue and never answers: the
// relay gives up on it within the answer limit (the CONNECT reply limit for a tunnel), answers every
// waiting browser with its page and tells the watch, so that the failover hears of it. An answer that
// has started, however slowly it goes on, is never cut by that limit.
TEST_F(RelayIntegrationTest, HungTinyproxyIsADeadProxyButASlowAnswerIsNotCut) {
    const std::uint16_t hung_port = FreePort();
    const fs::path config = *dir_ / "hung.conf";
    std::ofstream(config) << "Port " << hung_port << "\nListen 127.0.0.1\nTimeout 60\nLogLevel Critical\n";
    ChildProcess hung({"/usr/bin/tinyproxy", "-d", "-c", config.string()}, *dir_ / "servers.log");
    ASSERT_TRUE(hung.Started() && WaitForPort(hung_port));
    std::atomic<int> reports{0};
    TheUpstreamWatch().Rearm();
    TheUpstreamWatch().SetHandler([&](const std::string& upstream) {
        if (upstream == "127.0.0.1:" + std::to_string(hung_port)) ++reports;
    });
    struct Unhook {
        ~Unhook() {
            TheUpstreamWatch().SetHandler(nullptr);
            TheUpstreamWatch().Rearm();
        }
    } unhook;

    RelayLimits limits;
    limits.connect_reply_timeout = 2s;
    relay_ = std::make_unique<LocalRelay>(limits);
    ASSERT_TRUE(relay_->start(0, Upstream{UpstreamProtocol::Http, "127.0.0.1", hung_port, "", ""}, 1500ms));
    EXPECT_NE(Get("/bytes/10").find(" 200 "), std::string::npos);

    hung.Signal(SIGSTOP);
    const auto began = std::chrono::steady_clock::now();
    std::vector<std::string> answers(4);
    std::vector<std::thread> browsers;
    for (std::size_t i = 0; i < 3; ++i) browsers.emplace_back([&, i] { answers[i] = Get("/bytes/10"); });
    browsers.emplace_back([&] {
        const std::string origin = "127.0.0.1:" + std::to_string(tls_port_);
        answers[3] = Exchange(relay_->boundPort(),
                              "CONNECT " + origin + " HTTP/1.1\r\nHost: " + origin + "\r\n\r\n\x16\x03\x01");
    });
    for (std::thread& browser : browsers) browser.join();
    const auto took = std::chrono::steady_clock::now() - began;
    hung.Signal(SIGCONT);
    for (const std::string& answer : answers) {
        EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 502") << answer;
        EXPECT_NE(answer.find("could not reach the proxy 127.0.0.1:" + std::to_string(hung_port) +
                              ": it did not answer in time"),
                  std::string::npos)
            << answer;
    }
    EXPECT_GE(took, 1400ms);
    EXPECT_LT(took, 8s);
    EXPECT_EQ(reports, 1);

    // Through the working tinyproxy, with an answer limit far shorter than the answer takes.
    relay_->stop();
    ASSERT_TRUE(relay_->start(0, Upstream{UpstreamProtocol::Http, "127.0.0.1", tinyproxy_port_, "", ""}, 1s));
    const std::string slow = Get("/slow/30");
    EXPECT_EQ(slow.substr(0, 12), "HTTP/1.1 200") << slow;
    EXPECT_TRUE(Body(slow) == Pattern(30)) << Body(slow).size();
}

// Chained to a real tinyproxy, as a user who puts a local proxy behind the relay has it: requests
// that name the relay itself, by any loopback address or "localhost", are answered at once instead of
// going round relay, tinyproxy, relay until every connection is taken; a request in origin form, which
// says nowhere to go, gets the page saying how to use the relay. Pages go on through all of it.
TEST_F(RelayIntegrationTest, RequestsThatWouldComeBackAreAnsweredAndPagesGoOn) {
    const std::string own = std::to_string(relay_->boundPort());
    std::atomic<int> whole{0};
    std::atomic<int> tried{0};
    std::atomic<bool> done{false};
    std::thread pages([&] {
        for (int i = 0; i < 200 && !done; ++i, ++tried) {
            if (Body(Get("/bytes/20000")) == Pattern(20000)) ++whole;
        }
    });
    for (const std::string& self :
         {"127.0.0.1:" + own, "localhost:" + own, "127.9.8.7:" + own, "LocalHost.:" + own, "[::1]:" + own}) {
        SCOPED_TRACE(self);
        const auto began = std::chrono::steady_clock::now();
        EXPECT_EQ(
            Exchange(relay_->boundPort(), "GET http://" + self + "/ HTTP/1.1\r\nHost: " + self + "\r\n\r\n")
                .substr(0, 21),
            "HTTP/1.1 508 Loop Det");
        EXPECT_EQ(Exchange(relay_->boundPort(), "CONNECT " + self + " HTTP/1.1\r\nHost: " + self + "\r\n\r\n")
                      .substr(0, 12),
                  "HTTP/1.1 508");
        // The URL counts, whatever the Host line says.
        EXPECT_EQ(Exchange(relay_->boundPort(), "GET http://" + self + "/x HTTP/1.1\r\nHost: 127.0.0.1:" +
                                                    std::to_string(origin_port_) + "\r\n\r\n")
                      .substr(0, 12),
                  "HTTP/1.1 508");
        EXPECT_LT(std::chrono::steady_clock::now() - began, 3s);
    }
    const std::string origin_form =
        Exchange(relay_->boundPort(),
                 "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(origin_port_) + "\r\n\r\n");
    EXPECT_EQ(origin_form.substr(0, 24), "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(Body(origin_form), "This is Vestrel's local proxy: set 127.0.0.1 port " + own +
                                     " as the HTTP proxy of your browser, and ask it for pages there.\r\n");
    // Another port of this machine is an ordinary destination.
    EXPECT_EQ(Body(Get("/bytes/100")), Pattern(100));
    done = true;
    pages.join();
    EXPECT_GT(tried, 0);
    EXPECT_EQ(whole, tried);
    EXPECT_EQ(Body(Get("/bytes/5000")), Pattern(5000));
    EXPECT_TRUE(relay_->waitForConnectionsToEnd(5s)) << relay_->activeConnections();
}

// The login of the danted that asks for one.
constexpr const char* kLoginUser = "relay-login";
constexpr const char* kLoginPassword = "se:cret word";

// danted on loopback, leaving from `exit_address`. With `login` it takes only a user name and
// password, which it checks against the machine's users: with-login-user.sh gives it one of its own
// that no other program sees. Either refuses tunnels to 127.0.0.99 by its rules.
struct Dante {
    std::uint16_t port = 0;
    std::unique_ptr<ChildProcess> process;
};

class SocksIntegrationTest : public RelayIntegrationTest {
  protected:
    static Dante StartDante(const std::string& name, const std::string& exit_address, bool login) {
        Dante dante;
        dante.port = FreePort();
        const fs::path home = *dir_ / name;
        fs::create_directories(home);
        const fs::path config = home / "danted.conf";
        std::ofstream(config) << "logoutput: " << (home / "danted.log").string()
                              << "\ninternal: 127.0.0.1 port = " << dante.port
                              << "\nexternal: " << exit_address
                              << "\nclientmethod: none\nsocksmethod: " << (login ? "username" : "none")
                              << "\nuser.privileged: root\nuser.unprivileged: nobody\n"
                              << "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                              << "socks block { from: 0.0.0.0/0 to: 127.0.0.99/32 }\n"
                              << "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 command: connect }\n";
        std::vector<std::string> argv = {
            "/usr/sbin/danted", "-f", config.string(), "-N", "1", "-p", (home / "danted.pid").string()};
        if (login) {
            const fs::path source =
                std::getenv("VESTREL_SOURCE_DIR") ? std::getenv("VESTREL_SOURCE_DIR") : ".";
            argv.insert(argv.begin(), {"/bin/sh", (source / "tests/relay/with-login-user.sh").string(),
                                       home.string(), kLoginUser, kLoginPassword});
        }
        dante.process = std::make_unique<ChildProcess>(argv, *dir_ / "servers.log");
        if (!dante.process->Started() || !WaitForPort(dante.port)) dante.port = 0;
        return dante;
    }

    void Through(const Upstream& upstream) {
        relay_->stop();
        ASSERT_TRUE(relay_->start(0, upstream));
    }
    Upstream Socks5(std::uint16_t port, std::string user = "", std::string password = "") const {
        return Upstream{UpstreamProtocol::Socks5, "127.0.0.1", port, std::move(user), std::move(password)};
    }
    std::string GetFrom(const std::string& host_port) {
        return Exchange(relay_->boundPort(),
                        "GET http://" + host_port + "/ HTTP/1.1\r\nHost: " + host_port + "\r\n\r\n");
    }
};

// Through real SOCKS5 servers, each leaving from a loopback address of its own: Dante's danted without
// a login and with one, microsocks with one. Plain pages (the relay speaks to the server itself
// through the tunnel) and HTTPS (the browser's CONNECT becomes the tunnel) arrive whole from the
// server's address; refusals come back as the relay's page with the reason in words.
TEST_F(SocksIntegrationTest, PagesThroughDanteAndMicrosocksLeaveFromTheirAddress) {
    ASSERT_TRUE(cert_made_);
    const Dante dante = StartDante("danted", "127.0.0.6", false);
    const Dante dante_login = StartDante("danted-login", "127.0.0.8", true);
    const std::uint16_t micro_port = FreePort();
    ChildProcess micro({"/usr/bin/microsocks", "-i", "127.0.0.1", "-p", std::to_string(micro_port), "-b",
                        "127.0.0.7", "-u", kLoginUser, "-P", kLoginPassword},
                       *dir_ / "servers.log");
    ASSERT_TRUE(dante.port && dante_login.port && micro.Started() && WaitForPort(micro_port))
        << "danted or microsocks did not start; see " << (*dir_ / "servers.log");

    struct Server {
        const char* name;
        std::uint16_t port;
        const char* user;
        const char* password;
        const char* exit_address;
    };
    for (const Server& server :
         {Server{"danted", dante.port, "", "", "127.0.0.6"},
          Server{"danted with a login", dante_login.port, kLoginUser, kLoginPassword, "127.0.0.8"},
          Server{"microsocks", micro_port, kLoginUser, kLoginPassword, "127.0.0.7"}}) {
        SCOPED_TRACE(server.name);
        Through(Socks5(server.port, server.user, server.password));
        EXPECT_EQ(Body(Get("/peer")), server.exit_address);
        const std::string big = Get("/bytes/1000000");
        EXPECT_EQ(big.substr(0, 12), "HTTP/1.1 200");
        EXPECT_TRUE(Body(big) == Pattern(1000000)) << Body(big).size();

        const fs::path out = *dir_ / "socks-https.bin";
        const std::string command =
            "curl -s -k --max-time 30 --proxy http://127.0.0.1:" + std::to_string(relay_->boundPort()) +
            " -o " + out.string() + " https://127.0.0.1:" + std::to_string(tls_port_) + "/bytes/300000";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        std::ifstream file(out, std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        EXPECT_TRUE(bytes.str() == Pattern(300000)) << bytes.str().size();

        // Nothing listens at the dead port: the proxy says so, and the page says it in words.
        const std::string refused = GetFrom("127.0.0.1:" + std::to_string(FreePort()));
        EXPECT_EQ(refused.substr(0, 12), "HTTP/1.1 502") << refused;
        EXPECT_NE(refused.find("could not reach the proxy 127.0.0.1:" + std::to_string(server.port) + ": "),
                  std::string::npos)
            << refused;
    }
    // danted names the refusal; microsocks only says it failed.
    for (const std::uint16_t port : {dante.port, dante_login.port}) {
        const bool login = port == dante_login.port;
        SCOPED_TRACE(login ? "danted with a login" : "danted");
        Through(login ? Socks5(port, kLoginUser, kLoginPassword) : Socks5(port));
        const std::string dead = "127.0.0.1:" + std::to_string(FreePort());
        EXPECT_NE(Exchange(relay_->boundPort(), "CONNECT " + dead + " HTTP/1.1\r\nHost: " + dead + "\r\n\r\n")
                      .find("connection refused by the destination"),
                  std::string::npos);
        EXPECT_NE(GetFrom("127.0.0.99:" + std::to_string(origin_port_))
                      .find("the connection is not allowed by the proxy's rules"),
                  std::string::npos);
    }

    // A wrong password, and none at all where one is wanted, from either server that asks.
    for (const std::uint16_t port : {dante_login.port, micro_port}) {
        SCOPED_TRACE(port == micro_port ? "microsocks" : "danted with a login");
        Through(Socks5(port, kLoginUser, "wrong"));
        EXPECT_NE(Get("/peer").find("the proxy refused the user name and password"), std::string::npos);
        Through(Socks5(port));
        EXPECT_NE(Get("/peer").find("the proxy wants a user name and password"), std::string::npos);
    }

    // danted speaks SOCKS4 but not its "a" form: for a name it takes 0.0.0.1 for the address, cannot
    // connect there, and refuses, as a SOCKS4 proxy does. An address goes as itself, and gets through.
    Through(Upstream{UpstreamProtocol::Socks4a, "127.0.0.1", dante.port, "relay", ""});
    EXPECT_EQ(Body(Get("/peer")), "127.0.0.6");
    const std::string socks4 = GetFrom("localhost:" + std::to_string(origin_port_));
    EXPECT_EQ(socks4.substr(0, 12), "HTTP/1.1 502") << socks4;
    EXPECT_NE(socks4.find("the proxy refused or could not make the connection"), std::string::npos) << socks4;
}

// Debian's chromium, pointed at the relay as its proxy, loads a page and its pictures over HTTP and
// HTTPS through the relay and danted with a login: the page shows danted's address, and every picture
// came.
TEST_F(SocksIntegrationTest, ChromiumLoadsPagesThroughTheRelayAndDante) {
    ASSERT_TRUE(cert_made_);
    const Dante dante = StartDante("danted-browser", "127.0.0.8", true);
    ASSERT_TRUE(dante.port) << "danted did not start; see " << (*dir_ / "servers.log");
    Through(Socks5(dante.port, kLoginUser, kLoginPassword));
    const fs::path profile = *dir_ / "chromium";
    for (const std::string& origin : {"http://127.0.0.1:" + std::to_string(origin_port_),
                                      "https://127.0.0.1:" + std::to_string(tls_port_)}) {
        SCOPED_TRACE(origin);
        const fs::path dom = *dir_ / "dom.html";
        // Chromium sends loopback addresses past any proxy unless told not to.
        const std::string command =
            "timeout 90 chromium --headless --no-sandbox --disable-gpu --no-first-run "
            "--disable-background-networking --disable-component-update --disable-sync "
            "--ignore-certificate-errors --user-data-dir=" +
            profile.string() + " --proxy-server=http://127.0.0.1:" + std::to_string(relay_->boundPort()) +
            " '--proxy-bypass-list=<-loopback>' --dump-dom " + origin + "/gallery >" + dom.string() + " 2>>" +
            (*dir_ / "chromium.log").string();
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        std::ifstream file(dom);
        std::stringstream text;
        text << file.rdbuf();
        EXPECT_NE(text.str().find("<p id=\"peer\">127.0.0.8</p>"), std::string::npos) << text.str();
        EXPECT_NE(text.str().find("<p id=\"loaded\">12</p>"), std::string::npos) << text.str();
    }
}

// SOCKS4a from a real server: OpenSSH's dynamic forwarding (ssh -D), whose far end here is Dropbear on
// loopback with a login of its own (see with-login-user.sh). The destination goes by name, which plain
// SOCKS4 cannot carry, and the pages arrive whole. When the far end cannot connect, ssh closes without
// a reply, so the page says the proxy could not be reached.
TEST_F(SocksIntegrationTest, Socks4aThroughOpenSshDynamicForwarding) {
    ASSERT_TRUE(cert_made_);
    const fs::path home = *dir_ / "ssh";
    fs::create_directories(home / "home" / ".ssh");
    const std::string make_keys =
        "dropbearkey -t ed25519 -f " + (home / "host_key").string() +
        " >/dev/null 2>&1 && ssh-keygen -q -t ed25519 -N '' -f " + (home / "client_key").string() +
        " && cp " + (home / "client_key.pub").string() + " " + (home / "home/.ssh/authorized_keys").string();
    ASSERT_EQ(std::system(make_keys.c_str()), 0) << make_keys;
    // Dropbear reads the keys as the user, who owns nothing here.
    for (const fs::path& path : {*dir_, home, home / "home", home / "home/.ssh"})
        fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    const std::uint16_t server_port = FreePort();
    const fs::path source = std::getenv("VESTREL_SOURCE_DIR") ? std::getenv("VESTREL_SOURCE_DIR") : ".";
    ChildProcess dropbear(
        {"/bin/sh", (source / "tests/relay/with-login-user.sh").string(), home.string(), "relay-tunnel",
         "unused", "/usr/sbin/dropbear", "-F", "-E", "-s", "-p", "127.0.0.1:" + std::to_string(server_port),
         "-r", (home / "host_key").string(), "-P", (home / "dropbear.pid").string()},
        *dir_ / "servers.log");
    ASSERT_TRUE(dropbear.Started() && WaitForPort(server_port)) << "see " << (*dir_ / "servers.log");
    const std::uint16_t socks_port = FreePort();
    ChildProcess ssh({"/usr/bin/ssh",
                      "-F",
                      "/dev/null",
                      "-N",
                      "-D",
                      "127.0.0.1:" + std::to_string(socks_port),
                      "-i",
                      (home / "client_key").string(),
                      "-o",
                      "IdentitiesOnly=yes",
                      "-o",
                      "StrictHostKeyChecking=no",
                      "-o",
                      "UserKnownHostsFile=/dev/null",
                      "-o",
                      "BatchMode=yes",
                      "-o",
                      "ExitOnForwardFailure=yes",
                      "-o",
                      "LogLevel=ERROR",
                      "-p",
                      std::to_string(server_port),
                      "relay-tunnel@127.0.0.1"},
                     *dir_ / "servers.log");
    ASSERT_TRUE(ssh.Started() && WaitForPort(socks_port)) << "see " << (*dir_ / "servers.log");

    Through(Upstream{UpstreamProtocol::Socks4a, "127.0.0.1", socks_port, "relay", ""});
    const std::string named = "localhost:" + std::to_string(origin_port_);
    const std::string big =
        Exchange(relay_->boundPort(),
                 "GET http://" + named + "/bytes/1000000 HTTP/1.1\r\nHost: " + named + "\r\n\r\n");
    EXPECT_EQ(big.substr(0, 12), "HTTP/1.1 200") << big.substr(0, 300);
    EXPECT_TRUE(Body(big) == Pattern(1000000)) << Body(big).size();

    const fs::path out = *dir_ / "socks4a-https.bin";
    const std::string command =
        "curl -s -k --max-time 30 --proxy http://127.0.0.1:" + std::to_string(relay_->boundPort()) + " -o " +
        out.string() + " https://localhost:" + std::to_string(tls_port_) + "/bytes/300000";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream file(out, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    EXPECT_TRUE(bytes.str() == Pattern(300000)) << bytes.str().size();

    const std::string dead = GetFrom("localhost:" + std::to_string(FreePort()));
    EXPECT_EQ(dead.substr(0, 12), "HTTP/1.1 502") << dead;
    EXPECT_NE(dead.find("could not reach the proxy 127.0.0.1:" + std::to_string(socks_port)),
              std::string::npos)
        << dead;
}

// SOCKS4a byte for byte (danted takes 0.0.0.1 for an address, and ssh never refuses in words): a small
// proxy here checks the request's form, then answers as a server would. One that refuses, and one that
// closes mid-greeting, which counts against it as a dead proxy whichever SOCKS it was spoken.
TEST_F(SocksIntegrationTest, Socks4aSendsTheNameAndRefusalsAndClosesAreToldApart) {
    std::atomic<bool> name_sent{false};
    auto socks4a = [&](unsigned char verdict) {
        return [&, verdict](net::Socket& peer) {
            std::string got;
            char buffer[512];
            // Version, command, port, 0.0.0.1, the user id and the name, each ending in a NUL.
            while (got.size() < 8 + 6 + 15) {
                const auto n = peer.Receive(buffer, sizeof(buffer));
                if (n <= 0) return;
                got.append(buffer, static_cast<std::size_t>(n));
            }
            if (got.substr(0, 2) == "\x04\x01" && got.substr(4, 4) == std::string("\0\0\0\x01", 4) &&
                got.find(std::string("relay\0origin.example\0", 21)) == 8)
                name_sent = true;
            peer.SendAll(std::string("\0", 1) + static_cast<char>(verdict) + std::string(6, '\0'));
            if (verdict != 0x5A) return;
            std::string rest;
            ReadHead(peer, rest);
            peer.SendAll("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
        };
    };
    LoopbackServer granting(socks4a(0x5A));
    LoopbackServer refusing(socks4a(0x5B));
    LoopbackServer closing([](net::Socket& peer) {
        char buffer[3];
        peer.Receive(buffer, sizeof(buffer));
    });
    const std::string request = "GET http://origin.example:81/ HTTP/1.1\r\nHost: origin.example:81\r\n\r\n";

    ASSERT_TRUE(
        relay_->start(0, Upstream{UpstreamProtocol::Socks4a, "127.0.0.1", granting.port(), "relay", ""}));
    EXPECT_EQ(Body(Exchange(relay_->boundPort(), request)), "ok");
    EXPECT_TRUE(name_sent);

    relay_->stop();
    ASSERT_TRUE(
        relay_->start(0, Upstream{UpstreamProtocol::Socks4a, "127.0.0.1", refusing.port(), "relay", ""}));
    EXPECT_NE(
        Exchange(relay_->boundPort(), request).find("the proxy refused or could not make the connection"),
        std::string::npos);

    std::atomic<int> reports{0};
    TheUpstreamWatch().SetHandler([&](const std::string&) { ++reports; });
    for (const UpstreamProtocol protocol : {UpstreamProtocol::Socks5, UpstreamProtocol::Socks4a}) {
        SCOPED_TRACE(protocol == UpstreamProtocol::Socks5 ? "SOCKS5" : "SOCKS4a");
        reports = 0;
        TheUpstreamWatch().Rearm();
        Through(Upstream{protocol, "127.0.0.1", closing.port(), "relay", ""});
        for (int i = 0; i < 3; ++i) {
            const std::string answer = Exchange(relay_->boundPort(), request);
            EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 502") << answer;
        }
        EXPECT_EQ(reports, 1);
    }
    TheUpstreamWatch().SetHandler(nullptr);
    TheUpstreamWatch().Rearm();
}

}  // namespace
}  // namespace vestrel::relay
