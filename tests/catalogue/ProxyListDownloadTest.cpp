// The list download against tools/list-service on loopback: natively over sockets, under Wine over
// WinInet. The service's port comes from the fixture that started it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/CatalogueLines.h"
#include "catalogue/ListSources.h"
#include "catalogue/ProxyListDownload.h"
#include "platform/fs/Files.h"
#include "platform/net/Socket.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "tests/catalogue/CatalogueTestSupport.h"

namespace vestrel::catalogue {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point began) {
    return std::chrono::duration<double>(Clock::now() - began).count();
}

std::string PortFilePath() { return testing::FixturePath("VESTREL_LIST_SERVICE_PORT_FILE"); }

const std::vector<std::string> kServedPieces = {
    "1.2.3.4:8080->Canada", "5.6.7.8:3128->Brazil <supports POST>", "9.9.9.9:80->Annulled",
    "11.0.0.1:8000->Spaced", "<supports POST>12.0.0.1:80->Front"};

std::vector<std::string> Pieces(std::string_view body) {
    std::vector<std::string> pieces;
    ForEachCatalogueLine(body, [&](std::string_view piece) { pieces.emplace_back(piece); });
    return pieces;
}

class ProxyListDownloadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string path = PortFilePath();
        ASSERT_FALSE(path.empty())
            << "VESTREL_LIST_SERVICE_PORT_FILE is not set: run this test through ctest";
        const std::optional<std::string> port = platform::fs::ReadWholeFile(path);
        ASSERT_TRUE(port.has_value()) << "no port file at " << path;
        server_ = "127.0.0.1:" + std::to_string(std::atoi(port->c_str()));
        ASSERT_EQ(Control("/control/reset"), "reset\n");
        settings::RegStringSetting(settings::kListServer).set(server_);
        hooks_.disable_connection_proxy = [this](std::string_view name) {
            calls_.push_back("direct " + std::string(name));
            return true;
        };
        hooks_.set_connection_options = [this](std::string_view name, std::string_view server) {
            calls_.push_back("relay " + std::string(name) + " " + std::string(server));
            return true;
        };
    }

    // A request to the service's control paths; their answers are short texts.
    std::string Control(const std::string& path) {
        std::string body;
        const auto url = platform::http::ParseUrl("http://" + server_ + path);
        const platform::http::GetResult result =
            platform::http::Get(*url, {}, [&](std::string_view bytes) { body.append(bytes); });
        EXPECT_TRUE(result.complete) << path << ": " << result.error.message();
        return body;
    }
    void SetMode(const std::string& mode) {
        ASSERT_EQ(Control("/control/mode?set=" + mode), "mode=" + mode + "\n");
    }

    std::string server_;
    ConnectionHooks hooks_;
    std::vector<std::string> calls_;
    testing::ScopedProgramValues values_{{"ListServer", "UseProxy", "LocalPort"}};
};

TEST_F(ProxyListDownloadTest, TheListArrivesWithLfAsCrLfAndCutsIntoTrimmedPieces) {
    EXPECT_EQ(ProxyListUrl(), "http://" + server_ + "/services/vx/proxy/sortedproxylist.txt");
    const std::optional<std::string> body = FetchProxyList(ProxyListUrl(), hooks_);
    ASSERT_TRUE(body.has_value());
    // The service ends each separator with CR LF; its LF is stored as CR LF.
    EXPECT_EQ(body->substr(0, 29), "1.2.3.4:8080->Canada<br />\r\r\n");
    EXPECT_EQ(Pieces(*body), kServedPieces);
    // Direct for the download; not pointed back while anonymity is off.
    EXPECT_EQ(calls_, std::vector<std::string>{"direct DefaultConnectionSettings"});
}

TEST_F(ProxyListDownloadTest, WithAnonymityOnTheBrowsersGoBackToTheRelayEvenAfterAFailure) {
    settings::RegDwordSetting(settings::kUseProxy).set(1);
    settings::RegDwordSetting(settings::kLocalPort).set(8111);
    SetMode("404");
    EXPECT_FALSE(FetchProxyList(ProxyListUrl(), hooks_).has_value());
    EXPECT_EQ(calls_, (std::vector<std::string>{"direct DefaultConnectionSettings",
                                                "relay DefaultConnectionSettings 127.0.0.1:8111"}));
}

TEST_F(ProxyListDownloadTest, AnErrorPageACutBodyAndAnEmptyBodyAreNoList) {
    for (const std::string mode : {"404", "close-mid-body", "empty"}) {
        SCOPED_TRACE(mode);
        SetMode(mode);
        EXPECT_FALSE(FetchProxyList(ProxyListUrl(), hooks_).has_value());
    }
    EXPECT_EQ(Control("/control/stats"), "list=3 generator=0 mode=empty\n");
}

TEST_F(ProxyListDownloadTest, AStalledServiceIsGivenUpWithinTheReceiveLimit) {
    SetMode("stall");
    const auto began = Clock::now();
    EXPECT_FALSE(FetchProxyList(ProxyListUrl(), hooks_).has_value());
    const double took = SecondsSince(began);
    EXPECT_GE(took, 9.0);
    EXPECT_LT(took, 25.0);
}

TEST_F(ProxyListDownloadTest, AnUnreachableServiceIsNoListAndQuick) {
    std::uint16_t port = 0;
    {
        std::error_code error;
        port = platform::net::Listener::OnLoopback(0, 1, error).Port();
    }
    const auto began = Clock::now();
    EXPECT_FALSE(FetchProxyList("http://127.0.0.1:" + std::to_string(port) + "/x.txt", hooks_).has_value());
    EXPECT_FALSE(FetchProxyList("ftp://127.0.0.1/list.txt", hooks_).has_value());
    EXPECT_LT(SecondsSince(began), 10.0);
}

TEST_F(ProxyListDownloadTest, ATenMebibyteListArrivesWhole) {
    SetMode("big");
    const std::optional<std::string> body = FetchProxyList(ProxyListUrl(), hooks_);
    ASSERT_TRUE(body.has_value());
    EXPECT_GE(body->size(), 10u << 20);
    std::size_t count = 0;
    std::size_t malformed = 0;
    ForEachCatalogueLine(*body, [&](std::string_view piece) {
        ++count;
        if (piece.substr(0, 3) != "10." || piece.find(":8080->Bigland") == std::string_view::npos)
            ++malformed;
    });
    EXPECT_GT(count, (10u << 20) / 40);
    EXPECT_EQ(malformed, 0u);

    // The same ten mebibytes as one of the other lists is past their bound: that list fails alone.
    const std::vector<SourceOutcome> outcomes = FetchListSources({ProxyListUrl()});
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_FALSE(outcomes[0].ok);
    EXPECT_TRUE(outcomes[0].lines.empty());
}

// Waits for the pings to end, bounded by the service's answer time.
void WaitForPings(GeneratorPinger& pinger) {
    const auto began = Clock::now();
    while (pinger.Running() > 0 && SecondsSince(began) < 20.0)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(pinger.Running(), 0u);
}

TEST_F(ProxyListDownloadTest, ARefreshRebuildsTheNewListOrKeepsItAndPingsTheGeneratorEachTime) {
    GeneratorPinger pinger;
    NewList new_list = {"old:1->Stale"};
    EXPECT_TRUE(RefreshProxyList(new_list, hooks_, pinger).updated);
    EXPECT_EQ(new_list, kServedPieces);
    WaitForPings(pinger);
    EXPECT_EQ(Control("/control/stats"), "list=1 generator=1 mode=list\n");

    SetMode("404");
    EXPECT_FALSE(RefreshProxyList(new_list, hooks_, pinger).updated);
    EXPECT_EQ(new_list, kServedPieces);
    WaitForPings(pinger);
    EXPECT_EQ(Control("/control/stats"), "list=2 generator=2 mode=404\n");
}

TEST_F(ProxyListDownloadTest, APingToAStalledServiceEndsWithItsOwnerWithinTheReceiveLimit) {
    SetMode("stall");
    const auto began = Clock::now();
    {
        GeneratorPinger pinger;
        ASSERT_TRUE(pinger.Start("http://" + server_ + "/services/vx/proxy/sortedproxylist.txt"));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
#ifdef _WIN32
    // A blocked WinInet read cannot be told to stop: the owner waits out the 10 s receive limit.
    EXPECT_LT(SecondsSince(began), 15.0);
#else
    // The socket transfer looks at its cancel flag between waits.
    EXPECT_LT(SecondsSince(began), 2.0);
#endif
}

}  // namespace
}  // namespace vestrel::catalogue
