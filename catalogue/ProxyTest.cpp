// Timing connects, the test result settings and the parallel "Test All Proxies".
#include "catalogue/ProxyTest.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <thread>

#include "catalogue/ProxyText.h"
#include "platform/http/HostLookup.h"
#include "platform/net/Socket.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::catalogue {

std::uint32_t ConnectTime(const std::string& host, std::int32_t port, std::chrono::milliseconds limit) {
    // htons would fold 65616 into 80: a port that no TCP connection can have is not tried at all.
    if (port < 1 || port > 65535) return 0;
    const std::optional<std::string> address = platform::http::LookupIPv4(host);
    if (!address) return 0;
    std::error_code error;
    const auto began = std::chrono::steady_clock::now();
    platform::net::Socket socket =
        platform::net::ConnectTcp(*address, static_cast<std::uint16_t>(port), limit, error);
    const auto took = std::chrono::steady_clock::now() - began;
    if (!socket.Valid()) return 0;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
    return static_cast<std::uint32_t>(std::max<std::int64_t>(ms, 1));
}

double DerivedSpeed(std::uint32_t connect_ms) { return 1.6171875 / static_cast<double>(connect_ms) * 1024; }

std::string FormatDownloadSpeed(std::uint32_t connect_ms) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.02f KB/sec", DerivedSpeed(connect_ms));
    return text;
}

std::string FormatResponseTime(std::uint32_t connect_ms) {
    return std::to_string(connect_ms) + " milliseconds";
}

std::string FormatTestedResponseTime(std::uint32_t connect_ms) {
    return std::to_string(connect_ms) + " miliseconds";
}

std::string TextAsJudged(std::string_view text, const JudgeResult& judged) {
    if (!judged.spoke || judged.protocol == ProxyProtocolOf(text)) return std::string(text);
    return ProxyTextOf(judged.protocol, ProxyUser(text), ProxyPassword(text), ProxyHost(text),
                       ProxyPort(text), ProxyCountry(text));
}

TestOutcome RecordTestResult(std::uint32_t connect_ms, std::string_view source_text,
                             const std::optional<JudgeResult>& judged) {
    TestOutcome outcome;
    settings::RegStringSetting response_time(settings::kTmpResponseTime);
    settings::RegDwordSetting fail(settings::kFail);
    if (connect_ms != 0) {
        const std::string time_text = FormatResponseTime(connect_ms);
        const std::string speed_text = FormatDownloadSpeed(connect_ms);
        outcome.rows.push_back({"Get proxy response time", time_text});
        response_time.set(time_text);
        outcome.rows.push_back({"Get proxy download speed", speed_text});
        outcome.progress_full = true;
        settings::RegStringSetting(settings::kTmpDownloadSpeed).set(speed_text);
        outcome.rows.push_back({"Test Completed", "Proxy ready"});
        if (judged) {
            outcome.rows.push_back({std::string(kGradeTask), std::string(GradeText(judged->grade))});
            outcome.rows.push_back(
                {std::string(kHttpsTask), std::string(judged->https ? kHttpsSupported : kHttpsNotSupported)});
        }
        fail.set(0);
        // A proxy that shows the user's address becomes the one in use only once the user said yes to it.
        if (!judged || !GradeNeedsConfirmation(judged->grade))
            settings::RegStringSetting(settings::kProxyName)
                .set(judged ? TextAsJudged(source_text, *judged) : std::string(source_text));
    } else {
        outcome.rows.push_back({"Proxy server is NOT AVAILABLE", "Connection Failure"});
        response_time.set("");
        fail.set(1);
    }
    return outcome;
}

RecordedResult ReadRecordedResult() {
    RecordedResult result;
    result.response_time = settings::RegStringSetting(settings::kTmpResponseTime).get();
    result.download_speed = settings::RegStringSetting(settings::kTmpDownloadSpeed).get();
    result.passed = settings::RegDwordSetting(settings::kFail).get() != 1 && !result.response_time.empty();
    return result;
}

TestAllRun::TestAllRun(const TestedList& list) {
    targets_.reserve(list.RowCount());
    for (const TestedRow& row : list.Rows()) {
        const std::string text = row[kAddressColumn] + std::string(kCountryArrow) + row[kCountryColumn];
        targets_.push_back({row[kAddressColumn], row[kCountryColumn], ProxyRouteOf(text)});
    }
    times_ = std::make_unique<std::atomic<std::int64_t>[]>(targets_.size());
    judged_.resize(targets_.size());
    for (std::size_t i = 0; i < targets_.size(); ++i) times_[i] = kNotTested;
}

void TestAllRun::Test(const ConnectTimeFunction& connect_time, std::size_t max_parallel,
                      const JudgeFunction& judge) {
    const auto worker = [&] {
        for (std::size_t i = next_++; i < targets_.size() && !cancelled_; i = next_++) {
            std::uint32_t t = 0;
            try {
                const ProxyRoute& route = targets_[i].route;
                t = connect_time ? connect_time(route.host, route.port) : ConnectTime(route.host, route.port);
            } catch (...) {
                // A test that cannot be run is a failed test.
                t = 0;
            }
            if (t != 0 && judge && !cancelled_) {
                try {
                    judged_[i] = judge(targets_[i].route, cancelled_);
                } catch (...) {
                    // The row keeps its connect figures and goes without a grade.
                }
            }
            times_[i] = t;
            ++done_;
        }
    };
    const std::size_t thread_count = std::min(std::max<std::size_t>(max_parallel, 1), targets_.size());
    std::vector<std::thread> threads;
    threads.reserve(thread_count);
    for (std::size_t t = 0; t < thread_count; ++t) {
        try {
            threads.emplace_back(worker);
        } catch (const std::system_error&) {
            break;  // fewer threads only make the run slower
        }
    }
    if (threads.empty()) worker();
    for (std::thread& thread : threads) thread.join();
}

std::error_code TestAllRun::Apply(TestedList& list, const TestAllHooks& hooks) const {
    // Each row is tested exactly once however the rows move, so applying the outcomes in row order
    // gives what testing them one after the other gives. `row` follows the row the sequential rule
    // would test next; it only skips ahead when the list was changed while the tests ran.
    std::size_t row = 0;
    for (std::size_t i = 0; i < targets_.size(); ++i) {
        const std::int64_t t = times_[i];
        if (t == kNotTested) break;
        std::size_t found = row;
        while (found < list.RowCount() && (list.Cell(found, kAddressColumn) != targets_[i].address ||
                                           list.Cell(found, kCountryColumn) != targets_[i].country)) {
            ++found;
        }
        if (found >= list.RowCount()) continue;
        row = found;
        if (t != 0) {
            const auto ms = static_cast<std::uint32_t>(t);
            list.SetCell(row, kResponseTimeColumn, FormatTestedResponseTime(ms));
            list.SetCell(row, kDownloadSpeedColumn, FormatDownloadSpeed(ms));
            if (const std::optional<JudgeResult>& judged = judged_[i]) {
                list.SetCell(row, kGradeColumn, std::string(GradeText(judged->grade)));
                std::string address = targets_[i].address;
                const ProxyRoute& route = targets_[i].route;
                if (judged->spoke && judged->protocol != route.protocol) {
                    // The row is kept as the protocol it answered in.
                    address =
                        ProxyTextOf(judged->protocol, route.user, route.password, route.host, route.port, "");
                    list.SetCell(row, kAddressColumn, address);
                    if (hooks.save_list) {
                        if (const std::error_code error = hooks.save_list(list)) return error;
                    }
                }
                if (hooks.grade) hooks.grade(address, judged);
            }
            ++row;
            continue;
        }
        list.DeleteRow(row);
        if (hooks.grade) hooks.grade(targets_[i].address, std::nullopt);
        if (hooks.save_list) {
            if (const std::error_code error = hooks.save_list(list)) return error;
        }
        if (hooks.show_status) hooks.show_status(kTestFailedStatus);
    }
    return {};
}

std::error_code TestAllProxies(TestedList& list, const TestAllHooks& hooks, std::size_t max_parallel,
                               const JudgeFunction& judge) {
    TestAllRun run(list);
    run.Test(hooks.connect_time, max_parallel, judge);
    return run.Apply(list, hooks);
}

}  // namespace vestrel::catalogue
