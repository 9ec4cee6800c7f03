// Reads one answer as it streams from the server to the browser: finds exactly where it ends (by
// length, by chunks, by close, or not at all for HEAD, 1xx, 204 and 304), rewrites its head to tell
// the browser truthfully whether the connection stays open, and runs the content filter over a page's
// body, holding back the bytes of a tag not yet decided.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "relay/ChunkedDecoder.h"
#include "relay/ContentFilter.h"
#include "relay/HttpHead.h"

namespace vestrel::relay {

class ResponseStream {
  public:
    ResponseStream(bool head_request, FilterSwitches switches)
        : head_request_(head_request), filter_(switches) {}

    // Whether the browser's connection may stay open after this answer, as far as the browser and the
    // request are concerned; read when the final head arrives.
    void AllowKeepAlive(bool allowed) { keep_alive_allowed_ = allowed; }

    // Takes the next bytes from the server and appends to `out` what goes to the browser. Returns how
    // many bytes belong to this answer: fewer than `size` once it is done, or once a 101 turned the
    // connection into a tunnel (the rest is tunnel data).
    std::size_t Feed(const char* data, std::size_t size, std::string& out);
    // The server closed: whatever is held goes out as it is.
    void Finish(std::string& out);

    bool Started() const { return started_; }
    bool Done() const { return state_ == State::Done; }
    // The answer's framing broke (a bad chunk size): nothing more may be read from this server.
    bool Failed() const { return state_ == State::Failed; }
    bool Tunnel() const { return state_ == State::Tunnel; }
    // What the head sent to the browser said about its connection.
    bool KeepsBrowser() const { return keeps_browser_; }
    // The server's connection may carry another request once this answer is done.
    bool ServerKeepsAlive() const { return server_keeps_alive_; }

    // How many of the next bytes may go to the browser without being looked at (a body of known length
    // or one up to the close, with the filter off); the caller moves them itself and reports them.
    std::uint64_t PassThroughAllowance() const;
    void PassedThrough(std::size_t size);

    // Bytes held back: an unfinished head, or the bytes of an unfinished tag.
    std::size_t Held() const { return pending_.size(); }

  private:
    enum class State { Head, Body, Done, Tunnel, Failed };

    std::size_t FeedHead(const char* data, std::size_t size, std::string& out);
    std::size_t FeedBody(const char* data, std::size_t size, std::string& out);
    void Filter(const char* data, std::size_t size, std::string& out);
    void Release(std::string& out);

    const bool head_request_;
    bool keep_alive_allowed_ = false;
    State state_ = State::Head;
    AnswerFraming framing_ = AnswerFraming::Close;
    bool filtering_ = false;
    bool started_ = false;
    bool keeps_browser_ = false;
    bool server_keeps_alive_ = false;
    std::uint64_t remaining_ = 0;
    std::string pending_;
    ContentFilter filter_;
    ChunkedDecoder decoder_;
};

}  // namespace vestrel::relay
