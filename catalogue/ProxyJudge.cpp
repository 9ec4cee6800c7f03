// Judge checks of proxies over the sockets service, the user's real address and the grade file.
// (Reading the judge's answer and grading it are in JudgeAnswer.cpp.)
#include "catalogue/ProxyJudge.h"

#include <algorithm>
#include <array>
#include <random>

#include "catalogue/TestedFile.h"
#include "platform/fs/Directory.h"
#include "platform/fs/Files.h"
#include "platform/http/HostLookup.h"
#include "platform/http/HttpGet.h"
#include "platform/net/LocalAddresses.h"
#include "platform/net/Socket.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::catalogue {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A judge's page is a few hundred bytes; anything near this is not a judge.
constexpr std::size_t kMaxAnswerBytes = 64 * 1024;
constexpr std::size_t kMaxConnectAnswerBytes = 16 * 1024;
constexpr milliseconds kCancelCheck{200};
// What a browser of the day sends, so that proxies that only pass browsers pass the check too.
constexpr std::string_view kBrowserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:115.0) Gecko/20100101 Firefox/115.0";

bool Cancelled(const JudgeOptions& options) { return options.cancel != nullptr && options.cancel->load(); }

std::string Lowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lowered;
}

std::string HostHeader(const platform::http::Url& url, std::uint16_t default_port) {
    return url.port == default_port ? url.host : url.host + ":" + std::to_string(url.port);
}

std::string WithMarker(const std::string& path, std::string_view marker) {
    return path + (path.find('?') == std::string::npos ? "?m=" : "&m=") + std::string(marker);
}

std::mutex& SocksFactoryMutex() {
    static std::mutex mutex;
    return mutex;
}
SocksOpeningFactory& SocksFactory() {
    static SocksOpeningFactory factory;
    return factory;
}

std::unique_ptr<SocksOpening> StartSocksOpening(const ProxyRoute& proxy, const std::string& host,
                                                std::uint16_t port) {
    SocksOpeningFactory factory;
    {
        std::lock_guard lock(SocksFactoryMutex());
        factory = SocksFactory();
    }
    return factory ? factory(proxy, host, port) : nullptr;
}

// One connection of a check: connect, send, and receives that keep to the check's deadline and see a
// cancel within kCancelCheck.
class Exchange {
  public:
    explicit Exchange(const JudgeOptions& options) : options_(options) {}

    bool Connect(const std::string& host, std::int32_t port) {
        if (port < 1 || port > 65535 || Cancelled(options_)) return false;
        const std::optional<std::string> address = platform::http::LookupIPv4(host);
        if (!address) return false;
        std::error_code error;
        socket_ = platform::net::ConnectTcp(*address, static_cast<std::uint16_t>(port),
                                            options_.connect_timeout, error, options_.cancel);
        if (!socket_.Valid()) return false;
        deadline_ = Clock::now() + options_.answer_timeout;
        socket_.SetSendTimeout(options_.answer_timeout);
        return true;
    }

    bool Send(std::string_view bytes) { return !Cancelled(options_) && socket_.SendAll(bytes); }

    // The tunnel through the SOCKS proxy this exchange is connected to, to host:port: true once open.
    // A proxy that speaks SOCKS answers within the connect limit: one that stays silent (an HTTP
    // proxy waiting for the end of a request line) is not kept waiting for the whole answer time.
    bool OpenSocks(const ProxyRoute& proxy, const std::string& host, std::uint16_t port) {
        std::unique_ptr<SocksOpening> opening = StartSocksOpening(proxy, host, port);
        if (!opening) return false;
        const Clock::time_point answer_deadline = deadline_;
        deadline_ = std::min(deadline_, Clock::now() + options_.connect_timeout);
        while (opening->Current() == SocksOpening::State::kTalking) {
            if (const std::string out = opening->TakeOutgoing(); !out.empty() && !Send(out)) return false;
            std::string reply;
            if (ReceiveSome(reply, 512) <= 0) return false;
            const std::size_t used = opening->Feed(reply.data(), reply.size());
            // What came after the last reply is the judge's.
            if (opening->Current() == SocksOpening::State::kOpen) pending_ = reply.substr(used);
        }
        deadline_ = answer_deadline;
        return opening->Current() == SocksOpening::State::kOpen;
    }

    // Appends what arrives to `into`: the count, 0 at the peer's close, negative on an error, the end
    // of the time or a cancel.
    std::ptrdiff_t ReceiveSome(std::string& into, std::size_t max) {
        if (!pending_.empty()) {
            const std::size_t count = std::min(max, pending_.size());
            into.append(pending_, 0, count);
            pending_.erase(0, count);
            return static_cast<std::ptrdiff_t>(count);
        }
        for (;;) {
            if (Cancelled(options_)) return -1;
            const auto left = std::chrono::duration_cast<milliseconds>(deadline_ - Clock::now());
            if (left.count() <= 0) return -1;
            std::array<platform::net::PollItem, 1> item{};
            item[0].socket = socket_.Handle();
            item[0].want_read = true;
            const int ready = platform::net::Poll(item, std::min(left, kCancelCheck));
            if (ready < 0) return -1;
            if (ready == 0) continue;
            std::array<char, 8192> buffer{};
            const std::ptrdiff_t got = socket_.Receive(buffer.data(), std::min(buffer.size(), max));
            if (got > 0) into.append(buffer.data(), static_cast<std::size_t>(got));
            if (got >= 0) heard_ = true;
            return got;
        }
    }

    // Whether the peer said anything at all, a byte or its close.
    bool Heard() const { return heard_; }

  private:
    const JudgeOptions& options_;
    platform::net::Socket socket_;
    Clock::time_point deadline_{};
    std::string pending_;
    bool heard_ = false;
};

struct Answer {
    int status = 0;
    std::string body;
};

// "HTTP/1.x NNN": the status; 0 when the line is not a status line.
int StatusOf(std::string_view head) {
    if (head.substr(0, 5) != "HTTP/") return 0;
    const std::size_t space = head.find(' ');
    if (space == std::string_view::npos || head.size() < space + 4) return 0;
    int status = 0;
    for (std::size_t i = space + 1; i < space + 4; ++i) {
        if (head[i] < '0' || head[i] > '9') return 0;
        status = status * 10 + (head[i] - '0');
    }
    return status;
}

// The value of header `name` (lower case) in a header block; nothing when absent.
std::optional<std::string> HeaderValue(std::string_view head, std::string_view name) {
    std::size_t start = head.find("\r\n");
    while (start != std::string_view::npos && start + 2 < head.size()) {
        start += 2;
        const std::size_t end = head.find("\r\n", start);
        const std::string_view line = head.substr(start, end - start);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && Lowered(line.substr(0, colon)) == name) {
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
            return std::string(value);
        }
        start = end;
    }
    return std::nullopt;
}

// A chunked body decoded; nothing until the last chunk has arrived (or when it is malformed).
std::optional<std::string> DecodeChunked(std::string_view data) {
    std::string body;
    for (;;) {
        const std::size_t line_end = data.find("\r\n");
        if (line_end == std::string_view::npos) return std::nullopt;
        const std::string_view size_text = data.substr(0, std::min(line_end, data.find(';')));
        if (size_text.empty() || size_text.size() > 8) return std::nullopt;
        std::size_t size = 0;
        for (const char c : size_text) {
            const char lower = static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
            if (lower >= '0' && lower <= '9') {
                size = size * 16 + static_cast<std::size_t>(lower - '0');
            } else if (lower >= 'a' && lower <= 'f') {
                size = size * 16 + static_cast<std::size_t>(lower - 'a' + 10);
            } else {
                return std::nullopt;
            }
        }
        data.remove_prefix(line_end + 2);
        if (size == 0) return body;  // trailers, if any, say nothing of the answer
        if (data.size() < size + 2) return std::nullopt;
        body.append(data.substr(0, size));
        data.remove_prefix(size + 2);
    }
}

// Reads one whole answer: status, headers and a body delimited by Content-Length, chunks or the
// close. Nothing for an answer that was cut, too long, late or cancelled. `spoke` is set once a status
// line has come, whole or not.
std::optional<Answer> ReadAnswer(Exchange& exchange, bool* spoke = nullptr) {
    std::string data;
    std::size_t head_end = std::string::npos;
    for (;;) {
        if (spoke != nullptr && data.size() >= 12 && StatusOf(data) != 0) *spoke = true;
        if (head_end == std::string::npos) head_end = data.find("\r\n\r\n");
        if (head_end != std::string::npos) {
            const std::string_view head = std::string_view(data).substr(0, head_end + 2);
            const std::string_view rest = std::string_view(data).substr(head_end + 4);
            const std::optional<std::string> length = HeaderValue(head, "content-length");
            const std::optional<std::string> coding = HeaderValue(head, "transfer-encoding");
            if (coding && Lowered(*coding).find("chunked") != std::string::npos) {
                if (std::optional<std::string> body = DecodeChunked(rest))
                    return Answer{StatusOf(head), *body};
            } else if (length) {
                if (length->empty() || length->size() > 9 ||
                    !std::all_of(length->begin(), length->end(),
                                 [](char c) { return c >= '0' && c <= '9'; })) {
                    return std::nullopt;
                }
                const std::size_t wanted = std::stoul(*length);
                if (wanted > kMaxAnswerBytes) return std::nullopt;
                if (rest.size() >= wanted) return Answer{StatusOf(head), std::string(rest.substr(0, wanted))};
            }
        }
        if (data.size() >= kMaxAnswerBytes) return std::nullopt;
        const std::ptrdiff_t got = exchange.ReceiveSome(data, kMaxAnswerBytes - data.size());
        if (got < 0) return std::nullopt;
        if (got == 0) {
            // The close ends a body that has neither length nor chunks; any other answer was cut.
            if (head_end == std::string::npos) return std::nullopt;
            const std::string_view head = std::string_view(data).substr(0, head_end + 2);
            if (HeaderValue(head, "content-length") || HeaderValue(head, "transfer-encoding"))
                return std::nullopt;
            return Answer{StatusOf(head), data.substr(head_end + 4)};
        }
    }
}

// The status of a CONNECT's answer once its header block is in; 0 when there is none.
int ReadConnectStatus(Exchange& exchange) {
    std::string data;
    while (data.find("\r\n\r\n") == std::string::npos) {
        if (data.size() >= kMaxConnectAnswerBytes) return 0;
        if (exchange.ReceiveSome(data, kMaxConnectAnswerBytes - data.size()) <= 0) return 0;
    }
    return StatusOf(data);
}

bool IsIpLiteral(std::string_view host) {
    return !host.empty() &&
           (host.find(':') != std::string_view::npos ||
            std::all_of(host.begin(), host.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; }));
}

void PutU16(std::string& out, std::size_t value) {
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

// A TLS 1.2 ClientHello as a browser would start it: the common AEAD and CBC suites, the usual groups
// and signature schemes, and the server name (left out for an address, as TLS wants).
std::string ClientHello(std::string_view host) {
    static constexpr std::array<std::uint16_t, 12> kSuites = {0xC02B, 0xC02F, 0xC02C, 0xC030, 0xCCA9, 0xCCA8,
                                                              0xC013, 0xC014, 0x009C, 0x009D, 0x002F, 0x0035};
    static constexpr std::array<std::uint16_t, 3> kGroups = {0x001D, 0x0017, 0x0018};
    static constexpr std::array<std::uint16_t, 9> kSignatures = {0x0403, 0x0804, 0x0401, 0x0503, 0x0805,
                                                                 0x0501, 0x0806, 0x0601, 0x0201};
    std::string extensions;
    if (!IsIpLiteral(host)) {
        PutU16(extensions, 0x0000);
        PutU16(extensions, host.size() + 5);
        PutU16(extensions, host.size() + 3);
        extensions += '\0';  // host_name
        PutU16(extensions, host.size());
        extensions += host;
    }
    PutU16(extensions, 0x000A);
    PutU16(extensions, kGroups.size() * 2 + 2);
    PutU16(extensions, kGroups.size() * 2);
    for (const std::uint16_t group : kGroups) PutU16(extensions, group);
    PutU16(extensions, 0x000B);
    PutU16(extensions, 2);
    extensions += '\x01';
    extensions += '\0';  // uncompressed points
    PutU16(extensions, 0x000D);
    PutU16(extensions, kSignatures.size() * 2 + 2);
    PutU16(extensions, kSignatures.size() * 2);
    for (const std::uint16_t scheme : kSignatures) PutU16(extensions, scheme);
    PutU16(extensions, 0xFF01);  // renegotiation_info, empty
    PutU16(extensions, 1);
    extensions += '\0';

    std::string hello;
    hello += '\x03';
    hello += '\x03';  // TLS 1.2
    static thread_local std::mt19937 random{std::random_device{}()};
    for (int i = 0; i < 32; ++i) hello += static_cast<char>(random() & 0xFF);
    hello += '\0';  // no session to resume
    PutU16(hello, kSuites.size() * 2);
    for (const std::uint16_t suite : kSuites) PutU16(hello, suite);
    hello += '\x01';
    hello += '\0';  // no compression
    PutU16(hello, extensions.size());
    hello += extensions;

    std::string handshake;
    handshake += '\x01';  // client_hello
    handshake += '\0';
    PutU16(handshake, hello.size());
    handshake += hello;

    std::string record;
    record += '\x16';
    record += '\x03';
    record += '\x01';  // record version as browsers send it
    PutU16(record, handshake.size());
    record += handshake;
    return record;
}

// A tunnel through the proxy to the judge's HTTPS port (CONNECT, or the SOCKS tunnel) and a
// ClientHello inside it: true when a TLS handshake record comes back. `spoke` is set when an HTTP proxy
// answered the CONNECT with a status line.
bool TunnelsHttps(const ProxyRoute& proxy, const JudgeOptions& options, bool& spoke) {
    const std::optional<platform::http::Url> target = platform::http::ParseHttpsUrl(JudgeHttpsUrl());
    if (!target) return false;
    Exchange exchange(options);
    if (!exchange.Connect(proxy.host, proxy.port)) return false;
    if (IsSocks(proxy.protocol)) {
        if (!exchange.OpenSocks(proxy, target->host, target->port)) return false;
    } else {
        const std::string authority = target->host + ":" + std::to_string(target->port);
        const std::string request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority +
                                    "\r\nUser-Agent: " + std::string(kBrowserAgent) + "\r\n\r\n";
        if (!exchange.Send(request)) return false;
        const int status = ReadConnectStatus(exchange);
        if (status != 0) spoke = true;
        if (status < 200 || status > 299) return false;
    }
    if (!exchange.Send(ClientHello(target->host))) return false;
    std::string reply;
    while (reply.size() < 3) {
        if (exchange.ReceiveSome(reply, 3 - reply.size()) <= 0) return false;
    }
    return reply[0] == '\x16' && reply[1] == '\x03';
}

std::optional<JudgeView> CheckedView(const std::optional<Answer>& answer, std::string_view marker) {
    if (!answer || answer->status != 200) return std::nullopt;
    std::optional<JudgeView> view = ParseJudgeAnswer(answer->body);
    if (!view || view->query.find(marker) == std::string::npos) return std::nullopt;
    return view;
}

}  // namespace

std::string_view GradeText(Grade grade) {
    switch (grade) {
        case Grade::kElite:
            return "Elite";
        case Grade::kAnonymous:
            return "Anonymous";
        case Grade::kTransparent:
            return "Transparent";
        case Grade::kBroken:
            return "Broken";
        case Grade::kNotChecked:
            return "Not checked";
        case Grade::kNotGraded:
            break;
    }
    return {};
}

Grade ParseGrade(std::string_view text) {
    for (Grade grade :
         {Grade::kElite, Grade::kAnonymous, Grade::kTransparent, Grade::kBroken, Grade::kNotChecked}) {
        if (text == GradeText(grade)) return grade;
    }
    return Grade::kNotGraded;
}

bool GradeNeedsConfirmation(Grade grade) { return grade == Grade::kTransparent || grade == Grade::kBroken; }

std::string_view AdoptionQuestion(Grade grade) {
    if (grade == Grade::kTransparent) return kRevealsAddressQuestion;
    if (grade == Grade::kBroken) return kChangesPagesQuestion;
    return {};
}

namespace {

std::string ConfiguredJudgeUrl() { return settings::RegStringSetting(settings::kJudgeUrl).get(); }

JudgeSite CurrentPublicJudge() {
    const RealAddress& real = TheRealAddress();
    if (const std::optional<JudgeSite> answered = real.PublicJudge()) return *answered;
    return real.FirstLivePublicJudge();
}

}  // namespace

std::string JudgeUrl() {
    const std::string configured = ConfiguredJudgeUrl();
    if (!configured.empty()) return configured;
    return std::string(CurrentPublicJudge().http_url);
}

std::string JudgeHttpsUrl() {
    const std::string configured = settings::RegStringSetting(settings::kJudgeHttpsUrl).get();
    if (!configured.empty()) return configured;
    if (ConfiguredJudgeUrl().empty()) return std::string(CurrentPublicJudge().https_url);
    const std::optional<platform::http::Url> plain = platform::http::ParseUrl(JudgeUrl());
    if (!plain) return {};
    return "https://" + plain->host + plain->path;
}

std::string NewMarker() {
    static thread_local std::mt19937_64 random{(static_cast<std::uint64_t>(std::random_device{}()) << 32) ^
                                               std::random_device{}()};
    static constexpr std::string_view kHex = "0123456789abcdef";
    std::string marker;
    std::uint64_t bits = random();
    for (int i = 0; i < 16; ++i, bits >>= 4) marker += kHex[bits & 0xF];
    return marker;
}

ProxyRoute ProxyRouteOf(std::string_view text) {
    return {ProxyProtocolOf(text), ProxyHost(text), ProxyPort(text), ProxyUser(text), ProxyPassword(text)};
}

void SetSocksOpening(SocksOpeningFactory factory) {
    std::lock_guard lock(SocksFactoryMutex());
    SocksFactory() = std::move(factory);
}

std::vector<ProxyProtocol> ProtocolsToTry(ProxyProtocol said) {
    // SOCKS4a and SOCKS5 with names are the same servers as SOCKS4 and SOCKS5: the relay speaks to
    // them by name in any case.
    const auto family = [](ProxyProtocol protocol) {
        if (protocol == ProxyProtocol::kSocks4a) return ProxyProtocol::kSocks4;
        if (protocol == ProxyProtocol::kSocks5h) return ProxyProtocol::kSocks5;
        return protocol;
    };
    std::vector<ProxyProtocol> order{said};
    for (const ProxyProtocol protocol :
         {ProxyProtocol::kHttp, ProxyProtocol::kSocks5, ProxyProtocol::kSocks4}) {
        if (protocol != family(said)) order.push_back(protocol);
    }
    return order;
}

namespace {

// How the judge's request through a proxy went, beside the answer.
struct Attempt {
    // The proxy took the connection.
    bool reached = false;
    // It said nothing at all to the request, not even a close, until the time ran out.
    bool silent = false;
};

// The judge's page through `proxy`: to an HTTP proxy in absolute form, through a SOCKS tunnel to the
// judge in origin form. `spoke` is set once the proxy answered in its protocol.
std::optional<Answer> AskThrough(const ProxyRoute& proxy, const platform::http::Url& judge,
                                 std::string_view marker, const JudgeOptions& options, Attempt& attempt,
                                 bool& spoke) {
    Exchange exchange(options);
    if (!exchange.Connect(proxy.host, proxy.port)) return std::nullopt;
    attempt.reached = true;
    std::string target = WithMarker(judge.path, marker);
    if (IsSocks(proxy.protocol)) {
        if (!exchange.OpenSocks(proxy, judge.host, judge.port)) return std::nullopt;
        spoke = true;
    } else {
        target = "http://" + HostHeader(judge, 80) + target;
    }
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: " + HostHeader(judge, 80) +
                                "\r\nUser-Agent: " + std::string(kBrowserAgent) +
                                "\r\nAccept: */*\r\nConnection: close\r\n\r\n";
    if (!exchange.Send(request)) return std::nullopt;
    std::optional<Answer> answer = ReadAnswer(exchange, IsSocks(proxy.protocol) ? nullptr : &spoke);
    attempt.silent = !exchange.Heard() && !Cancelled(options);
    return answer;
}

// JudgeProxyAs, telling also how the request went.
JudgeResult JudgeOnce(const ProxyRoute& proxy, const std::vector<std::string>& real_addresses,
                      const JudgeOptions& options, Attempt& attempt) {
    JudgeResult result;
    result.protocol = proxy.protocol;
    const std::optional<platform::http::Url> judge = platform::http::ParseUrl(JudgeUrl());
    // Without a judge to ask nothing can be said of the proxy.
    if (!judge) return result;
    // Without the judge's view of a direct request there is nothing to grade against: an answer of the
    // proxy's would be measured against an empty real address. It is still asked, to learn whether the
    // proxy speaks the protocol.
    const std::optional<JudgeView> baseline = TheRealAddress().Baseline();
    const std::string marker = NewMarker();
    const std::optional<Answer> answer = AskThrough(proxy, *judge, marker, options, attempt, result.spoke);
    result.grade = baseline ? Grade::kBroken : Grade::kNotChecked;
    if (baseline) {
        if (const std::optional<JudgeView> view = CheckedView(answer, marker)) {
            result.grade = GradeView(*view, *baseline, real_addresses, marker);
            result.exit_address = view->remote_address;
        }
    }
    // An HTTP proxy that spoils plain pages, or serves only CONNECT, may still tunnel HTTPS; one that
    // said nothing at all, or a SOCKS proxy that opened no tunnel to the judge, opens none to its HTTPS
    // port either.
    if (attempt.reached && !attempt.silent && !Cancelled(options) &&
        (!IsSocks(proxy.protocol) || result.spoke))
        result.https = TunnelsHttps(proxy, options, result.spoke);
    return result;
}

}  // namespace

JudgeResult JudgeProxyAs(const ProxyRoute& proxy, const std::vector<std::string>& real_addresses,
                         const JudgeOptions& options) {
    Attempt attempt;
    return JudgeOnce(proxy, real_addresses, options, attempt);
}

JudgeResult JudgeProxy(const ProxyRoute& proxy, const std::vector<std::string>& real_addresses,
                       const JudgeOptions& options) {
    std::optional<JudgeResult> first;
    for (const ProxyProtocol protocol : ProtocolsToTry(proxy.protocol)) {
        ProxyRoute route = proxy;
        route.protocol = protocol;
        Attempt attempt;
        JudgeResult result = JudgeOnce(route, real_addresses, options, attempt);
        if (result.spoke || result.grade == Grade::kNotGraded) return result;
        if (!first) first = result;
        // A proxy that cannot be reached speaks no protocol. One that hangs on an HTTP request is no SOCKS
        // server either, which closes at once on a request that is not its own: a listener in front of
        // nothing is not kept waiting on twice more.
        if (!attempt.reached || Cancelled(options) || (protocol == ProxyProtocol::kHttp && attempt.silent))
            break;
    }
    return *first;
}

JudgeResult JudgeProxy(const std::string& host, std::int32_t port,
                       const std::vector<std::string>& real_addresses, const JudgeOptions& options) {
    return JudgeProxy(ProxyRoute{ProxyProtocol::kHttp, host, port, {}, {}}, real_addresses, options);
}

std::optional<JudgeView> AskJudgeDirectly(const JudgeOptions& options) {
    return AskJudgeAt(JudgeUrl(), options);
}

std::optional<JudgeView> AskJudgeAt(const std::string& http_url, const JudgeOptions& options) {
    const std::optional<platform::http::Url> judge = platform::http::ParseUrl(http_url);
    if (!judge) return std::nullopt;
    const std::string marker = NewMarker();
    Exchange exchange(options);
    if (!exchange.Connect(judge->host, judge->port)) return std::nullopt;
    const std::string request =
        "GET " + WithMarker(judge->path, marker) + " HTTP/1.1\r\nHost: " + HostHeader(*judge, 80) +
        "\r\nUser-Agent: " + std::string(kBrowserAgent) + "\r\nAccept: */*\r\nConnection: close\r\n\r\n";
    if (!exchange.Send(request)) return std::nullopt;
    return CheckedView(ReadAnswer(exchange), marker);
}

std::vector<std::string> RealAddress::Addresses(const JudgeOptions& options) {
    // One ask at a time; Public() meanwhile answers from what is known without waiting on the judge.
    std::lock_guard<std::mutex> asking(ask_mutex_);
    const std::vector<std::string> own_now = platform::net::LocalAddresses();
    const auto combined = [&] {
        std::vector<std::string> addresses;
        if (public_) addresses.push_back(*public_);
        addresses.insert(addresses.end(), own_now.begin(), own_now.end());
        return addresses;
    };
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (public_ && own_now == own_) return combined();
    }
    std::optional<JudgeView> view;
    std::optional<std::size_t> answered;
    const std::string configured = ConfiguredJudgeUrl();
    if (!configured.empty()) {
        view = AskJudgeAt(configured, options);
    } else {
        std::vector<bool> dead;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            dead = dead_;
        }
        dead.resize(std::size(kPublicJudges), false);
        // Every judge failed earlier in the run: the network may have come back since.
        if (std::find(dead.begin(), dead.end(), false) == dead.end()) dead.assign(dead.size(), false);
        for (std::size_t i = 0; i < dead.size() && !view && !Cancelled(options); ++i) {
            if (dead[i]) continue;
            view = AskJudgeAt(std::string(kPublicJudges[i].http_url), options);
            if (view) {
                answered = i;
            } else if (!Cancelled(options)) {
                dead[i] = true;
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        dead_ = std::move(dead);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    own_ = own_now;
    judge_ = answered;
    baseline_ = view;
    if (view) {
        public_ = view->remote_address;
    } else {
        public_.reset();
    }
    return combined();
}

std::optional<JudgeView> RealAddress::Baseline() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return baseline_;
}

std::optional<JudgeSite> RealAddress::PublicJudge() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!judge_) return std::nullopt;
    return kPublicJudges[*judge_];
}

JudgeSite RealAddress::FirstLivePublicJudge() const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < std::size(kPublicJudges); ++i) {
        if (i >= dead_.size() || !dead_[i]) return kPublicJudges[i];
    }
    return kPublicJudges[0];
}

std::optional<std::string> RealAddress::Public() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return public_;
}

void RealAddress::Forget() {
    std::lock_guard<std::mutex> lock(mutex_);
    public_.reset();
    baseline_.reset();
    judge_.reset();
    dead_.clear();
    own_.clear();
}

RealAddress& TheRealAddress() {
    static RealAddress real;
    return real;
}

namespace {

// The file's fields must stay one line of four: a tab or line break from a peer would break it.
std::string FieldText(std::string_view text) {
    std::string field;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x20) field += c;
    }
    return field;
}

}  // namespace

void GradeBook::Put(const std::string& address, const JudgeResult& result) {
    const std::string key = FieldText(address);
    if (key.empty()) return;
    JudgeResult kept = result;
    kept.exit_address = FieldText(result.exit_address);
    for (auto& [entry_address, entry] : entries_) {
        if (entry_address == key) {
            entry = kept;
            return;
        }
    }
    entries_.emplace_back(key, kept);
}

std::optional<JudgeResult> GradeBook::Find(std::string_view address) const {
    for (const auto& [entry_address, entry] : entries_) {
        if (entry_address == address) return entry;
    }
    return std::nullopt;
}

void GradeBook::Remove(std::string_view address) {
    std::erase_if(entries_, [&](const auto& entry) { return entry.first == address; });
}

void GradeBook::Clear() { entries_.clear(); }

std::error_code GradeBook::Save(const std::string& path) const {
    std::vector<std::string> lines;
    lines.reserve(entries_.size());
    for (const auto& [address, result] : entries_) {
        lines.push_back(address + "\t" + std::string(GradeText(result.grade)) + "\t" +
                        (result.https ? "https" : "-") + "\t" + result.exit_address);
    }
    return platform::fs::WriteFileAtomically(path, TestedFileBytes(lines));
}

void GradeBook::Load(const std::string& path) {
    entries_.clear();
    for (const std::string& line : ReadTestedLines(path)) {
        std::vector<std::string_view> fields;
        std::size_t start = 0;
        for (;;) {
            const std::size_t tab = line.find('\t', start);
            fields.push_back(std::string_view(line).substr(start, tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (fields.size() != 4 || fields[0].empty()) continue;
        JudgeResult result;
        result.grade = ParseGrade(fields[1]);
        if (result.grade == Grade::kNotGraded && !fields[1].empty()) continue;
        if (fields[2] != "https" && fields[2] != "-") continue;
        result.https = fields[2] == "https";
        result.exit_address = std::string(fields[3]);
        Put(std::string(fields[0]), result);
    }
}

std::string GradeFilePath() {
    settings::RegStringSetting app_path(settings::kAppPath);
    return app_path.get() + platform::fs::kPathSeparator + std::string(kGradeFileName);
}

}  // namespace vestrel::catalogue
