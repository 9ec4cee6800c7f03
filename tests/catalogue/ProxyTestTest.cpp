// Speed texts, the test dialog's result settings and "Test All Proxies" over a fake connect test,
// checked against testing the rows one after the other.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/ProxyTest.h"
#include "catalogue/ProxyText.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "tests/catalogue/CatalogueTestSupport.h"

namespace vestrel::catalogue {
namespace {

TEST(DerivedSpeedTest, TextsForOneTickAQuarterSecondAndATenth) {
    EXPECT_EQ(FormatDownloadSpeed(1), "1656.00 KB/sec");
    EXPECT_EQ(FormatDownloadSpeed(250), "6.62 KB/sec");
    EXPECT_EQ(FormatDownloadSpeed(100), "16.56 KB/sec");
    EXPECT_EQ(FormatResponseTime(1), "1 milliseconds");
    EXPECT_EQ(FormatTestedResponseTime(42), "42 miliseconds");
}

class RecordTestResultTest : public ::testing::Test {
  protected:
    testing::ScopedProgramValues values_{{"FAIL", "TMPResponseTime", "TMPDownloadSpeed", "ProxyName"}};
};

TEST_F(RecordTestResultTest, SuccessWritesEveryResultSetting) {
    const TestOutcome outcome = RecordTestResult(250, "1.2.3.4:8080->Canada");
    ASSERT_EQ(outcome.rows.size(), 3u);
    EXPECT_EQ(outcome.rows[0].description, "Get proxy response time");
    EXPECT_EQ(outcome.rows[0].response, "250 milliseconds");
    EXPECT_EQ(outcome.rows[1].description, "Get proxy download speed");
    EXPECT_EQ(outcome.rows[1].response, "6.62 KB/sec");
    EXPECT_EQ(outcome.rows[2].description, "Test Completed");
    EXPECT_EQ(outcome.rows[2].response, "Proxy ready");
    EXPECT_TRUE(outcome.progress_full);
    EXPECT_EQ(settings::RegDwordSetting(settings::kFail).get(), 0u);
    EXPECT_EQ(settings::RegStringSetting(settings::kProxyName).get(), "1.2.3.4:8080->Canada");
    const RecordedResult recorded = ReadRecordedResult();
    EXPECT_TRUE(recorded.passed);
    EXPECT_EQ(recorded.response_time, "250 milliseconds");
    EXPECT_EQ(recorded.download_speed, "6.62 KB/sec");
}

TEST_F(RecordTestResultTest, FailureLeavesSpeedAndProxyNameAsTheyWere) {
    RecordTestResult(1, "5.6.7.8:3128");
    const TestOutcome outcome = RecordTestResult(0, "9.9.9.9:1->X");
    ASSERT_EQ(outcome.rows.size(), 1u);
    EXPECT_EQ(outcome.rows[0].description, "Proxy server is NOT AVAILABLE");
    EXPECT_EQ(outcome.rows[0].response, "Connection Failure");
    EXPECT_FALSE(outcome.progress_full);
    EXPECT_EQ(settings::RegDwordSetting(settings::kFail).get(), 1u);
    EXPECT_EQ(settings::RegStringSetting(settings::kTmpResponseTime).get(), "");
    EXPECT_EQ(settings::RegStringSetting(settings::kTmpDownloadSpeed).get(), "1656.00 KB/sec");
    EXPECT_EQ(settings::RegStringSetting(settings::kProxyName).get(), "5.6.7.8:3128");
    EXPECT_FALSE(ReadRecordedResult().passed);
}

// What "Test All Proxies" gives when the rows are tested one after the other: the reference.
struct RunRecord {
    std::vector<TestedRow> rows;
    std::vector<std::vector<TestedRow>> saves;
    std::vector<std::string> statuses;
};

using FakeTimes = std::map<std::string, std::uint32_t>;  // "host:port" -> connect time, 0 = unreachable

std::uint32_t FakeTime(const FakeTimes& times, const std::string& host, std::int32_t port) {
    const auto found = times.find(AddressKey(host, port));
    return found == times.end() ? 0 : found->second;
}

RunRecord TestOneAfterTheOther(TestedList list, const FakeTimes& times) {
    RunRecord record;
    std::size_t i = 0;
    while (i < list.RowCount()) {
        const std::string text = list.Cell(i, kAddressColumn) + "->" + list.Cell(i, kCountryColumn);
        const std::uint32_t t = FakeTime(times, ProxyHost(text), ProxyPort(text));
        if (t != 0) {
            list.SetCell(i, kResponseTimeColumn, std::to_string(t) + " miliseconds");
            list.SetCell(i, kDownloadSpeedColumn, FormatDownloadSpeed(t));
            ++i;
        } else {
            list.DeleteRow(i);
            record.saves.push_back(list.Rows());
            record.statuses.emplace_back("Test failed - proxy removed");
        }
    }
    record.rows = list.Rows();
    return record;
}

RunRecord TestAllInParallel(TestedList list, const FakeTimes& times) {
    RunRecord record;
    std::mutex mutex;
    TestAllHooks hooks;
    hooks.connect_time = [&](const std::string& host, std::int32_t port) {
        // Later rows finish first, so the order of results differs from the order of rows.
        std::this_thread::sleep_for(std::chrono::microseconds(port % 7 * 300));
        return FakeTime(times, host, port);
    };
    hooks.save_list = [&](const TestedList& saved) {
        std::lock_guard lock(mutex);
        record.saves.push_back(saved.Rows());
        return std::error_code();
    };
    hooks.show_status = [&](std::string_view text) { record.statuses.emplace_back(text); };
    EXPECT_FALSE(TestAllProxies(list, hooks));
    record.rows = list.Rows();
    return record;
}

TEST(TestAllProxiesTest, GivesWhatTestingOneAfterTheOtherGives) {
    TestedList list;
    FakeTimes times;
    for (int i = 0; i < 150; ++i) {
        const std::string address =
            "10.0.0." + std::to_string(i % 120) + ":" + std::to_string(1000 + i % 120);
        // Rows 120 and on repeat addresses; odd-ish ones are unreachable, runs of failures included.
        list.AppendRow({address, "Land" + std::to_string(i), "Not Tested", ""});
        if (i % 3 != 1 && i % 17 != 0 && (i < 40 || i > 55))
            times[address] = static_cast<std::uint32_t>(1 + i);
    }
    list.AppendRow({"no colon", "X", "", ""});
    list.AppendRow({"10.0.0.5:1005", "", "", ""});

    const RunRecord expected = TestOneAfterTheOther(list, times);
    const RunRecord got = TestAllInParallel(list, times);
    EXPECT_EQ(got.rows, expected.rows);
    EXPECT_EQ(got.saves, expected.saves);
    EXPECT_EQ(got.statuses, expected.statuses);
    ASSERT_FALSE(expected.saves.empty());
}

TEST(TestAllProxiesTest, ASaveErrorEndsTheRunWithTheRowAlreadyRemoved) {
    TestedList list;
    for (const char* address : {"a:1", "b:2", "c:3", "d:4"}) list.AppendRow({address, "", "Not Tested", ""});
    TestAllHooks hooks;
    hooks.connect_time = [](const std::string& host, std::int32_t) -> std::uint32_t {
        return host == "b" ? 0 : 9;
    };
    int saves = 0;
    hooks.save_list = [&](const TestedList&) {
        ++saves;
        return std::make_error_code(std::errc::no_space_on_device);
    };
    EXPECT_EQ(TestAllProxies(list, hooks), std::make_error_code(std::errc::no_space_on_device));
    EXPECT_EQ(saves, 1);
    ASSERT_EQ(list.RowCount(), 3u);
    EXPECT_EQ(list.Cell(0, kResponseTimeColumn), "9 miliseconds");
    EXPECT_EQ(list.Cell(1, kAddressColumn), "c:3");
    EXPECT_EQ(list.Cell(1, kResponseTimeColumn), "Not Tested");
}

TEST(TestAllProxiesTest, RunsUpToOneHundredTwentyEightTestsAtOnceAndNoMore) {
    TestedList list;
    for (int i = 0; i < 300; ++i) list.AppendRow({"h:" + std::to_string(i + 1), "", "", ""});
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    TestAllHooks hooks;
    hooks.connect_time = [&](const std::string&, std::int32_t) -> std::uint32_t {
        const int now = ++running;
        for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        --running;
        return 3;
    };
    EXPECT_FALSE(TestAllProxies(list, hooks));
    EXPECT_LE(most.load(), 128);
    EXPECT_GE(most.load(), 64);
    EXPECT_EQ(list.Cell(299, kResponseTimeColumn), "3 miliseconds");
}

// A run cancelled part-way leaves what testing one row after the other would have left had it stopped
// at the first row not yet tested, whatever order the tests ended in; and a list changed while the
// tests ran still gets each outcome on its own row.
TEST(TestAllRunTest, CancelKeepsTheLeadingTestedRowsAndChangesFollowTheirRows) {
    TestedList list;
    FakeTimes times;
    for (int i = 0; i < 12; ++i) {
        const std::string address = "h" + std::to_string(i) + ":" + std::to_string(100 + i);
        list.AppendRow({address, "C" + std::to_string(i), "Not Tested", ""});
        if (i % 3 != 1) times[address] = static_cast<std::uint32_t>(10 + i);
    }
    {
        TestAllRun run(list);
        std::mutex mutex;
        std::condition_variable wake;
        bool release = false;
        // Rows 0 to 5 end at once, row 6 is held back until the run is cancelled, rows 7 on also end.
        std::thread tester([&] {
            run.Test(
                [&](const std::string& host, std::int32_t port) {
                    if (host == "h6") {
                        std::unique_lock lock(mutex);
                        wake.wait(lock, [&] { return release; });
                    }
                    return FakeTime(times, host, port);
                },
                4);
        });
        for (int i = 0; i < 2000 && run.Done() < 9; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        run.Cancel();
        TestedList got = list;
        std::vector<std::string> statuses;
        TestAllHooks hooks;
        hooks.show_status = [&](std::string_view text) { statuses.emplace_back(text); };
        EXPECT_FALSE(run.Apply(got, hooks));
        {
            std::lock_guard lock(mutex);
            release = true;
        }
        wake.notify_all();
        tester.join();

        TestedList leading;
        for (std::size_t i = 0; i < 6; ++i) leading.AppendRow(list.Row(i));
        const RunRecord expected = TestOneAfterTheOther(leading, times);
        ASSERT_EQ(got.RowCount(), expected.rows.size() + 6);
        for (std::size_t i = 0; i < expected.rows.size(); ++i) EXPECT_EQ(got.Row(i), expected.rows[i]);
        for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(got.Row(expected.rows.size() + i), list.Row(6 + i));
        EXPECT_EQ(statuses, expected.statuses);
    }
    {
        TestAllRun run(list);
        run.Test([&](const std::string& host, std::int32_t port) { return FakeTime(times, host, port); });
        EXPECT_EQ(run.Done(), 12u);
        TestedList changed = list;
        changed.DeleteRow(3);                                    // removed meanwhile: passed over
        changed.InsertRow(0, {"new:1", "N", "Not Tested", ""});  // added meanwhile: left alone
        EXPECT_FALSE(run.Apply(changed, {}));
        ASSERT_EQ(changed.RowCount(), 1u + 7u);
        EXPECT_EQ(changed.Cell(0, kAddressColumn), "new:1");
        EXPECT_EQ(changed.Cell(0, kResponseTimeColumn), "Not Tested");
        EXPECT_EQ(changed.Cell(1, kAddressColumn), "h0:100");
        EXPECT_EQ(changed.Cell(1, kResponseTimeColumn), "10 miliseconds");
        EXPECT_EQ(changed.Cell(7, kAddressColumn), "h11:111");
        EXPECT_EQ(changed.Cell(7, kResponseTimeColumn), "21 miliseconds");
    }
}

TEST(TestAllProxiesTest, AnEmptyListNeedsNoThreads) {
    TestedList list;
    TestAllHooks hooks;
    hooks.connect_time = [](const std::string&, std::int32_t) -> std::uint32_t {
        ADD_FAILURE() << "no row to test";
        return 0;
    };
    EXPECT_FALSE(TestAllProxies(list, hooks));
}

}  // namespace
}  // namespace vestrel::catalogue
