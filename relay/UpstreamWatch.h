// Watches the upstream proxy in use for the relay's connections: a proxy that fails several times in
// a row within a short time is reported, once, so that the program can move to another one. Fed by the
// connection threads; the report is made on the thread of the failure that completed it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace vestrel::relay {

class UpstreamWatch {
  public:
    // Told "host:port" of an upstream that failed `threshold` times within `window`, with no answer
    // from it in between.
    using Handler = std::function<void(const std::string& upstream)>;

    static constexpr std::size_t kThreshold = 3;
    static constexpr std::chrono::seconds kWindow{30};

    void SetHandler(Handler handler);
    // The upstream could not be reached, refused, or closed before the first byte of its answer.
    void Failed(std::string_view host, std::uint16_t port);
    // The upstream answered: its count starts again.
    void Answered(std::string_view host, std::uint16_t port);
    // After the owner acted on a report: counting starts afresh and a new report can be made.
    void Rearm();

  private:
    using Clock = std::chrono::steady_clock;
    std::mutex mutex_;
    Handler handler_;
    std::string upstream_;
    std::size_t failures_ = 0;
    Clock::time_point first_failure_{};
    bool reported_ = false;
    // Lets an answer pass without the lock while nothing has failed (the usual case).
    std::atomic<bool> counting_{false};
};

// The watch over the process-wide relay's upstream.
UpstreamWatch& TheUpstreamWatch();

}  // namespace vestrel::relay
