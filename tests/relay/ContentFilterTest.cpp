// The content filter over whole answers fed in blocks of every size, and the chunked body reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "relay/ChunkedDecoder.h"
#include "relay/ContentFilter.h"
#include "relay/HttpHead.h"
#include "relay/ResponseStream.h"

namespace vestrel::relay {
namespace {

constexpr FilterSwitches kBoth{true, true};
constexpr FilterSwitches kJsOnly{true, false};
constexpr FilterSwitches kActiveXOnly{false, true};

// Feeds `answer` in blocks of `block` bytes and gives what would reach the browser, up to the close.
std::string Filter(const std::string& answer, FilterSwitches switches, std::size_t block) {
    ResponseStream stream(false, switches);
    std::string out;
    for (std::size_t i = 0; i < answer.size(); i += block) {
        const std::string piece = answer.substr(i, block);
        stream.Feed(piece.data(), piece.size(), out);
        EXPECT_LE(stream.Held(), 64 * 1024 + block);
    }
    stream.Finish(out);
    return out;
}

// A head as the browser gets it on a connection that then closes.
std::string Relayed(const std::string& head) { return RewriteResponseHead(head, false); }

const std::string kHeadSent = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 999\r\n\r\n";
const std::string kHead = Relayed(kHeadSent);

TEST(ContentFilterTest, RenamesTheFourTagsKeepingEveryOtherByteAndTheLength) {
    const std::string body =
        "<HTML><Body>Keep CASE here.<ScRiPt src=a.js></SCRIPT><script>x<y</script >"
        "<OBJECT classid=x></Object><objective></object>< script></html>";
    const std::string expected =
        "<HTML><Body>Keep CASE here.<noscri src=a.js></noscri><noscri>x<y</script >"
        "<noobj  classid=x></noobj> <noobj ive></noobj> < script></html>";
    ASSERT_EQ(body.size(), expected.size());
    for (std::size_t block = 1; block <= body.size() + kHead.size(); ++block) {
        EXPECT_EQ(Filter(kHeadSent + body, kBoth, block), kHead + expected) << "block " << block;
    }
}

TEST(ContentFilterTest, EachSwitchRenamesOnlyItsTags) {
    const std::string body = "<script></script><object></object>";
    EXPECT_EQ(Filter(kHeadSent + body, kJsOnly, 5), kHead + "<noscri></noscri><object></object>");
    EXPECT_EQ(Filter(kHeadSent + body, kActiveXOnly, 5), kHead + "<script></script><noobj ></noobj> ");
}

TEST(ContentFilterTest, HeadersBinaryAndEncodedBodiesAreNeverTouched) {
    const std::string tags = "<script></script><object>";
    const std::string heads[] = {
        "HTTP/1.1 200 OK\r\nX-Tag: <script>\r\nContent-Type: image/png\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: gzip\r\n\r\n",
        "HTTP/1.1 200 OK\r\n\r\n",
    };
    for (const std::string& head : heads) EXPECT_EQ(Filter(head + tags, kBoth, 3), Relayed(head) + tags);
    const std::string not_http = "not http at all\r\n\r\n" + tags;
    EXPECT_EQ(Filter(not_http, kBoth, 3), not_http);
    // The header of a page is passed as it is, even when the page's body gets filtered.
    const std::string head = "HTTP/1.1 200 OK\r\nX-Tag: <script>\r\nContent-Type: text/html\r\n\r\n";
    EXPECT_EQ(Filter(head + "<script>", kBoth, 7), Relayed(head) + "<noscri>");
}

TEST(ContentFilterTest, InterimAnswerIsFollowedByTheRealHead) {
    const std::string answer = "HTTP/1.1 100 Continue\r\n\r\n" + kHeadSent + "<script>";
    EXPECT_EQ(Filter(answer, kBoth, 4), "HTTP/1.1 100 Continue\r\n\r\n" + kHead + "<noscri>");
}

TEST(ContentFilterTest, ChunkedPagesAreFilteredAcrossChunkBoundaries) {
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string answer =
        head + "4\r\n<SCR\r\n6;ext=1\r\nipt>ab\r\n3\r\n</s\r\n6\r\ncript>\r\n0\r\nT: v\r\n\r\n";
    const std::string expected =
        Relayed(head) + "4\r\n<nos\r\n6;ext=1\r\ncri>ab\r\n3\r\n</n\r\n6\r\noscri>\r\n0\r\nT: v\r\n\r\n";
    for (std::size_t block = 1; block <= answer.size(); ++block) {
        EXPECT_EQ(Filter(answer, kBoth, block), expected) << "block " << block;
    }
}

TEST(ContentFilterTest, AnUnfinishedTagAtTheEndGoesOutAsItIs) {
    EXPECT_EQ(Filter(kHeadSent + "text <scri", kBoth, 3), kHead + "text <scri");
    EXPECT_EQ(Filter(kHeadSent + "<<<script", kBoth, 1), kHead + "<<<noscri");
}

TEST(ContentFilterTest, HoldsBackNoMoreThanOneTag) {
    ContentFilter filter(kBoth);
    std::string buffer = "abc</scrip";
    filter.apply(buffer.data(), 0, buffer.size());
    ASSERT_TRUE(filter.heldFrom().has_value());
    EXPECT_EQ(*filter.heldFrom(), 3u);
    filter.rebase(3);
    buffer.erase(0, 3);
    buffer += "t>";
    filter.apply(buffer.data(), 7, buffer.size());
    EXPECT_FALSE(filter.heldFrom().has_value());
    EXPECT_EQ(buffer, "</noscri>");
}

TEST(ChunkedDecoderTest, FindsTheEndAndTheData) {
    const std::string body = "5\r\nhello\r\n1A\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\nNEXT";
    for (std::size_t block = 1; block <= body.size(); ++block) {
        ChunkedDecoder decoder;
        std::string data;
        std::size_t taken = 0;
        for (std::size_t i = 0; i < body.size() && !decoder.Done(); i += block) {
            const std::string piece = body.substr(i, block);
            taken += decoder.Feed(piece.data(), piece.size(), [&](std::size_t offset, std::size_t length) {
                data += piece.substr(offset, length);
            });
        }
        EXPECT_TRUE(decoder.Done());
        EXPECT_EQ(taken, body.size() - 4) << "block " << block;
        EXPECT_EQ(data, "helloabcdefghijklmnopqrstuvwxyz");
    }
}

TEST(ChunkedDecoderTest, RefusesBrokenFraming) {
    const std::string broken[] = {"x\r\n", "5\r\nhelloXX",           "5\nhello\r\n",
                                  "\r\n",  "ffffffffffffffffff\r\n", "0\r\nTrailer\n"};
    for (const std::string& body : broken) {
        ChunkedDecoder decoder;
        decoder.Feed(body.data(), body.size(), nullptr);
        EXPECT_TRUE(decoder.Failed()) << body;
    }
}

}  // namespace
}  // namespace vestrel::relay
