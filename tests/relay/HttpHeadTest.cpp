// Request head parsing and rewriting, Base64 and the authorisation line.
#include <gtest/gtest.h>

#include <string>

#include "relay/Base64.h"
#include "relay/HttpHead.h"
#include "relay/RelaySettings.h"

namespace vestrel::relay {
namespace {

RelaySettings Upstream() { return MakeRelaySettings(1, "10.0.0.1", 3128, "", ""); }
RelaySettings Direct() { return MakeRelaySettings(0, "", 0, "", ""); }

std::string Rewrite(const std::string& head, const RelaySettings& settings, bool drop_encoding = false) {
    const auto request = ParseRequestHead(head);
    EXPECT_TRUE(request.has_value()) << head;
    return request ? RewriteRequestHead(*request, settings, drop_encoding) : std::string();
}

TEST(RequestRewriteTest, RequestLineFollowsTheRoute) {
    struct Case {
        std::string target;
        std::string upstream_line;
        std::string direct_line;
    };
    const Case cases[] = {
        {"http://example.com/a/b.html", "GET http://example.com/a/b.html HTTP/1.1", "GET /a/b.html HTTP/1.1"},
        {"http://example.com", "GET http://example.com HTTP/1.1", "GET / HTTP/1.1"},
        {"http://example.com?q=1", "GET http://example.com?q=1 HTTP/1.1", "GET /?q=1 HTTP/1.1"},
        {"http://example.com:8080/x?y=//z", "GET http://example.com:8080/x?y=//z HTTP/1.1",
         "GET /x?y=//z HTTP/1.1"},
        // A client that sends only the path still reaches the server through a proxy.
        {"/a/b.html", "GET http://example.com/a/b.html HTTP/1.1", "GET /a/b.html HTTP/1.1"},
        {"/index.html", "GET http://example.com/index.html HTTP/1.1", "GET /index.html HTTP/1.1"},
    };
    for (const Case& c : cases) {
        const std::string head = "GET " + c.target + " HTTP/1.1\r\nHost: example.com\r\n\r\n";
        EXPECT_EQ(Rewrite(head, Upstream()).substr(0, c.upstream_line.size() + 2), c.upstream_line + "\r\n");
        EXPECT_EQ(Rewrite(head, Direct()).substr(0, c.direct_line.size() + 2), c.direct_line + "\r\n");
    }
}

TEST(RequestRewriteTest, HopByHopAndConditionalHeadersAreLeftOutAndTheConnectionKept) {
    const std::string head =
        "GET http://h/ HTTP/1.1\r\nHost: h\r\nProxy-Connection: keep-alive\r\nKeep-Alive: 300\r\nTE: "
        "trailers\r\n"
        "Trailer: X\r\nUpgrade: websocket\r\nIf-Match: \"a\"\r\nIf-Modified-Since: Sat, 1 Jan 2000 00:00:00 "
        "GMT\r\n"
        "If-Range: \"a\"\r\nIf-Unmodified-Since: x\r\nif-none-match: \"b\"\r\nAccept: */*\r\n"
        "Accept-Encoding: gzip\r\n\r\n";
    EXPECT_EQ(Rewrite(head, Upstream()),
              "GET http://h/ HTTP/1.1\r\nHost: h\r\nAccept: */*\r\nAccept-Encoding: gzip\r\nConnection: "
              "keep-alive\r\n\r\n");
    // With a filter switch on, pages must come uncompressed.
    EXPECT_EQ(Rewrite(head, Upstream(), true),
              "GET http://h/ HTTP/1.1\r\nHost: h\r\nAccept: */*\r\nConnection: keep-alive\r\n\r\n");
}

TEST(RequestRewriteTest, ConnectionHeaderIsRewrittenInItsPlaceOnce) {
    const auto request = ParseRequestHead(
        "GET http://h/ HTTP/1.1\r\nConnection: keep-alive, Upgrade\r\nHost: h\r\nconnection: x\r\n\r\n");
    ASSERT_TRUE(request);
    EXPECT_EQ(RewriteRequestHead(*request, Upstream(), false),
              "GET http://h/ HTTP/1.1\r\nConnection: keep-alive\r\nHost: h\r\n\r\n");
    EXPECT_EQ(RewriteRequestHead(*request, Upstream(), false, false),
              "GET http://h/ HTTP/1.1\r\nConnection: close\r\nHost: h\r\n\r\n");
}

TEST(RequestParseTest, KeepAliveIsTheDefaultOfHttp11AndAskedForInHttp10) {
    const std::pair<std::string, bool> cases[] = {
        {"GET / HTTP/1.1\r\nHost: h\r\n\r\n", true},
        {"GET / HTTP/1.1\r\nHost: h\r\nConnection: Keep-Alive, CLOSE\r\n\r\n", false},
        {"GET / HTTP/1.1\r\nHost: h\r\nProxy-Connection: close\r\n\r\n", false},
        {"GET / HTTP/1.0\r\nHost: h\r\n\r\n", false},
        {"GET / HTTP/1.0\r\nHost: h\r\nConnection: keep-alive\r\n\r\n", true},
        {"GET / HTTP/1.0\r\nHost: h\r\nProxy-Connection: Keep-Alive\r\n\r\n", true},
    };
    for (const auto& [head, keep] : cases) {
        const auto request = ParseRequestHead(head);
        ASSERT_TRUE(request) << head;
        EXPECT_EQ(WantsKeepAlive(*request), keep) << head;
    }
}

TEST(RequestRewriteTest, AuthorisationLineGoesLastAndOnlyWithAUserName) {
    const RelaySettings with_user = MakeRelaySettings(1, "p", 8080, "user", "secret");
    EXPECT_EQ(with_user.authorisation_line, "Proxy-Authorization: Basic dXNlcjpzZWNyZXQ=\r\n");
    EXPECT_EQ(Rewrite("GET http://h/ HTTP/1.1\r\nHost: h\r\n\r\n", with_user),
              "GET http://h/ HTTP/1.1\r\nHost: h\r\nConnection: keep-alive\r\n"
              "Proxy-Authorization: Basic dXNlcjpzZWNyZXQ=\r\n\r\n");
    EXPECT_EQ(MakeRelaySettings(0, "", 0, "user", "secret").authorised, 0u);
    EXPECT_EQ(MakeRelaySettings(1, "p", 8080, "", "").authorised, 0u);

    const std::string long_user(60, 'u');
    const std::string line = MakeRelaySettings(1, "p", 1, long_user, "pw").authorisation_line;
    EXPECT_EQ(line.find("\r\n"), line.size() - 2);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
}

TEST(Base64Test, EncodesWithPadding) {
    EXPECT_EQ(encodeBase64(""), "");
    EXPECT_EQ(encodeBase64("a"), "YQ==");
    EXPECT_EQ(encodeBase64("ab"), "YWI=");
    EXPECT_EQ(encodeBase64("abc"), "YWJj");
    EXPECT_EQ(encodeBase64("\xff\xfe\xfd\xfc"), "//79/A==");
    EXPECT_EQ(encodeBase64("Aladdin:open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

TEST(RequestParseTest, DestinationComesFromHostOrTheTarget) {
    struct Case {
        std::string head;
        std::string host;
        int port;
    };
    const Case cases[] = {
        {"GET / HTTP/1.1\r\nHost: example.com:8080\r\n\r\n", "example.com", 8080},
        {"GET / HTTP/1.1\r\nHost: example.com\r\n\r\n", "example.com", 80},
        {"GET / HTTP/1.1\r\nhost:example.com\r\n\r\n", "example.com", 80},
        {"GET / HTTP/1.1\r\nHost: \t[::1]:81 \r\n\r\n", "::1", 81},
        {"GET http://a.example:99/x HTTP/1.0\r\n\r\n", "a.example", 99},
        {"GET http://user:pw@a.example/x HTTP/1.0\r\n\r\n", "a.example", 80},
        {"GET https://a.example/x HTTP/1.0\r\n\r\n", "a.example", 443},
        {"CONNECT secure.example:443 HTTP/1.1\r\nHost: secure.example:443\r\n\r\n", "secure.example", 443},
        {"CONNECT 127.0.0.1:8443 HTTP/1.1\r\n\r\n", "127.0.0.1", 8443},
    };
    for (const Case& c : cases) {
        const auto request = ParseRequestHead(c.head);
        ASSERT_TRUE(request.has_value()) << c.head;
        EXPECT_EQ(request->host, c.host) << c.head;
        EXPECT_EQ(request->port, c.port) << c.head;
    }
}

TEST(RequestParseTest, RefusesHeadsANextHopCouldReadDifferently) {
    const std::string bad[] = {
        "GARBAGE\r\n\r\n",
        "GET / HTTP/1.1\r\n\r\n",                        // no destination at all
        "GET / HTTP/1.1\r\nHost: :80\r\n\r\n",           // empty host
        "GET / HTTP/1.1\r\nHost: h:0\r\n\r\n",           // port 0
        "GET / HTTP/1.1\r\nHost: h:70000\r\n\r\n",       // port out of range
        "GET / HTTP/1.1\r\nHost: h:8o\r\n\r\n",          // not a number
        "GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n",  // two destinations
        "GET / HTTP/1.1\r\nHost: a b\r\n\r\n",           // would split the request line sent on
        "GET / HTTP/1.1\r\nHost: user@h\r\n\r\n",
        "GET / HTTP/1.1\r\nHost: h\xe9\r\n\r\n",
        std::string("GET / HTTP/1.1\r\nHost: h\0x\r\n\r\n", 29),         // NUL byte
        "GET / HTTP/1.1\r\nHost: h\r\nX: a\nContent-Length: 5\r\n\r\n",  // lone LF
        "GET / HTTP/1.1\r\nHost: h\r\nNo colon here\r\n\r\n",
        "GET / HTTP/1.1\r\nHost: h\r\nBad Name: x\r\n\r\n",
        "GET / HTTP/1.1\r\nHost: h\r\n folded: x\r\n\r\n",
        "GET  / HTTP/1.1\r\nHost: h\r\n\r\n",
        "GET / HTTP/1.1 extra\r\nHost: h\r\n\r\n",
        "GET / FTP/1.0\r\nHost: h\r\n\r\n",
        "GET relative HTTP/1.1\r\nHost: h\r\n\r\n",
        "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n",
        "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: -1\r\n\r\n",
        "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 99999999999999999999\r\n\r\n",
        "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n",
        "POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: gzip\r\n\r\n",
        "CONNECT host HTTP/1.1\r\n\r\n",  // no port
    };
    for (const std::string& head : bad) EXPECT_FALSE(ParseRequestHead(head).has_value()) << head;
}

TEST(RequestParseTest, BodyFramingIsKnownAndChunkedFramingIsKeptOnTheWay) {
    auto request = ParseRequestHead("POST /u HTTP/1.1\r\nHost: h\r\nContent-Length: 12345\r\n\r\n");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->framing, BodyFraming::Length);
    EXPECT_EQ(request->content_length, 12345u);

    request = ParseRequestHead("POST /u HTTP/1.1\r\nHost: h\r\nContent-Length: 0\r\n\r\n");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->framing, BodyFraming::None);

    request = ParseRequestHead("POST /u HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: gzip, Chunked\r\n\r\n");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->framing, BodyFraming::Chunked);
    EXPECT_EQ(
        RewriteRequestHead(*request, Direct(), false),
        "POST /u HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: gzip, Chunked\r\nConnection: keep-alive\r\n\r\n");
}

TEST(HeadEndTest, FindsTheBlankLineOnly) {
    EXPECT_FALSE(FindHeadEnd("GET / HTTP/1.1\r\nHost: h\r\n").has_value());
    EXPECT_FALSE(FindHeadEnd("GET / HTTP/1.1\n\n").has_value());
    EXPECT_EQ(FindHeadEnd("GET / HTTP/1.1\r\n\r\nbody"), 18u);
}

TEST(ResponseHeadTest, TellsTextFromEverythingElse) {
    struct Case {
        std::string head;
        bool textual;
        bool chunked;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n", true, false},
        {"HTTP/1.1 200 OK\r\ncontent-type: TEXT/PLAIN\r\nTransfer-Encoding: chunked\r\n\r\n", true, true},
        {"HTTP/1.1 200 OK\r\nContent-Type: application/xhtml+xml\r\n\r\n", true, false},
        {"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: gzip\r\n\r\n", false, false},
        {"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: gzip, chunked\r\n\r\n", false,
         true},
        {"HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n\r\n", false, false},
        {"HTTP/1.0 200 OK\r\n\r\n", false, false},
    };
    for (const Case& c : cases) {
        const auto head = ParseResponseHead(c.head);
        ASSERT_TRUE(head.has_value()) << c.head;
        EXPECT_EQ(head->status, 200);
        EXPECT_EQ(head->textual, c.textual) << c.head;
        EXPECT_EQ(head->chunked, c.chunked) << c.head;
    }
    EXPECT_FALSE(ParseResponseHead("SSH-2.0-OpenSSH\r\n\r\n").has_value());
}

TEST(ResponseHeadTest, FramingAndWhetherTheServerKeepsTheConnection) {
    struct Case {
        std::string head;
        bool head_request;
        AnswerFraming framing;
        bool closes;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", false, AnswerFraming::Length, false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\n", false, AnswerFraming::Length,
         false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", true, AnswerFraming::None, false},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n", false,
         AnswerFraming::Chunked, true},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n\r\n", false, AnswerFraming::Close, false},
        {"HTTP/1.1 204 No Content\r\nContent-Length: 7\r\n\r\n", false, AnswerFraming::None, false},
        {"HTTP/1.1 304 Not Modified\r\nTransfer-Encoding: chunked\r\n\r\n", false, AnswerFraming::None,
         false},
        {"HTTP/1.1 100 Continue\r\n\r\n", false, AnswerFraming::None, false},
        {"HTTP/1.1 200 OK\r\n\r\n", false, AnswerFraming::Close, false},
        {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n", false, AnswerFraming::Length, true},
        {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\nConnection: Keep-Alive\r\n\r\n", false,
         AnswerFraming::Length, false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nProxy-Connection: close\r\n\r\n", false,
         AnswerFraming::Length, true},
        // Framing two hops could read differently is read up to the close.
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", false, AnswerFraming::Close,
         false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n", false,
         AnswerFraming::Close, false},
        {"HTTP/1.1 200 OK\r\nContent-Length: +5\r\n\r\n", false, AnswerFraming::Close, false},
    };
    for (const Case& c : cases) {
        const auto head = ParseResponseHead(c.head);
        ASSERT_TRUE(head) << c.head;
        EXPECT_EQ(FramingOf(*head, c.head_request), c.framing) << c.head;
        EXPECT_EQ(head->closes, c.closes) << c.head;
    }
}

TEST(ResponseHeadTest, TheBrowserIsToldWhetherItsConnectionStays) {
    const std::string head =
        "HTTP/1.1 200 OK\r\nConnection: keep-alive, X-Private\r\nKeep-Alive: timeout=5\r\n"
        "Proxy-Connection: keep-alive\r\nContent-Length: 0\r\n\r\n";
    EXPECT_EQ(RewriteResponseHead(head, false),
              "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(RewriteResponseHead(head, true),
              "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: keep-alive\r\n\r\n");
}

}  // namespace
}  // namespace vestrel::relay
