// The HTTP GET service through a given proxy, against a stand-in proxy on loopback that answers with
// the request it received: run natively (sockets) and under Wine (WinInet). The request must reach the
// proxy in absolute form even when the server named in it is on loopback itself (WinInet would leave
// loopback out of the proxy by default); HTTPS goes as a CONNECT under WinInet and is refused natively.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/http/HttpGet.h"
#include "tests/relay/LoopbackPeers.h"

namespace vestrel::platform::http {
namespace {

using relay::testing::LoopbackServer;
namespace net = platform::net;

// Answers each request with its own head as the body; CONNECT gets a 502, as a proxy that refuses it.
class EchoProxy {
  public:
    EchoProxy()
        : server_([this](net::Socket& socket) {
              std::string rest;
              const std::optional<std::string> head = relay::testing::ReadHead(socket, rest);
              if (!head) return;
              {
                  const std::lock_guard lock(mutex_);
                  heads_.push_back(*head);
              }
              const bool connect = head->rfind("CONNECT ", 0) == 0;
              const std::string body = connect ? std::string() : *head;
              socket.SendAll(std::string(connect ? "HTTP/1.1 502 Bad Gateway" : "HTTP/1.1 200 OK") +
                             "\r\nContent-Length: " + std::to_string(body.size()) +
                             "\r\nConnection: close\r\n\r\n" + body);
          }) {}

    std::string address() const { return "127.0.0.1:" + std::to_string(server_.port()); }
    std::vector<std::string> heads() {
        const std::lock_guard lock(mutex_);
        return heads_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> heads_;
    LoopbackServer server_;
};

GetResult Fetch(const Url& url, const std::string& proxy, std::string& body) {
    GetOptions options;
    options.proxy = proxy;
    options.connect_timeout = std::chrono::seconds(5);
    options.receive_timeout = std::chrono::seconds(10);
    options.accept_any_certificate = true;
    return Get(url, options, [&](std::string_view bytes) { body.append(bytes); });
}

TEST(HttpGetProxyContractTest, SendsTheWholeAddressToTheProxyEvenForLoopbackServers) {
    EchoProxy proxy;
    for (const char* target : {"http://lists.invalid:8081/a/list.txt?m=1", "http://127.0.0.1:9/judge?m=2"}) {
        std::string body;
        const GetResult result = Fetch(*ParseUrl(target), proxy.address(), body);
        ASSERT_TRUE(result.complete) << target << ": " << result.error.message();
        EXPECT_EQ(result.status, 200);
        EXPECT_EQ(body.rfind(std::string("GET ") + target + " HTTP/1.", 0), 0u) << body;
    }
    EXPECT_EQ(proxy.heads().size(), 2u);
}

TEST(HttpGetProxyContractTest, HttpsGoesAsATunnelOrNotAtAll) {
    EchoProxy proxy;
    const std::optional<Url> url = ParseHttpsUrl("https://127.0.0.1:9/judge");
    ASSERT_TRUE(url.has_value());
    EXPECT_TRUE(url->https);
    EXPECT_EQ(url->port, 9);
    std::string body;
    const GetResult result = Fetch(*url, proxy.address(), body);
    // No answer from the server: WinInet hands back the proxy's refusal as the answer (Wine: 502).
    EXPECT_FALSE(result.complete && result.status == 200);
#ifdef _WIN32
    // The tunnel was asked for and refused: nothing went around the proxy.
    ASSERT_FALSE(proxy.heads().empty());
    EXPECT_EQ(proxy.heads().front().rfind("CONNECT 127.0.0.1:9 HTTP/1.", 0), 0u) << proxy.heads().front();
#else
    EXPECT_EQ(result.error, std::make_error_code(std::errc::protocol_not_supported));
    EXPECT_TRUE(proxy.heads().empty());
#endif
}

}  // namespace
}  // namespace vestrel::platform::http
