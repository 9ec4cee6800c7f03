// One answer's way from the server to the browser.
#include "relay/ResponseStream.h"

#include <algorithm>
#include <limits>

namespace vestrel::relay {

std::size_t ResponseStream::Feed(const char* data, std::size_t size, std::string& out) {
    if (size > 0) started_ = true;
    std::size_t used = 0;
    while (used < size) {
        if (state_ == State::Head) {
            used += FeedHead(data + used, size - used, out);
        } else if (state_ == State::Body) {
            used += FeedBody(data + used, size - used, out);
        } else {
            break;
        }
    }
    return used;
}

std::size_t ResponseStream::FeedHead(const char* data, std::size_t size, std::string& out) {
    const std::size_t before = pending_.size();
    const std::size_t searched = before >= 3 ? before - 3 : 0;
    pending_.append(data, size);
    const auto end = FindHeadEnd(std::string_view(pending_).substr(searched));
    if (!end) {
        if (pending_.size() > kMaxHeadBytes) {
            // No head a browser could read: pass it all on and end with the connection.
            out += pending_;
            pending_.clear();
            state_ = State::Body;
            framing_ = AnswerFraming::Close;
        }
        return size;
    }
    const std::size_t head_size = searched + *end;
    const std::size_t used = head_size - before;
    const std::string_view head_text = std::string_view(pending_).substr(0, head_size);
    const auto head = ParseResponseHead(head_text);
    if (!head) {
        // Not HTTP: relayed as it comes, up to the close.
        out += pending_.substr(0, head_size);
        framing_ = AnswerFraming::Close;
    } else if (head->status == 101) {
        out += head_text;
        pending_.clear();
        state_ = State::Tunnel;
        return used;
    } else if (head->status >= 100 && head->status < 200) {
        // An interim answer ("100 Continue") goes on as it is; the real head follows.
        out += head_text;
        pending_.clear();
        return used;
    } else {
        framing_ = FramingOf(*head, head_request_);
        const bool exact = framing_ != AnswerFraming::Close;
        keeps_browser_ = keep_alive_allowed_ && exact;
        server_keeps_alive_ = exact && !head->closes;
        filtering_ = filter_.Enabled() && head->textual && framing_ != AnswerFraming::None;
        remaining_ = head->content_length.value_or(0);
        out += RewriteResponseHead(head_text, keeps_browser_);
    }
    pending_.clear();
    state_ = State::Body;
    if (framing_ == AnswerFraming::None || (framing_ == AnswerFraming::Length && remaining_ == 0))
        state_ = State::Done;
    return used;
}

std::size_t ResponseStream::FeedBody(const char* data, std::size_t size, std::string& out) {
    switch (framing_) {
        case AnswerFraming::Length: {
            const auto taken = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, size));
            Filter(data, taken, out);
            remaining_ -= taken;
            if (remaining_ == 0) {
                Release(out);
                state_ = State::Done;
            }
            return taken;
        }
        case AnswerFraming::Chunked: {
            std::size_t taken = 0;
            if (filtering_) {
                const std::size_t base = pending_.size();
                pending_.append(data, size);
                taken =
                    decoder_.Feed(pending_.data() + base, size, [&](std::size_t offset, std::size_t length) {
                        filter_.apply(pending_.data(), base + offset, base + offset + length);
                    });
                // Bytes past the end of the body are not this answer's.
                pending_.resize(base + taken);
                const std::size_t release = filter_.heldFrom().value_or(pending_.size());
                out.append(pending_, 0, release);
                pending_.erase(0, release);
                filter_.rebase(release);
            } else {
                taken = decoder_.Feed(data, size, nullptr);
                out.append(data, taken);
            }
            if (decoder_.Failed()) {
                // Where this body ends can no longer be known; it is cut here.
                Release(out);
                state_ = State::Failed;
                keeps_browser_ = false;
                server_keeps_alive_ = false;
                return size;
            }
            if (decoder_.Done()) {
                Release(out);
                state_ = State::Done;
            }
            return taken;
        }
        case AnswerFraming::Close:
            Filter(data, size, out);
            return size;
        case AnswerFraming::None:
            break;
    }
    state_ = State::Done;
    return 0;
}

void ResponseStream::Filter(const char* data, std::size_t size, std::string& out) {
    if (!filtering_) {
        out.append(data, size);
        return;
    }
    const std::size_t base = pending_.size();
    pending_.append(data, size);
    filter_.apply(pending_.data(), base, pending_.size());
    const std::size_t release = filter_.heldFrom().value_or(pending_.size());
    out.append(pending_, 0, release);
    pending_.erase(0, release);
    filter_.rebase(release);
}

// The body ended: an unfinished tag stays as it is.
void ResponseStream::Release(std::string& out) {
    filter_.reset();
    out += pending_;
    pending_.clear();
}

void ResponseStream::Finish(std::string& out) { Release(out); }

std::uint64_t ResponseStream::PassThroughAllowance() const {
    if (state_ != State::Body || filtering_ || !pending_.empty()) return 0;
    if (framing_ == AnswerFraming::Length) return remaining_;
    if (framing_ == AnswerFraming::Close) return std::numeric_limits<std::uint64_t>::max();
    return 0;
}

void ResponseStream::PassedThrough(std::size_t size) {
    if (size > 0) started_ = true;
    if (framing_ != AnswerFraming::Length) return;
    remaining_ -= std::min<std::uint64_t>(remaining_, size);
    if (remaining_ == 0) state_ = State::Done;
}

}  // namespace vestrel::relay
