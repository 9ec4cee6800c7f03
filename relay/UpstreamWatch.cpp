// Counting an upstream's failures in a row.
#include "relay/UpstreamWatch.h"

#include <utility>

namespace vestrel::relay {

namespace {
std::string Key(std::string_view host, std::uint16_t port) {
    return std::string(host) + ":" + std::to_string(port);
}
}  // namespace

void UpstreamWatch::SetHandler(Handler handler) {
    const std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void UpstreamWatch::Failed(std::string_view host, std::uint16_t port) {
    Handler handler;
    std::string upstream = Key(host, port);
    {
        const std::lock_guard lock(mutex_);
        const Clock::time_point now = Clock::now();
        // Failures of another upstream, or older than the window, do not add up with this one.
        if (upstream != upstream_ || failures_ == 0 || now - first_failure_ > kWindow) {
            upstream_ = upstream;
            failures_ = 0;
            first_failure_ = now;
        }
        ++failures_;
        counting_ = true;
        if (failures_ < kThreshold || reported_ || !handler_) return;
        reported_ = true;
        handler = handler_;
    }
    // Outside the lock: the handler may call back into the watch.
    handler(upstream);
}

void UpstreamWatch::Answered(std::string_view host, std::uint16_t port) {
    if (!counting_.load(std::memory_order_relaxed)) return;
    const std::lock_guard lock(mutex_);
    if (upstream_ == Key(host, port)) {
        failures_ = 0;
        counting_ = false;
    }
}

void UpstreamWatch::Rearm() {
    const std::lock_guard lock(mutex_);
    failures_ = 0;
    counting_ = false;
    upstream_.clear();
    reported_ = false;
}

UpstreamWatch& TheUpstreamWatch() {
    static UpstreamWatch watch;
    return watch;
}

}  // namespace vestrel::relay
