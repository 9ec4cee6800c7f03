// "Am I hidden?": the judge asked straight and through our own relay, over HTTP and HTTPS, and the one
// line that says what web sites see and, when the user is not hidden, why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/ProxyJudge.h"

namespace vestrel::app {

// One request to the judge and what came back.
struct JudgeAsk {
    // The marker the request carried in its query.
    std::string marker;
    // The HTTP status, 0 when no answer came at all (nothing listening, nothing said, cut short).
    int status = 0;
    // What the judge saw, when it answered 200 in a form it can be read in.
    std::optional<catalogue::JudgeView> view;
};

struct SelfTestAnswers {
    bool anonymity_on = false;
    // "127.0.0.1:<LocalPort>", named when the relay does not answer.
    std::string relay;
    JudgeAsk direct_http;
    JudgeAsk direct_https;
    // Asked only while anonymity is on.
    JudgeAsk relay_http;
    JudgeAsk relay_https;
    // The user's own addresses (the judge's view of them and the computer's), looked for in what the
    // judge saw through the relay.
    std::vector<std::string> real_addresses;
};

inline constexpr std::string_view kHiddenPrefix = "Hidden:";
inline constexpr std::string_view kNotHiddenPrefix = "Not hidden:";

// The verdict in one line, "Hidden: ..." or "Not hidden: <the cause> ...", or "Not checked: ..." when
// the judge itself could not be reached.
std::string SelfTestVerdict(const SelfTestAnswers& answers);

// Asks the judge the four times (the two relay asks only when `anonymity_on`), each with a fresh
// marker, and gathers the user's real addresses. Blocks for the length of the asks: run it on a worker.
SelfTestAnswers RunSelfTest(bool anonymity_on, std::uint32_t local_port);

}  // namespace vestrel::app
