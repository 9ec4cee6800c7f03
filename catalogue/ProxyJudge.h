// How much a proxy hides: a request through it to a judge, a page that echoes what it received, and
// the grade read from that echo; whether the proxy tunnels HTTPS; and the user's own public address,
// which is what the judge sees without any proxy.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "catalogue/ProxyText.h"

namespace vestrel::catalogue {

// kNotChecked: no judge answered a direct request, so there was nothing to grade against.
enum class Grade : std::uint8_t { kNotGraded, kElite, kAnonymous, kTransparent, kBroken, kNotChecked };

// "Elite", "Anonymous", "Transparent", "Broken", "Not checked"; empty for kNotGraded.
std::string_view GradeText(Grade grade);
// The inverse of GradeText; kNotGraded for anything else.
Grade ParseGrade(std::string_view text);
// Adopting a proxy of this grade asks the user first (Transparent, Broken).
bool GradeNeedsConfirmation(Grade grade);
inline constexpr std::string_view kRevealsAddressQuestion =
    "This proxy passes your real IP address to the web sites you visit. Use it anyway?";
inline constexpr std::string_view kChangesPagesQuestion =
    "This proxy changed or withheld the test page, so it may change the pages you visit as well, and "
    "what it tells web sites about you is unknown. Use it anyway?";
// The question asked before adopting a proxy of `grade` (GradeNeedsConfirmation); empty for the others.
std::string_view AdoptionQuestion(Grade grade);

// The path of the list service's own judge (tools/list-service serves it).
inline constexpr std::string_view kJudgePath = "/services/vx/proxy/judge";

// A judge: the page asked over plain HTTP and the one the HTTPS checks use.
struct JudgeSite {
    std::string_view http_url;
    std::string_view https_url;
};
// The public judges used while JudgeUrl is empty, tried in this order: httpbin's JSON (show_env keeps
// the proxy headers it otherwise hides) and azenv's environment echo.
inline constexpr JudgeSite kPublicJudges[] = {
    {"http://httpbin.org/get?show_env=1", "https://httpbin.org/get?show_env=1"},
    {"http://www.proxy-listen.de/azenv.php", "https://www.proxy-listen.de/azenv.php"},
    {"http://azenv.net/", "https://httpbin.org/get?show_env=1"},
};

// The judge's HTTP address: the setting JudgeUrl; when it is empty, the public judge that last answered
// directly, or else the first public judge not found dead in this run.
std::string JudgeUrl();
// The judge's HTTPS address: the setting JudgeHttpsUrl; with JudgeUrl set, the host of JudgeUrl on 443
// with its path ("https://host/path"); else the HTTPS page of the public judge JudgeUrl() names.
std::string JudgeHttpsUrl();

// What a judge saw of one request.
struct JudgeView {
    // The address the request came from (the proxy's exit address, or the user's own).
    std::string remote_address;
    // Header names and values as the judge received them, in order.
    std::vector<std::pair<std::string, std::string>> headers;
    // The query string of the request as received (carries the marker).
    std::string query;
};

// The judge's answer in either format it may come in: our own small JSON object
// {"remote_addr": "...", "query": "...", "headers": [["Name", "value"], ...]}, or the plain-text
// environment echo public judges serve (lines "REMOTE_ADDR = 1.2.3.4", "HTTP_X_FORWARDED_FOR = ...",
// "QUERY_STRING = ..."; header names come back from the HTTP_ form, "X_FORWARDED_FOR" → "X-Forwarded-For"
// compared case-insensitively). Nothing when the body is neither.
std::optional<JudgeView> ParseJudgeAnswer(std::string_view body);

// The grade of what the judge saw through a proxy for a request carrying `marker`, as GradeView below
// with an empty baseline.
Grade GradeView(const JudgeView& view, const std::vector<std::string>& real_addresses,
                std::string_view marker);
// The grade of what the judge saw through a proxy for a request carrying `marker`, against `baseline`,
// what the same judge saw of a direct request:
// Transparent when any of `real_addresses` appears anywhere in a header value (Host aside: it names the
// judge) or as the remote address (IPv4 or IPv6, any position of a list, compared as whole addresses); else
// Anonymous when a header that shows a proxy is there (Via, X-Forwarded-For, Forwarded, X-Real-IP, Client-IP,
// Proxy-Connection, X-Proxy-ID, X-Tinyproxy; by name, case-insensitive) that the baseline did not have, or
// that holds more entries than the baseline's ("a, b" after "a": the judge's front end adds its own
// X-Forwarded-For to every request); else Elite. Broken when the marker is not in the query.
Grade GradeView(const JudgeView& view, const JudgeView& baseline,
                const std::vector<std::string>& real_addresses, std::string_view marker);

struct JudgeOptions {
    std::chrono::milliseconds connect_timeout{5000};
    // The whole exchange with the judge, after the connect.
    std::chrono::milliseconds answer_timeout{10000};
    // When set and true, the check ends as soon as it can (at its next wait).
    const std::atomic<bool>* cancel = nullptr;
};

// A proxy as a check reaches it: the protocol to speak to it, its address and the credentials it wants.
struct ProxyRoute {
    ProxyProtocol protocol = ProxyProtocol::kHttp;
    std::string host;
    std::int32_t port = 0;
    std::string user;
    std::string password;
};
// The route of a proxy text (its scheme, credentials, host and port).
ProxyRoute ProxyRouteOf(std::string_view text);

// What a check through one proxy found.
struct JudgeResult {
    Grade grade = Grade::kNotGraded;
    bool https = false;
    // The remote address the judge reported; empty when it did not answer.
    std::string exit_address;
    // The protocol the proxy was checked in, and whether it answered in it (an HTTP status line, or
    // the SOCKS tunnel to the judge opened). A proxy that answered in no protocol keeps the one first
    // tried.
    ProxyProtocol protocol = ProxyProtocol::kHttp;
    bool spoke = false;
};

// The opening of a tunnel through a SOCKS proxy, as bytes over a connected socket: the relay's own
// handshake, which the program hands in (SetSocksOpening), so that checks speak SOCKS exactly as the
// relay will. Without one, a SOCKS proxy never answers a check.
class SocksOpening {
  public:
    enum class State { kTalking, kOpen, kRefused, kBroken };
    virtual ~SocksOpening() = default;
    // Bytes to send to the proxy now (taken: the next call returns only what came since).
    virtual std::string TakeOutgoing() = 0;
    // Takes bytes from the proxy; returns how many belonged to the opening (the rest, once open, are
    // the destination's).
    virtual std::size_t Feed(const char* data, std::size_t size) = 0;
    virtual State Current() const = 0;
};
// A fresh opening of a tunnel through `proxy` to host:port, the destination sent by name.
using SocksOpeningFactory = std::function<std::unique_ptr<SocksOpening>(
    const ProxyRoute& proxy, const std::string& host, std::uint16_t port)>;
void SetSocksOpening(SocksOpeningFactory factory);

// The protocols a proxy is tried in: the one its text says first, then HTTP, SOCKS5 and SOCKS4 in
// that order (a bare host:port says nothing, and is read as HTTP: so HTTP, SOCKS5, SOCKS4).
std::vector<ProxyProtocol> ProtocolsToTry(ProxyProtocol said);

// A fresh random marker for one request.
std::string NewMarker();

// The judge check of one proxy in one protocol: a GET of JudgeUrl() with "?m=<marker>" (to an HTTP
// proxy in absolute form; through a SOCKS tunnel to the judge's host and port, the name resolved by the
// proxy, in origin form), graded by GradeView against TheRealAddress()'s baseline (Broken for no answer,
// a status other than 200, an answer in no known format, or a marker missing; Not checked when no judge
// answered the direct ask, so there is no baseline); then HTTPS: a tunnel to the host and port of
// JudgeHttpsUrl() (CONNECT, or the SOCKS tunnel) and a TLS ClientHello inside it, supported when a TLS
// handshake record comes back (not tried through a proxy that said nothing at all to the request, nor
// through a SOCKS proxy that did not open the first tunnel).
// kNotGraded when JudgeUrl() is no http address. Blocks; safe to call from many threads at once.
JudgeResult JudgeProxyAs(const ProxyRoute& proxy, const std::vector<std::string>& real_addresses,
                         const JudgeOptions& options = {});
// The judge check of a proxy in every protocol it may speak (ProtocolsToTry of its own), each until
// one answers: the result of the first that answered, or of the first tried when none did (none is
// tried after a connect to the proxy failed, or after it met an HTTP request with silence: SOCKS
// servers close at once on a request that is not theirs).
JudgeResult JudgeProxy(const ProxyRoute& proxy, const std::vector<std::string>& real_addresses,
                       const JudgeOptions& options = {});
// The same of a proxy at host:port whose protocol is not known.
JudgeResult JudgeProxy(const std::string& host, std::int32_t port,
                       const std::vector<std::string>& real_addresses, const JudgeOptions& options = {});

// What the judge sees with no proxy: a direct GET of JudgeUrl(); nothing when it did not answer.
std::optional<JudgeView> AskJudgeDirectly(const JudgeOptions& options = {});
// The same of the judge at `http_url`.
std::optional<JudgeView> AskJudgeAt(const std::string& http_url, const JudgeOptions& options = {});

// The user's real address as the judge sees it, asked once per run and again when the computer's own
// addresses change (or after an ask that failed). With JudgeUrl empty the public judges are asked in
// order, and one that does not answer is passed over for the rest of the run (all of them again once
// every one has failed). Thread-safe.
class RealAddress {
  public:
    // The addresses to look for in a proxy's echo: the judge's view of the user plus the computer's
    // own non-loopback addresses. Blocks on the judge only when it must ask again.
    std::vector<std::string> Addresses(const JudgeOptions& options = {});
    // The public address once the judge answered; nothing before.
    std::optional<std::string> Public() const;
    // What the judge that answered saw of the direct ask; nothing before.
    std::optional<JudgeView> Baseline() const;
    // The public judge that answered the direct ask; nothing before, or with JudgeUrl set.
    std::optional<JudgeSite> PublicJudge() const;
    // The first public judge not found dead in this run.
    JudgeSite FirstLivePublicJudge() const;
    // Forgets what was asked (and which judges failed), so that the next Addresses() asks again.
    void Forget();

  private:
    // Held for the whole of an ask, so that threads that need the address at once ask only once.
    std::mutex ask_mutex_;
    mutable std::mutex mutex_;
    std::optional<std::string> public_;
    std::optional<JudgeView> baseline_;
    std::optional<std::size_t> judge_;
    std::vector<bool> dead_;
    std::vector<std::string> own_;
};
RealAddress& TheRealAddress();

// The grades of the tested proxies, kept beside MyProxies.txt in a file of their own
// (kGradeFileName: one line per proxy, address TAB grade TAB "https" or "-" TAB exit address), so that
// MyProxies.txt keeps its format. Every write replaces the file in one step.
inline constexpr std::string_view kGradeFileName = "ProxyGrades.txt";
class GradeBook {
  public:
    void Put(const std::string& address, const JudgeResult& result);
    // Nothing for an address never graded.
    std::optional<JudgeResult> Find(std::string_view address) const;
    void Remove(std::string_view address);
    void Clear();
    std::error_code Save(const std::string& path) const;
    // A missing or unreadable file gives an empty book; malformed lines are passed over.
    void Load(const std::string& path);

  private:
    std::vector<std::pair<std::string, JudgeResult>> entries_;
};
// The folder held by AppPath, a separator, then kGradeFileName.
std::string GradeFilePath();

}  // namespace vestrel::catalogue
