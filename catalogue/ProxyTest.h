// Proxy tests: one timed TCP connect to the proxy (nothing is sent), the download speed derived from
// it, the judge's grade of a proxy that answered, the settings through which the test dialog reports
// its result, and "Test All Proxies".
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "catalogue/ProxyJudge.h"
#include "catalogue/TestedList.h"

namespace vestrel::catalogue {

// The longest a proxy may take to accept a connection before it counts as unreachable.
inline constexpr std::chrono::milliseconds kConnectTimeLimit{5000};

// The connect time to host:port in milliseconds (at least 1, measured with a monotonic clock, name
// lookup not included), or 0 when the proxy cannot be reached within `limit`: unknown host, refused,
// silent, or a port outside 1..65535.
std::uint32_t ConnectTime(const std::string& host, std::int32_t port,
                          std::chrono::milliseconds limit = kConnectTimeLimit);

// 1.6171875 / t * 1024 KB/sec for a connect time of t ms (so 1656 / t).
double DerivedSpeed(std::uint32_t connect_ms);
// "%.02f KB/sec" of the derived speed.
std::string FormatDownloadSpeed(std::uint32_t connect_ms);
// "%d milliseconds": the test dialog's text, stored in TMPResponseTime.
std::string FormatResponseTime(std::uint32_t connect_ms);
// "%d miliseconds": the Tested list's text after "Test All Proxies", spelt as the program always has.
std::string FormatTestedResponseTime(std::uint32_t connect_ms);

// One row of the test dialog's task list.
struct TaskRow {
    std::string description;
    std::string response;
};

inline constexpr std::string_view kGradeTask = "Anonymity level";
inline constexpr std::string_view kHttpsTask = "HTTPS";
inline constexpr std::string_view kHttpsSupported = "supported";
inline constexpr std::string_view kHttpsNotSupported = "not supported";

// The proxy text `text` in the protocol the check `judged` found it answering in: the scheme changed,
// credentials, address and country kept; unchanged when it answered in none.
std::string TextAsJudged(std::string_view text, const JudgeResult& judged);

// What the test dialog's Start button shows and records for a connect time `connect_ms` (0: failed).
// On success: three rows, then, when the proxy was judged, "Anonymity level" with its grade and
// "HTTPS" with "supported" or "not supported"; the progress bar at 100, FAIL 0, TMPResponseTime,
// TMPDownloadSpeed and ProxyName (the source text in the protocol it answered in, TextAsJudged; left
// as it was for a grade that needs the user's confirmation, which the caller asks for). On failure: one row,
// TMPResponseTime emptied and FAIL 1.
struct TestOutcome {
    std::vector<TaskRow> rows;
    bool progress_full = false;
};
TestOutcome RecordTestResult(std::uint32_t connect_ms, std::string_view source_text,
                             const std::optional<JudgeResult>& judged = std::nullopt);

// What the caller of the test dialog reads after it ended with OK: the test passed when FAIL is not 1
// and TMPResponseTime is not empty.
struct RecordedResult {
    bool passed = false;
    std::string response_time;
    std::string download_speed;
    // The tested text in the protocol the proxy answered in (TextAsJudged), as the row and the relay
    // are to keep it; set by the test dialog, empty when it did not judge the proxy.
    std::string proxy_text;
};
RecordedResult ReadRecordedResult();

inline constexpr std::string_view kTestFailedStatus = "Test failed - proxy removed";
// Enough for a list with a hundred silent proxies to be over in about one time limit.
inline constexpr std::size_t kMaxParallelTests = 128;

using ConnectTimeFunction = std::function<std::uint32_t(const std::string& host, std::int32_t port)>;
// The judge check of a proxy that accepted the connect (JudgeProxy: in every protocol it may speak);
// `cancel` is set once the run is cancelled.
using JudgeFunction = std::function<JudgeResult(const ProxyRoute& proxy, const std::atomic<bool>& cancel)>;

struct TestAllHooks {
    // The connect test; ConnectTime when empty. Called from several threads at once.
    ConnectTimeFunction connect_time;
    // Saves the list after a failed row is removed (SaveTestedList); its error ends the run.
    std::function<std::error_code(const TestedList& list)> save_list;
    // Shows a text in the main window's status line for the address in use, and repaints.
    std::function<void(std::string_view text)> show_status;
    // Told the judge's result of each reachable row that was judged, and (with nothing) of each row
    // removed as unreachable, so that the grades follow the list.
    std::function<void(const std::string& address, const std::optional<JudgeResult>& result)> grade;
};

// One run of "Test All Proxies" over the rows the list had when the run was made. Testing may run on
// any thread (up to `max_parallel` connects at once) while another thread reads the progress, cancels,
// and applies the outcomes to the list.
class TestAllRun {
  public:
    explicit TestAllRun(const TestedList& list);
    TestAllRun(const TestAllRun&) = delete;
    TestAllRun& operator=(const TestAllRun&) = delete;

    // Tests the rows, blocking until every row is tested or, after Cancel, the tests under way end.
    // With `judge`, a row that accepted the connect is judged next on the same worker, before it
    // counts as done.
    void Test(const ConnectTimeFunction& connect_time, std::size_t max_parallel = kMaxParallelTests,
              const JudgeFunction& judge = nullptr);
    // No further row is started; the tests under way still finish.
    void Cancel() { cancelled_ = true; }
    bool Cancelled() const { return cancelled_; }

    std::size_t Total() const { return targets_.size(); }
    // Rows whose test has ended.
    std::size_t Done() const { return done_; }

    // Applies, in row order, the outcomes of the leading rows already tested, as testing one row after
    // the other would have left the list: a reachable row gets its "%d miliseconds" and "%.02f KB/sec"
    // (and, when judged, its grade, told to hooks.grade; a row that answered only in another protocol
    // than its address says gets that protocol's address, and the list is saved), an unreachable one
    // is removed (told to
    // hooks.grade), the list saved and the status line set. Rows after the first one
    // not yet tested keep their figures. A row that was moved or removed meanwhile is passed over.
    // A save error stops there and is returned.
    std::error_code Apply(TestedList& list, const TestAllHooks& hooks) const;

  private:
    struct Target {
        std::string address;
        std::string country;
        ProxyRoute route;
    };
    static constexpr std::int64_t kNotTested = -1;

    std::vector<Target> targets_;
    std::unique_ptr<std::atomic<std::int64_t>[]> times_;
    // Written by the row's worker before its time, read only after the time is seen.
    std::vector<std::optional<JudgeResult>> judged_;
    std::atomic<std::size_t> next_{0};
    std::atomic<std::size_t> done_{0};
    std::atomic<bool> cancelled_{false};
};

// "Test All Proxies" from start to end on the calling thread: every row tested (up to
// kMaxParallelTests connects at once, each judged with `judge` when given), then the outcomes applied as
// TestAllRun::Apply does.
std::error_code TestAllProxies(TestedList& list, const TestAllHooks& hooks,
                               std::size_t max_parallel = kMaxParallelTests,
                               const JudgeFunction& judge = nullptr);

}  // namespace vestrel::catalogue
