// A relay connection: reads the whole request head, rewrites it, connects on, and then moves bytes in
// both directions at once over non-blocking sockets, each direction with a bounded buffer.
#include "relay/Connection.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "relay/ChunkedDecoder.h"
#include "relay/HttpHead.h"
#include "relay/ResponseFilter.h"
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

milliseconds Left(Clock::time_point deadline) {
    return std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
}

FilterSwitches ReadFilterSwitches() {
    settings::RegDwordSetting js(settings::kEnableJS);
    settings::RegDwordSetting activex(settings::kEnableActiveX);
    return {js.get() == 1, activex.get() == 1};
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
    Session(net::Socket browser, const RelaySettings& settings, const RelayLimits& limits)
        : browser_(std::move(browser)),
          settings_(settings),
          limits_(limits),
          block_(std::make_unique_for_overwrite<char[]>(kBlockSize)) {}

    void Run() {
        browser_.SetNonBlocking(true);
        std::string received;
        const auto head_size = ReadHead(received);
        if (!head_size) return;
        const auto request = ParseRequestHead(std::string_view(received).substr(0, *head_size));
        if (!request) return AnswerAndClose(browser_, ShortAnswer(400, "Bad Request"));

        const FilterSwitches switches = request->is_connect ? FilterSwitches{} : ReadFilterSwitches();
        settings::RegStringSetting last_domain(settings::kLastDomain);
        last_domain.set(request->host);

        const bool upstream = settings_.use_upstream != 0;
        std::error_code error;
        dest_ = upstream ? net::ConnectTcp(settings_.upstream_host,
                                           static_cast<std::uint16_t>(settings_.upstream_port & 0xFFFF),
                                           limits_.connect_timeout, error)
                         : net::ConnectTcp(request->host, request->port, limits_.connect_timeout, error);
        // As ever, a destination that cannot be reached closes the browser's connection unanswered.
        if (!dest_.Valid()) return;
        dest_.SetNonBlocking(true);
        dest_.SetNoDelay(true);
        browser_.SetNoDelay(true);

        const std::string_view after_head = std::string_view(received).substr(*head_size);
        tunnel_ = request->is_connect;
        if (tunnel_) {
            if (upstream) {
                to_dest_.Append(RewriteRequestHead(*request, settings_, false));
            } else {
                to_browser_.Append("HTTP/1.1 200 Connection established\r\n\r\n");
            }
            to_dest_.Append(after_head);
        } else {
            body_.emplace(*request);
            to_dest_.Append(RewriteRequestHead(*request, settings_, switches.Any()));
            to_dest_.Append(after_head.data(), body_->Take(after_head.data(), after_head.size()));
            if (body_->Failed()) return;
            if (switches.Any()) filter_.emplace(switches);
        }
        // Answers the filter does not read go from server to browser inside the system where it can.
        if (!filter_) splice_ = net::SocketSplice::Open(kBufferLimit);
        Pump();
    }

  private:
    // Reads until the blank line; returns the head's length, or nullopt once the browser has been
    // answered or has gone.
    std::optional<std::size_t> ReadHead(std::string& received) {
        const auto deadline = Clock::now() + limits_.head_timeout;
        for (;;) {
            if (const auto end = FindHeadEnd(received); end && *end <= kMaxHeadBytes) return end;
            if (received.size() > kMaxHeadBytes) {
                AnswerAndClose(browser_, ShortAnswer(431, "Request Header Fields Too Large"));
                return std::nullopt;
            }
            // The head has usually arrived already: try before waiting.
            const auto n = browser_.Receive(block_.get(), kBlockSize);
            if (n < 0 && net::LastCallWouldBlock()) {
                const milliseconds left = Left(deadline);
                std::array<net::PollItem, 1> item{};
                item[0].socket = browser_.Handle();
                item[0].want_read = true;
                const int ready = left.count() > 0 ? net::Poll(item, left) : 0;
                if (ready < 0) return std::nullopt;
                if (ready == 0) {
                    AnswerAndClose(browser_, ShortAnswer(408, "Request Timeout"));
                    return std::nullopt;
                }
                continue;
            }
            if (n <= 0) {
                // A browser that gave up before finishing its head gets no answer it could read.
                return std::nullopt;
            }
            received.append(block_.get(), static_cast<std::size_t>(n));
        }
    }

    // Moves bytes both ways until the answer has been delivered (or the tunnel closed both ways), a
    // peer fails, or nothing has moved for the idle limit.
    void Pump() {
        const milliseconds idle_limit = tunnel_ ? limits_.tunnel_idle_timeout : limits_.idle_timeout;
        auto last_moved = Clock::now();
        for (;;) {
            bool moved = false;
            if (!to_dest_.Flush(dest_, moved) || !to_browser_.Flush(browser_, moved) || !DrainSplice(moved))
                return;
            if (tunnel_) {
                if (browser_done_ && to_dest_.Empty() && !dest_shut_) {
                    dest_.ShutdownSend();
                    dest_shut_ = true;
                }
                if (dest_done_ && ToBrowserEmpty() && !browser_shut_) {
                    browser_.ShutdownSend();
                    browser_shut_ = true;
                }
                if (dest_shut_ && browser_shut_) return;
            } else if (dest_done_ && ToBrowserEmpty()) {
                dest_.ShutdownBoth();
                dest_.Close();
                browser_.ShutdownSend();
                return;
            }
            if (moved) last_moved = Clock::now();

            std::array<net::PollItem, 2> items{};
            items[0].socket = browser_.Handle();
            items[0].want_read =
                !browser_done_ && (to_dest_.Size() < kBufferLimit || (body_ && body_->Done()));
            items[0].want_write = !ToBrowserEmpty();
            items[1].socket = dest_.Handle();
            items[1].want_read = !dest_done_ && (splice_ ? splice_->Buffered() < splice_->Capacity()
                                                         : to_browser_.Size() < kBufferLimit);
            items[1].want_write = !to_dest_.Empty();
            const milliseconds left =
                idle_limit - std::chrono::duration_cast<milliseconds>(Clock::now() - last_moved);
            if (left.count() <= 0) return;
            const int ready = net::Poll(items, left);
            if (ready < 0) return;
            if (ready == 0) continue;
            if ((items[1].readable || items[1].failed) && !ReadDest(last_moved)) return;
            if ((items[0].readable || items[0].failed) && !ReadBrowser(last_moved)) return;
        }
    }

    bool ToBrowserEmpty() const { return to_browser_.Empty() && (!splice_ || splice_->Buffered() == 0); }

    // The spliced bytes follow whatever the outbox still holds.
    bool DrainSplice(bool& moved) {
        if (!splice_ || splice_->Buffered() == 0 || !to_browser_.Empty()) return true;
        const auto n = splice_->Drain(browser_);
        if (n > 0) moved = true;
        return n >= 0 || net::LastCallWouldBlock();
    }

    bool ReadDest(Clock::time_point& last_moved) {
        if (splice_) {
            const auto n = splice_->Fill(dest_, splice_->Capacity() - splice_->Buffered());
            if (n < 0 && !net::LastCallWouldBlock() && splice_->Buffered() == 0 &&
                (net::LastError() == std::errc::invalid_argument ||
                 net::LastError() == std::errc::function_not_supported)) {
                // A socket the system cannot splice from: copy instead.
                splice_.reset();
                return ReadDest(last_moved);
            }
            return AfterDestRead(n, last_moved);
        }
        const auto n = dest_.Receive(block_.get(), kBlockSize);
        if (n > 0) {
            if (filter_) {
                filter_->Feed(block_.get(), static_cast<std::size_t>(n), to_browser_.Tail());
            } else {
                to_browser_.Append(block_.get(), static_cast<std::size_t>(n));
            }
        }
        return AfterDestRead(n, last_moved);
    }

    bool AfterDestRead(std::ptrdiff_t n, Clock::time_point& last_moved) {
        if (n < 0 && net::LastCallWouldBlock()) return true;
        if (n <= 0) {
            // A reset from the server ends the answer like an orderly close; in a tunnel it ends both ways.
            if (n < 0 && tunnel_) return false;
            dest_done_ = true;
            if (filter_) filter_->Finish(to_browser_.Tail());
            return true;
        }
        last_moved = Clock::now();
        return true;
    }

    bool ReadBrowser(Clock::time_point& last_moved) {
        const auto n = browser_.Receive(block_.get(), kBlockSize);
        if (n < 0 && net::LastCallWouldBlock()) return true;
        if (n < 0) return false;
        if (n == 0) {
            browser_done_ = true;
            // A request cut off inside its body is not worth finishing.
            return tunnel_ || body_->Done();
        }
        last_moved = Clock::now();
        const auto size = static_cast<std::size_t>(n);
        if (tunnel_) {
            to_dest_.Append(block_.get(), size);
            return true;
        }
        // One connection carries one request: whatever follows the body is read and dropped.
        to_dest_.Append(block_.get(), body_->Take(block_.get(), size));
        return !body_->Failed();
    }

    net::Socket browser_;
    net::Socket dest_;
    const RelaySettings& settings_;
    const RelayLimits& limits_;
    // Not cleared first: every read says how much of it holds data.
    std::unique_ptr<char[]> block_;
    Outbox to_dest_;
    Outbox to_browser_;
    std::optional<RequestBody> body_;
    std::optional<ResponseFilter> filter_;
    std::optional<net::SocketSplice> splice_;
    bool tunnel_ = false;
    bool browser_done_ = false;
    bool dest_done_ = false;
    bool browser_shut_ = false;
    bool dest_shut_ = false;
};

}  // namespace

void RunConnection(net::Socket browser, const RelaySettings& settings, const RelayLimits& limits) {
    Session(std::move(browser), settings, limits).Run();
}

}  // namespace vestrel::relay
