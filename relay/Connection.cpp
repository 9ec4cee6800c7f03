// A relay connection: reads each request head whole, rewrites it, sends it on over a kept or a new
// connection, and moves the body up and the answer down at once over non-blocking sockets, each
// direction with a bounded buffer, until the answer ends; then the next request, or a tunnel.
#include "relay/Connection.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "relay/ChunkedDecoder.h"
#include "relay/HttpHead.h"
#include "relay/ResponseStream.h"
#include "relay/SocksHandshake.h"
#include "relay/UpstreamWatch.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"

namespace vestrel::relay {
namespace {

namespace net = platform::net;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kBlockSize = 64 * 1024;
// A direction stops reading from its source while this much waits to be sent on.
constexpr std::size_t kBufferLimit = 256 * 1024;
// A body of known length streaming through the splice wakes the relay once about this much of it
// has arrived (or all of it, when less is left), rather than for every segment: on a fast link that
// halves the work of the relay and of the server for each megabyte.
constexpr std::size_t kAnswerBatch = 256 * 1024;
// A batch slower to fill than this means a slow link, where batching gains nothing: the rest of the
// answer goes on as it comes.
constexpr milliseconds kAnswerBatchWait{20};
// A request is kept for sending again on a new connection while it is no longer than this.
constexpr std::size_t kReplayLimit = 64 * 1024;

milliseconds Left(Clock::time_point deadline) {
    return std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
}

FilterSwitches ReadFilterSwitches() {
    settings::RegDwordSetting js(settings::kEnableJS);
    settings::RegDwordSetting activex(settings::kEnableActiveX);
    return {js.get() == 1, activex.get() == 1};
}

// The local time, for the page that says the proxy could not be reached.
std::string LocalTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[64] = {};
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// Sends a short answer of our own and closes, reading off what the browser still sends for a moment
// so that the close does not reset the connection before the answer is read.
void AnswerAndClose(net::Socket& browser, const std::string& answer) {
    browser.SetNonBlocking(false);
    browser.SetSendTimeout(milliseconds(5'000));
    if (browser.SendAll(answer)) {
        browser.ShutdownSend();
        browser.SetReceiveTimeout(milliseconds(300));
        const auto deadline = Clock::now() + milliseconds(1'000);
        std::array<char, 4096> sink;
        std::size_t drained = 0;
        while (drained < 256 * 1024 && Clock::now() < deadline) {
            const auto n = browser.Receive(sink.data(), sink.size());
            if (n <= 0) break;
            drained += static_cast<std::size_t>(n);
        }
    }
    browser.Close();
}

// Bytes waiting for one socket, sent from the front.
class Outbox {
  public:
    bool Empty() const { return sent_ == data_.size(); }
    std::size_t Size() const { return data_.size() - sent_; }
    std::string& Tail() { return data_; }
    void Append(const char* bytes, std::size_t size) { data_.append(bytes, size); }
    void Append(std::string_view bytes) { data_.append(bytes); }

    // Sends as much as the socket takes now; false when the peer is gone.
    bool Flush(net::Socket& socket, bool& moved) {
        while (!Empty()) {
            const auto n = socket.Send(data_.data() + sent_, data_.size() - sent_);
            if (n < 0 && !net::LastCallWouldBlock()) return false;
            if (n <= 0) break;
            sent_ += static_cast<std::size_t>(n);
            moved = true;
        }
        if (Empty()) {
            data_.clear();
            sent_ = 0;
        } else if (sent_ >= kBufferLimit) {
            // Keep the sent front from piling up while the peer takes bytes no faster than they come.
            data_.erase(0, sent_);
            sent_ = 0;
        }
        return true;
    }

  private:
    std::string data_;
    std::size_t sent_ = 0;
};

// How much of the browser's stream after the head is the request body.
class RequestBody {
  public:
    explicit RequestBody(const RequestHead& head) : framing_(head.framing), remaining_(head.content_length) {}

    bool Done() const {
        return framing_ == BodyFraming::None || (framing_ == BodyFraming::Length && remaining_ == 0) ||
               (framing_ == BodyFraming::Chunked && chunked_.Done());
    }
    bool Failed() const { return framing_ == BodyFraming::Chunked && chunked_.Failed(); }

    // Bytes of `size` that still belong to the body; what follows it is not forwarded.
    std::size_t Take(const char* data, std::size_t size) {
        if (Done()) return 0;
        if (framing_ == BodyFraming::Length) {
            const auto taken = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, size));
            remaining_ -= taken;
            return taken;
        }
        return chunked_.Feed(data, size, nullptr);
    }

  private:
    BodyFraming framing_;
    std::uint64_t remaining_;
    ChunkedDecoder chunked_;
};

class Session {
  public:
    Session(net::Socket browser, const RelaySettings& settings, const RelayLimits& limits,
            Upstreams& upstreams, std::uint16_t own_port)
        : browser_(std::move(browser)),
          settings_(settings),
          limits_(limits),
          upstreams_(upstreams),
          own_port_(own_port),
          block_(std::make_unique_for_overwrite<char[]>(kBlockSize)) {}

    void Run() {
        Serve();
        Linger();
    }

  private:
    enum class Outcome { Delivered, Closed, TimedOut, NoAnswer, Tunnel };

    void Serve() {
        browser_.SetNonBlocking(true);
        browser_.SetNoDelay(true);
        for (std::size_t served = 0;;) {
            const auto head_size = ReadHead(served == 0);
            if (!head_size) return;
            const auto request = ParseRequestHead(std::string_view(inbox_).substr(0, *head_size));
            if (!request) return AnswerAndClose(browser_, ShortAnswer(400, "Bad Request"));
            // Neither goes anywhere: one has no destination a proxy could follow, the other would come
            // back here through the upstream.
            if (IsOriginForm(*request)) return AnswerAndClose(browser_, OriginFormAnswer(own_port_));
            if (NamesRelayItself(*request, own_port_)) return AnswerAndClose(browser_, LoopAnswer());
            inbox_.erase(0, *head_size);
            if (request->is_connect) return Tunnel(*request);
            ++served;
            if (!Exchange(*request, served >= limits_.max_requests_per_connection)) return;
        }
    }

    // Reads until the blank line; returns the head's length, or nullopt once the browser has been
    // answered or has gone. Between two requests the browser may stay silent for the idle limit.
    std::optional<std::size_t> ReadHead(bool first) {
        if (!first && inbox_.empty() && (browser_eof_ || !WaitForBrowser(limits_.idle_timeout)))
            return std::nullopt;
        const auto deadline = Clock::now() + limits_.head_timeout;
        for (;;) {
            // A blank line after a body belongs to no request.
            while (inbox_.starts_with("\r\n")) inbox_.erase(0, 2);
            if (const auto end = FindHeadEnd(inbox_); end && *end <= kMaxHeadBytes) return end;
            if (inbox_.size() > kMaxHeadBytes) {
                AnswerAndClose(browser_, ShortAnswer(431, "Request Header Fields Too Large"));
                return std::nullopt;
            }
            if (browser_eof_) return std::nullopt;
            // The head has usually arrived already: try before waiting.
            const auto n = browser_.Receive(block_.get(), kBlockSize);
            if (n < 0 && net::LastCallWouldBlock()) {
                const milliseconds left = Left(deadline);
                if (left.count() <= 0 || !WaitForBrowser(left)) {
                    AnswerAndClose(browser_, ShortAnswer(408, "Request Timeout"));
                    return std::nullopt;
                }
                continue;
            }
            if (n <= 0) {
                // A browser that gave up before finishing its head gets no answer it could read.
                browser_eof_ = true;
                return std::nullopt;
            }
            inbox_.append(block_.get(), static_cast<std::size_t>(n));
        }
    }

    bool WaitForBrowser(milliseconds limit) {
        std::array<net::PollItem, 1> item{};
        item[0].socket = browser_.Handle();
        item[0].want_read = true;
        return net::Poll(item, limit) > 0;
    }

    // One request and its answer. True when the browser's connection stays open for the next.
    bool Exchange(const RequestHead& request, bool last) {
        switches_ = ReadFilterSwitches();
        settings::RegStringSetting last_domain(settings::kLastDomain);
        last_domain.set(request.host);

        Route(request);
        if (!AcquireDestination()) {
            // With an upstream proxy the request never goes anywhere else: the browser is told why.
            if (upstream_) TellRouteFailed();
            return false;
        }
        // Through a SOCKS tunnel the relay speaks to the server itself, as on a direct connection.
        static const RelaySettings kToServer;
        const std::string head =
            RewriteRequestHead(request, Socks() ? kToServer : settings_, switches_.Any());
        body_.emplace(request);
        to_dest_ = Outbox();
        replay_.clear();
        replay_whole_ = true;
        retried_ = false;
        browser_lost_ = false;
        SendOn(head.data(), head.size());
        const std::size_t taken = body_->Take(inbox_.data(), inbox_.size());
        SendOn(inbox_.data(), taken);
        inbox_.erase(0, taken);
        if (body_->Failed()) return false;

        head_request_ = EqualsIgnoreCase(request.method, "HEAD");
        keep_alive_wanted_ = WantsKeepAlive(request) && !last;
        response_.emplace(head_request_, switches_);
        dest_done_ = false;
        extra_ = false;
        batching_ = true;
        // Answers the filter does not read go from server to browser inside the system where it can.
        if (!splice_tried_) {
            splice_tried_ = true;
            splice_ = net::SocketSplice::Open(kBufferLimit);
        }
        const Outcome outcome = PumpAnswer();
        if (upstream_ && response_->Started()) TheUpstreamWatch().Answered(host_, port_);
        switch (outcome) {
            case Outcome::Delivered:
                return true;
            case Outcome::Tunnel:
                SendOn(inbox_.data(), inbox_.size());
                inbox_.clear();
                PumpTunnel(false);
                return false;
            case Outcome::Closed:
                // A proxy that closed before a byte of its answer leaves the browser waiting for
                // nothing; it is told instead (a browser that has gone just does not read it).
                // A browser that went away first says nothing about the proxy.
                if (upstream_ && !response_->Started() && !browser_lost_) TellProxyUnreachable();
                break;
            case Outcome::TimedOut:
                // Nothing moved for the idle limit: the connection ends as it always has.
                break;
            case Outcome::NoAnswer:
                // A proxy that takes requests and never answers them is as dead as one that refuses.
                TellProxyUnreachable(kNoAnswerInTime);
                break;
        }
        return false;
    }

    // The watch over the proxy hears of it, then the browser gets the page naming the proxy.
    void TellProxyUnreachable(std::string_view reason = {}) {
        TheUpstreamWatch().Failed(host_, port_);
        AnswerAndClose(browser_, ProxyUnreachableAnswer(host_, port_, LocalTimeText(), reason));
    }

    // A SOCKS refusal is the proxy's answer: the browser hears why, and the proxy is not counted as
    // dead. Silence, a close or bytes that are not SOCKS count as any unreachable proxy does.
    void TellRouteFailed() {
        if (refusal_.empty()) return TellProxyUnreachable(failure_reason_);
        TheUpstreamWatch().Answered(host_, port_);
        AnswerAndClose(browser_, ProxyUnreachableAnswer(host_, port_, LocalTimeText(), refusal_));
    }

    bool Socks() const { return upstream_ && settings_.protocol != UpstreamProtocol::Http; }

    void Route(const RequestHead& request) {
        upstream_ = settings_.use_upstream != 0;
        host_ = upstream_ ? settings_.upstream_host : request.host;
        port_ = upstream_ ? static_cast<std::uint16_t>(settings_.upstream_port & 0xFFFF) : request.port;
        target_host_ = request.host;
        target_port_ = request.port;
        destination_ = host_ + ":" + std::to_string(port_);
        // A kept SOCKS connection is a tunnel to one server.
        if (Socks()) destination_ += ">" + target_host_ + ":" + std::to_string(target_port_);
        refusal_.clear();
        failure_reason_.clear();
    }

    // A kept connection, a warm spare, or a new connection, in that order; through a SOCKS proxy a
    // connection not kept gets its tunnel opened.
    bool AcquireDestination() {
        dest_low_water_ = 1;
        dest_ = upstreams_.pool.Take(destination_);
        reused_ = dest_.Valid();
        if (reused_) return true;
        if (upstream_) dest_ = upstreams_.spares.Take(host_, port_);
        if (!dest_.Valid() && !Connect()) return false;
        return !Socks() || OpenSocks();
    }

    // The SOCKS greeting and request on the fresh connection to the proxy, within the reply limit.
    bool OpenSocks() {
        dest_.SetNonBlocking(true);
        dest_.SetNoDelay(true);
        SocksHandshake handshake(settings_.protocol, settings_.user, settings_.password, target_host_,
                                 target_port_);
        std::string out = handshake.TakeOutgoing();
        std::size_t sent = 0;
        const auto deadline = Clock::now() + limits_.connect_reply_timeout;
        while (handshake.Current() == SocksHandshake::State::Talking) {
            while (sent < out.size()) {
                const auto n = dest_.Send(out.data() + sent, out.size() - sent);
                if (n < 0 && !net::LastCallWouldBlock()) return false;
                if (n <= 0) break;
                sent += static_cast<std::size_t>(n);
            }
            std::array<net::PollItem, 1> item{};
            item[0].socket = dest_.Handle();
            item[0].want_read = true;
            item[0].want_write = sent < out.size();
            const milliseconds left = Left(deadline);
            if (left.count() <= 0 || net::Poll(item, left) <= 0) {
                failure_reason_ = std::string(kNoAnswerInTime);
                return false;
            }
            if (!item[0].readable && !item[0].failed) continue;
            const auto n = dest_.Receive(block_.get(), kBlockSize);
            if (n < 0 && net::LastCallWouldBlock()) continue;
            // A proxy that closes mid-greeting is as dead as one that refuses the connection.
            if (n <= 0) return false;
            const std::size_t used = handshake.Feed(block_.get(), static_cast<std::size_t>(n));
            if (handshake.Current() == SocksHandshake::State::Open && used < static_cast<std::size_t>(n)) {
                // The server spoke before being asked: nothing it says can be matched to a request.
                failure_reason_ = "the server behind it sent bytes nobody asked for";
                return false;
            }
            out.erase(0, sent);
            sent = 0;
            out += handshake.TakeOutgoing();
        }
        switch (handshake.Current()) {
            case SocksHandshake::State::Open:
                return true;
            case SocksHandshake::State::Refused:
                refusal_ = handshake.Reason();
                return false;
            default:
                failure_reason_ = handshake.Reason();
                return false;
        }
    }

    bool Connect() {
        std::error_code error;
        dest_ = net::ConnectTcp(host_, port_, limits_.connect_timeout, error);
        // As ever, a destination that cannot be reached closes the browser's connection unanswered.
        if (!dest_.Valid()) return false;
        dest_.SetNonBlocking(true);
        dest_.SetNoDelay(true);
        return true;
    }

    // Request bytes for the destination, kept for sending again while the whole request is short.
    void SendOn(const char* data, std::size_t size) {
        to_dest_.Append(data, size);
        if (!replay_whole_) return;
        if (replay_.size() + size > kReplayLimit) {
            replay_whole_ = false;
            std::string().swap(replay_);
        } else {
            replay_.append(data, size);
        }
    }

    // A kept connection may have been given up by the server just as the request went out. Before any
    // byte of the answer came back, a request held whole, body and all, is sent once more on a new
    // connection; one whose body streamed on (or is still coming) cannot be, and ends the browser's
    // connection instead.
    bool RetryOnNewConnection() {
        if (!reused_ || retried_ || !replay_whole_ || !body_->Done() || response_->Started()) return false;
        retried_ = true;
        dest_.Close();
        if (!Connect() || (Socks() && !OpenSocks())) return false;
        reused_ = false;
        to_dest_ = Outbox();
        to_dest_.Append(replay_);
        response_.emplace(head_request_, switches_);
        dest_done_ = false;
        return true;
    }

    // Moves the request body up and the answer down until the answer has been delivered, a peer
    // fails, or nothing has moved for the idle limit.
    Outcome PumpAnswer() {
        auto last_moved = Clock::now();
        for (;;) {
            bool moved = false;
            if (!to_dest_.Flush(dest_, moved)) {
                if (!RetryOnNewConnection()) return Outcome::Closed;
                continue;
            }
            if (!to_browser_.Flush(browser_, moved) || !DrainSplice(moved)) {
                browser_lost_ = true;
                return Outcome::Closed;
            }
            if (response_->Tunnel()) return Outcome::Tunnel;
            if (response_->Failed() && ToBrowserEmpty()) return Outcome::Closed;
            // A server may answer before it has the whole body; it still gets the rest.
            if (response_->Done() && ToBrowserEmpty() && body_->Done() && to_dest_.Empty())
                return AnswerDelivered();
            if (dest_done_ && ToBrowserEmpty()) return Outcome::Closed;
            if (moved) last_moved = Clock::now();

            const bool answer_open = !dest_done_ && !response_->Done() && !response_->Failed();
            std::array<net::PollItem, 2> items{};
            items[0].socket = browser_.Handle();
            // Past the body, what the browser sends is its next request: read it only up to a head.
            items[0].want_read = !browser_eof_ && (body_->Done() ? inbox_.size() <= kMaxHeadBytes
                                                                 : to_dest_.Size() < kBufferLimit);
            items[0].want_write = !ToBrowserEmpty();
            items[1].socket = dest_.Handle();
            items[1].want_read =
                answer_open &&
                (splice_ ? splice_->Buffered() < splice_->Capacity() : to_browser_.Size() < kBufferLimit) &&
                to_browser_.Size() < kBufferLimit;
            items[1].want_write = !to_dest_.Empty();
            // Until its first byte the upstream proxy has the shorter answer limit; an answer that has
            // started is never cut short by it.
            const bool awaiting_proxy =
                upstream_ && !response_->Started() && settings_.answer_timeout <= limits_.idle_timeout;
            const milliseconds limit = awaiting_proxy ? settings_.answer_timeout : limits_.idle_timeout;
            const milliseconds left =
                limit - std::chrono::duration_cast<milliseconds>(Clock::now() - last_moved);
            if (left.count() <= 0) return awaiting_proxy ? Outcome::NoAnswer : Outcome::TimedOut;
            const bool batched = BatchAnswer(items[1].want_read);
            const int ready = net::Poll(items, batched ? std::min(left, kAnswerBatchWait) : left);
            if (ready < 0) return Outcome::Closed;
            if (ready == 0) {
                if (batched) batching_ = false;
                continue;
            }
            if (items[1].readable || items[1].failed) {
                if (!ReadAnswer()) return Outcome::Closed;
                last_moved = Clock::now();
            }
            if ((items[0].readable || items[0].failed) && !ReadRequestBody(last_moved)) {
                browser_lost_ = true;
                return Outcome::Closed;
            }
        }
    }

    // The answer is with the browser: the server's connection is kept when it can carry another
    // request, and the browser's when its head said so.
    Outcome AnswerDelivered() {
        SetAnswerLowWater(1);
        if (response_->ServerKeepsAlive() && !extra_) {
            upstreams_.pool.Put(destination_, std::move(dest_));
        } else {
            dest_.Close();
        }
        return response_->KeepsBrowser() ? Outcome::Delivered : Outcome::Closed;
    }

    // Whether the next wait for the server is for a batch of the body rather than for any byte.
    bool BatchAnswer(bool reading) {
        const std::uint64_t allowance = response_->PassThroughAllowance();
        std::size_t want = 1;
        // A body read to the server's close has no known end to wait for.
        if (batching_ && reading && splice_ && allowance > 0 &&
            allowance != std::numeric_limits<std::uint64_t>::max())
            want = static_cast<std::size_t>(std::min<std::uint64_t>(
                {allowance, splice_->Capacity() - splice_->Buffered(), kAnswerBatch}));
        SetAnswerLowWater(want);
        return dest_low_water_ > 1;
    }

    void SetAnswerLowWater(std::size_t bytes) {
        if (bytes == dest_low_water_ || !dest_.Valid()) return;
        dest_low_water_ = dest_.SetReceiveLowWater(bytes) ? bytes : 1;
    }

    bool ToBrowserEmpty() const { return to_browser_.Empty() && (!splice_ || splice_->Buffered() == 0); }

    // The spliced bytes follow whatever the outbox still holds.
    bool DrainSplice(bool& moved) {
        if (!splice_ || splice_->Buffered() == 0 || !to_browser_.Empty()) return true;
        const auto n = splice_->Drain(browser_);
        if (n > 0) moved = true;
        return n >= 0 || net::LastCallWouldBlock();
    }

    bool ReadAnswer() {
        // Whether the browser may keep its connection is settled by the time the final head comes.
        response_->AllowKeepAlive(keep_alive_wanted_ && body_->Done());
        const std::uint64_t allowance = response_->PassThroughAllowance();
        if (splice_ && allowance > 0) {
            const auto room = static_cast<std::size_t>(
                std::min<std::uint64_t>(allowance, splice_->Capacity() - splice_->Buffered()));
            const auto n = splice_->Fill(dest_, room);
            if (n < 0 && !net::LastCallWouldBlock() && splice_->Buffered() == 0 &&
                (net::LastError() == std::errc::invalid_argument ||
                 net::LastError() == std::errc::function_not_supported)) {
                // A socket the system cannot splice from: copy instead.
                splice_.reset();
                return ReadAnswer();
            }
            if (n > 0) response_->PassedThrough(static_cast<std::size_t>(n));
            return AfterAnswerRead(n);
        }
        const auto n = dest_.Receive(block_.get(), kBlockSize);
        if (n > 0) {
            const auto size = static_cast<std::size_t>(n);
            const std::size_t used = response_->Feed(block_.get(), size, to_browser_.Tail());
            if (response_->Tunnel()) {
                to_browser_.Append(block_.get() + used, size - used);
            } else if (used < size) {
                // Bytes past the end of the answer: this server's connection is not to be trusted again.
                extra_ = true;
            }
        }
        return AfterAnswerRead(n);
    }

    bool AfterAnswerRead(std::ptrdiff_t n) {
        if (n > 0 || (n < 0 && net::LastCallWouldBlock())) return true;
        if (RetryOnNewConnection()) return true;
        // A reset from the server ends the answer like an orderly close.
        dest_done_ = true;
        response_->Finish(to_browser_.Tail());
        return true;
    }

    bool ReadRequestBody(Clock::time_point& last_moved) {
        const auto n = browser_.Receive(block_.get(), kBlockSize);
        if (n < 0 && net::LastCallWouldBlock()) return true;
        if (n < 0) return false;
        if (n == 0) {
            browser_eof_ = true;
            // A request cut off inside its body is not worth finishing.
            return body_->Done();
        }
        last_moved = Clock::now();
        const auto size = static_cast<std::size_t>(n);
        const std::size_t taken = body_->Take(block_.get(), size);
        SendOn(block_.get(), taken);
        // What follows the body is the next request, read once this answer is delivered.
        inbox_.append(block_.get() + taken, size - taken);
        return !body_->Failed();
    }

    void Tunnel(const RequestHead& request) {
        Route(request);
        if (upstream_) dest_ = upstreams_.spares.Take(host_, port_);
        if (!dest_.Valid() && !Connect()) {
            if (upstream_) TellProxyUnreachable();
            return;
        }
        dest_.SetNonBlocking(true);
        dest_.SetNoDelay(true);
        if (Socks() && !OpenSocks()) return TellRouteFailed();
        const bool http_proxy = upstream_ && !Socks();
        if (http_proxy) {
            to_dest_.Append(RewriteRequestHead(request, settings_, false, false));
        } else {
            if (Socks()) TheUpstreamWatch().Answered(host_, port_);
            to_browser_.Append("HTTP/1.1 200 Connection established\r\n\r\n");
        }
        to_dest_.Append(inbox_);
        inbox_.clear();
        splice_ = net::SocketSplice::Open(kBufferLimit);
        PumpTunnel(http_proxy);
    }

    // Moves bytes both ways until both have closed, a peer fails, or nothing has moved for the
    // tunnel's idle limit. `await_reply`: the upstream proxy has just been sent the CONNECT, and
    // until the first byte of its reply it has the reply limit; a proxy that closes or stays silent
    // gets the browser the page saying so.
    void PumpTunnel(bool await_reply) {
        bool dest_eof = false;
        bool browser_shut = false;
        bool dest_shut = false;
        auto last_moved = Clock::now();
        const auto reply_deadline = last_moved + limits_.connect_reply_timeout;
        for (;;) {
            bool moved = false;
            if (!to_dest_.Flush(dest_, moved) || !to_browser_.Flush(browser_, moved) || !DrainSplice(moved))
                return;
            if (browser_eof_ && to_dest_.Empty() && !dest_shut) {
                dest_.ShutdownSend();
                dest_shut = true;
            }
            if (dest_eof && ToBrowserEmpty() && !browser_shut) {
                browser_.ShutdownSend();
                browser_shut = true;
            }
            if (dest_shut && browser_shut) return;
            if (moved) last_moved = Clock::now();

            std::array<net::PollItem, 2> items{};
            items[0].socket = browser_.Handle();
            items[0].want_read = !browser_eof_ && to_dest_.Size() < kBufferLimit;
            items[0].want_write = !ToBrowserEmpty();
            items[1].socket = dest_.Handle();
            items[1].want_read = !dest_eof && (splice_ ? splice_->Buffered() < splice_->Capacity()
                                                       : to_browser_.Size() < kBufferLimit);
            items[1].want_write = !to_dest_.Empty();
            milliseconds left = limits_.tunnel_idle_timeout -
                                std::chrono::duration_cast<milliseconds>(Clock::now() - last_moved);
            if (await_reply) {
                left = std::min(left, Left(reply_deadline));
                if (left.count() <= 0) return TellProxyUnreachable(kNoAnswerInTime);
            }
            if (left.count() <= 0) return;
            const int ready = net::Poll(items, left);
            if (ready < 0) return;
            if (ready == 0) continue;
            if (items[1].readable || items[1].failed) {
                std::ptrdiff_t n = 0;
                if (splice_ && to_browser_.Empty()) {
                    n = splice_->Fill(dest_, splice_->Capacity() - splice_->Buffered());
                    if (n < 0 && !net::LastCallWouldBlock() && splice_->Buffered() == 0 &&
                        (net::LastError() == std::errc::invalid_argument ||
                         net::LastError() == std::errc::function_not_supported)) {
                        splice_.reset();
                        continue;
                    }
                } else {
                    n = dest_.Receive(block_.get(), kBlockSize);
                    if (n > 0) to_browser_.Append(block_.get(), static_cast<std::size_t>(n));
                }
                if (await_reply && (n > 0 || n == 0 || !net::LastCallWouldBlock())) {
                    // The proxy's first word: a reply, or a close before any.
                    if (n <= 0) return TellProxyUnreachable();
                    await_reply = false;
                    TheUpstreamWatch().Answered(host_, port_);
                }
                if (n > 0) last_moved = Clock::now();
                if (n == 0) dest_eof = true;
                // A reset in a tunnel ends it both ways.
                if (n < 0 && !net::LastCallWouldBlock()) return;
            }
            if (items[0].readable || items[0].failed) {
                const auto n = browser_.Receive(block_.get(), kBlockSize);
                if (n > 0) {
                    to_dest_.Append(block_.get(), static_cast<std::size_t>(n));
                    last_moved = Clock::now();
                }
                if (n == 0) browser_eof_ = true;
                if (n < 0 && !net::LastCallWouldBlock()) return;
            }
        }
    }

    // Ends the browser's connection without a reset: bytes it sent that were never read (a request
    // after the last one answered) would otherwise make the system discard the answer in flight.
    void Linger() {
        if (!browser_.Valid()) return;
        browser_.ShutdownSend();
        const auto deadline = Clock::now() + milliseconds(1'000);
        std::size_t drained = 0;
        while (!browser_eof_ && drained < kBufferLimit) {
            const milliseconds left = Left(deadline);
            if (left.count() <= 0 || !WaitForBrowser(left)) break;
            const auto n = browser_.Receive(block_.get(), kBlockSize);
            if (n < 0 && net::LastCallWouldBlock()) continue;
            if (n <= 0) break;
            drained += static_cast<std::size_t>(n);
        }
        browser_.Close();
    }

    net::Socket browser_;
    net::Socket dest_;
    const RelaySettings& settings_;
    const RelayLimits& limits_;
    Upstreams& upstreams_;
    const std::uint16_t own_port_;
    // Not cleared first: every read says how much of it holds data.
    std::unique_ptr<char[]> block_;
    // What the browser sent that is not yet taken: the next request heads.
    std::string inbox_;
    Outbox to_dest_;
    Outbox to_browser_;
    std::optional<RequestBody> body_;
    std::optional<ResponseStream> response_;
    std::optional<net::SocketSplice> splice_;
    bool splice_tried_ = false;
    // The server connection's receive low-water mark, one byte whenever no body is streaming.
    std::size_t dest_low_water_ = 1;
    bool batching_ = true;
    FilterSwitches switches_;
    bool upstream_ = false;
    std::string host_;
    std::uint16_t port_ = 0;
    std::string destination_;
    // Where the request goes behind a SOCKS proxy.
    std::string target_host_;
    std::uint16_t target_port_ = 0;
    // Why the route could not be opened: the SOCKS proxy's refusal, or what went wrong with it.
    std::string refusal_;
    std::string failure_reason_;
    bool reused_ = false;
    bool retried_ = false;
    // The browser's side failed or closed while its answer was awaited.
    bool browser_lost_ = false;
    std::string replay_;
    bool replay_whole_ = true;
    bool head_request_ = false;
    bool keep_alive_wanted_ = false;
    bool browser_eof_ = false;
    bool dest_done_ = false;
    bool extra_ = false;
};

}  // namespace

void RunConnection(net::Socket browser, const RelaySettings& settings, const RelayLimits& limits,
                   Upstreams& upstreams, std::uint16_t own_port) {
    Session(std::move(browser), settings, limits, upstreams, own_port).Run();
}

}  // namespace vestrel::relay
