// The verdict of "Am I hidden?" for answers the whole-program scenario cannot bring about with real
// proxies: HTTPS leaving from the user's own address, a relay that answers with an error page, a judge
// that is down, an address the judge never told.
#include <gtest/gtest.h>

#include "app/SelfTest.h"

namespace vestrel::app {
namespace {

JudgeAsk Seen(const std::string& remote, const std::string& marker,
              std::vector<std::pair<std::string, std::string>> headers = {}) {
    JudgeAsk ask;
    ask.marker = marker;
    ask.status = 200;
    ask.view = catalogue::JudgeView{remote, std::move(headers), "m=" + marker};
    return ask;
}

SelfTestAnswers OnThrough(const std::string& exit) {
    SelfTestAnswers answers;
    answers.anonymity_on = true;
    answers.relay = "127.0.0.1:8080";
    answers.direct_http = Seen("198.51.100.7", "a1");
    answers.direct_https = Seen("198.51.100.7", "a2");
    answers.relay_http = Seen(exit, "a3");
    answers.relay_https = Seen(exit, "a4");
    answers.real_addresses = {"198.51.100.7", "192.168.1.20"};
    return answers;
}

TEST(SelfTestVerdictTest, NamesTheCauseOfEachWayOfNotBeingHidden) {
    EXPECT_EQ(SelfTestVerdict(OnThrough("203.0.113.5")),
              "Hidden: web sites see 203.0.113.5 (Elite). Your address 198.51.100.7 is not shown.");

    // A proxy that hands HTTPS tunnels to something leaving from the user's own line.
    SelfTestAnswers leak = OnThrough("203.0.113.5");
    leak.relay_https = Seen("198.51.100.7", "a4");
    EXPECT_EQ(SelfTestVerdict(leak),
              "Not hidden: HTTPS pages leave from your address 198.51.100.7, not through "
              "the proxy. Plain web sites see 203.0.113.5 (Elite).");

    SelfTestAnswers refused = OnThrough("203.0.113.5");
    refused.relay_http = JudgeAsk{"a3", 502, std::nullopt};
    EXPECT_EQ(SelfTestVerdict(refused).rfind("Not hidden: the proxy in use did not pass the request on (the "
                                             "relay answered 502)",
                                             0),
              0u);

    // Another page where the judge's answer should be: the marker is not there.
    SelfTestAnswers swapped = OnThrough("203.0.113.5");
    swapped.relay_http.view->query = "m=other";
    EXPECT_NE(SelfTestVerdict(swapped).find("(Broken)"), std::string::npos);
}

TEST(SelfTestVerdictTest, SaysWhatItCouldNotCheck) {
    SelfTestAnswers down = OnThrough("203.0.113.5");
    down.direct_http = JudgeAsk{"a1", 0, std::nullopt};
    down.relay_http = JudgeAsk{"a3", 200, std::nullopt};
    EXPECT_EQ(SelfTestVerdict(down), "Not checked: the judge did not answer, directly or through the proxy.");

    SelfTestAnswers no_https_judge = OnThrough("203.0.113.5");
    no_https_judge.direct_https = JudgeAsk{"a2", 0, std::nullopt};
    no_https_judge.relay_https = JudgeAsk{"a4", 0, std::nullopt};
    EXPECT_EQ(SelfTestVerdict(no_https_judge),
              "Hidden: web sites see 203.0.113.5 (Elite). Your address 198.51.100.7 is not shown. HTTPS was "
              "not checked: the judge does not answer over HTTPS.");

    SelfTestAnswers off;
    EXPECT_EQ(SelfTestVerdict(off), "Not hidden: online anonymity is off. Web sites see your own address.");
}

}  // namespace
}  // namespace vestrel::app
