// The content filter's pass over one answer.
#include "relay/ResponseFilter.h"

#include "relay/HttpHead.h"

namespace vestrel::relay {

void ResponseFilter::Feed(const char* data, std::size_t size, std::string& out) {
    while (size > 0) {
        if (mode_ == Mode::PassThrough) {
            out.append(data, size);
            return;
        }
        if (mode_ == Mode::Body) {
            FeedBody(data, size, out);
            return;
        }
        const std::size_t searched = pending_.size() >= 3 ? pending_.size() - 3 : 0;
        pending_.append(data, size);
        size = 0;
        const auto end = FindHeadEnd(std::string_view(pending_).substr(searched));
        if (!end) {
            // A head this long is no page head worth filtering; it goes on untouched.
            if (pending_.size() > kMaxHeadBytes) {
                mode_ = Mode::PassThrough;
                out += pending_;
                pending_.clear();
            }
            return;
        }
        const std::size_t head_size = searched + *end;
        const auto head = ParseResponseHead(std::string_view(pending_).substr(0, head_size));
        out.append(pending_, 0, head_size);
        const std::string rest = pending_.substr(head_size);
        pending_.clear();
        if (head && head->status >= 100 && head->status < 200 && head->status != 101) {
            // An interim answer ("100 Continue"); the real head follows.
        } else if (head && head->textual) {
            mode_ = Mode::Body;
            chunked_ = head->chunked;
        } else {
            mode_ = Mode::PassThrough;
        }
        if (!rest.empty()) Feed(rest.data(), rest.size(), out);
        return;
    }
}

void ResponseFilter::FeedBody(const char* data, std::size_t size, std::string& out) {
    const std::size_t base = pending_.size();
    pending_.append(data, size);
    if (chunked_) {
        decoder_.Feed(pending_.data() + base, size, [&](std::size_t offset, std::size_t length) {
            filter_.apply(pending_.data(), base + offset, base + offset + length);
        });
    } else {
        filter_.apply(pending_.data(), base, pending_.size());
    }
    if (chunked_ && (decoder_.Done() || decoder_.Failed())) {
        // Past the last chunk (or past framing that makes no sense) no tag can finish any more.
        filter_.reset();
        out += pending_;
        pending_.clear();
        mode_ = Mode::PassThrough;
        return;
    }
    const std::size_t release = filter_.heldFrom().value_or(pending_.size());
    out.append(pending_, 0, release);
    pending_.erase(0, release);
    filter_.rebase(release);
}

void ResponseFilter::Finish(std::string& out) {
    filter_.reset();
    out += pending_;
    pending_.clear();
}

}  // namespace vestrel::relay
