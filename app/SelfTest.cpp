// The self-test's asks and its verdict.
#include "app/SelfTest.h"

#include <algorithm>
#include <chrono>

#include "platform/http/HttpGet.h"

namespace vestrel::app {

namespace {

using catalogue::Grade;

// The judge's echo is a page of headers; anything much longer is not the judge.
constexpr std::size_t kLongestAnswer = 256 * 1024;

// The address the user is known by: the judge's plain view first, then its HTTPS view, then whatever
// the caller knew.
std::string OwnAddress(const SelfTestAnswers& answers) {
    for (const JudgeAsk* ask : {&answers.direct_http, &answers.direct_https}) {
        if (ask->view && !ask->view->remote_address.empty()) return ask->view->remote_address;
    }
    return answers.real_addresses.empty() ? std::string() : answers.real_addresses.front();
}

std::string YourAddress(const std::string& own) {
    return own.empty() ? std::string("your own address") : "your address " + own;
}

// Everything that counts as the user's own address when it shows up in what the judge saw.
std::vector<std::string> OwnAddresses(const SelfTestAnswers& answers) {
    std::vector<std::string> addresses = answers.real_addresses;
    for (const JudgeAsk* ask : {&answers.direct_http, &answers.direct_https}) {
        if (!ask->view || ask->view->remote_address.empty()) continue;
        if (std::find(addresses.begin(), addresses.end(), ask->view->remote_address) == addresses.end())
            addresses.push_back(ask->view->remote_address);
    }
    return addresses;
}

std::string NotShown(const std::string& own) {
    return (own.empty() ? std::string("Your own address") : "Your address " + own) + " is not shown.";
}

std::string SeenAs(const catalogue::JudgeView& view, Grade grade) {
    return view.remote_address + " (" + std::string(catalogue::GradeText(grade)) + ")";
}

}  // namespace

std::string SelfTestVerdict(const SelfTestAnswers& answers) {
    const std::string own = OwnAddress(answers);
    if (!answers.anonymity_on) {
        std::string line = std::string(kNotHiddenPrefix) + " online anonymity is off. Web sites see ";
        return line + YourAddress(own) + ".";
    }
    const JudgeAsk& plain = answers.relay_http;
    if (plain.status == 0) {
        return std::string(kNotHiddenPrefix) + " the relay on " + answers.relay +
               " is not answering, so your browsers get no web pages through the proxy. Switch online "
               "anonymity off and on again.";
    }
    if (plain.status != 200) {
        return std::string(kNotHiddenPrefix) + " the proxy in use did not pass the request on (the relay " +
               "answered " + std::to_string(plain.status) + "). Choose another proxy.";
    }
    if (!plain.view) {
        if (!answers.direct_http.view)
            return "Not checked: the judge did not answer, directly or through the proxy.";
        return std::string(kNotHiddenPrefix) + " the proxy in use changed the judge's answer (Broken). " +
               "Choose another proxy.";
    }
    const std::vector<std::string> own_addresses = OwnAddresses(answers);
    // What the judge's own front end adds to every request is not the proxy's doing.
    const catalogue::JudgeView baseline = answers.direct_http.view.value_or(catalogue::JudgeView{});
    const Grade grade = catalogue::GradeView(*plain.view, baseline, own_addresses, plain.marker);
    if (grade == Grade::kTransparent) {
        return std::string(kNotHiddenPrefix) + " the proxy in use is transparent: it passes " +
               YourAddress(own) + " on to web sites. Choose another proxy.";
    }
    if (grade == Grade::kBroken || grade == Grade::kNotGraded) {
        return std::string(kNotHiddenPrefix) + " the proxy in use did not pass this test's request on " +
               "unchanged (Broken). Choose another proxy.";
    }
    const std::string seen = SeenAs(*plain.view, grade);
    const JudgeAsk& secure = answers.relay_https;
    if (!secure.view) {
        if (!answers.direct_https.view) {
            return std::string(kHiddenPrefix) + " web sites see " + seen + ". " + NotShown(own) +
                   " HTTPS was not checked: the judge does not answer over HTTPS.";
        }
        return std::string(kNotHiddenPrefix) + " HTTPS pages do not get through the proxy in use, " +
               "so secure sites fail while anonymity is on. Plain web sites see " + seen + ".";
    }
    const catalogue::JudgeView secure_baseline = answers.direct_https.view.value_or(catalogue::JudgeView{});
    if (catalogue::GradeView(*secure.view, secure_baseline, own_addresses, secure.marker) ==
        Grade::kTransparent) {
        return std::string(kNotHiddenPrefix) + " HTTPS pages leave from " + YourAddress(own) +
               ", not through the proxy. Plain web sites see " + seen + ".";
    }
    return std::string(kHiddenPrefix) + " web sites see " + seen + ". " + NotShown(own);
}

namespace {

// One GET of the judge with a fresh marker, through `proxy` or straight out.
JudgeAsk AskJudge(const std::string& judge_url, const std::string& proxy) {
    JudgeAsk ask;
    ask.marker = catalogue::NewMarker();
    const char joint = judge_url.find('?') == std::string::npos ? '?' : '&';
    const std::string asked = judge_url + joint + "m=" + ask.marker;
    std::optional<platform::http::Url> url = platform::http::ParseHttpsUrl(asked);
    if (!url) url = platform::http::ParseUrl(asked);
    if (!url) return ask;
    platform::http::GetOptions options;
    options.connect_timeout = std::chrono::seconds(5);
    options.receive_timeout = std::chrono::seconds(8);
    options.max_body_bytes = kLongestAnswer;
    options.proxy = proxy;
    options.direct = proxy.empty();
    options.accept_any_certificate = url->https;
    std::string body;
    const platform::http::GetResult result =
        platform::http::Get(*url, options, [&](std::string_view bytes) { body.append(bytes); });
    ask.status = result.status;
    if (result.complete && result.status == 200) ask.view = catalogue::ParseJudgeAnswer(body);
    return ask;
}

}  // namespace

SelfTestAnswers RunSelfTest(bool anonymity_on, std::uint32_t local_port) {
    SelfTestAnswers answers;
    answers.anonymity_on = anonymity_on;
    answers.relay = "127.0.0.1:" + std::to_string(local_port);
    // The real address first: it finds the judge that answers (the public ones are tried in turn).
    answers.real_addresses = catalogue::TheRealAddress().Addresses();
    const std::string http = catalogue::JudgeUrl();
    const std::string https = catalogue::JudgeHttpsUrl();
    answers.direct_http = AskJudge(http, "");
    answers.direct_https = AskJudge(https, "");
    if (const std::optional<std::string> known = catalogue::TheRealAddress().Public()) {
        answers.real_addresses.erase(
            std::remove(answers.real_addresses.begin(), answers.real_addresses.end(), *known),
            answers.real_addresses.end());
        answers.real_addresses.insert(answers.real_addresses.begin(), *known);
    }
    if (!anonymity_on) return answers;
    answers.relay_http = AskJudge(http, answers.relay);
    // A relay that said nothing to a plain request would only hold the HTTPS ask as long again.
    if (answers.relay_http.status != 0) answers.relay_https = AskJudge(https, answers.relay);
    return answers;
}

}  // namespace vestrel::app
