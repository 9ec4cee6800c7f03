// The WorkerThread base: the order of the calls, the argument, the exit code and the stop request.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "platform/thread/WorkerThread.h"

namespace vestrel::platform {
namespace {

class RecordingWorker : public WorkerThread {
  public:
    void OnStart() override { Record("start"); }
    void Run(std::uint32_t value) override { Record("run " + std::to_string(value)); }
    void OnEnd() override { Record("end"); }

    std::string Calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

  private:
    void Record(const std::string& call) {
        std::lock_guard lock(mutex_);
        calls_ += call + ";";
    }
    std::mutex mutex_;
    std::string calls_;
};

TEST(WorkerThreadTest, CallsOnStartRunWithTheArgumentAndOnEndThenReportsStillActive) {
    RecordingWorker worker;
    worker.argument = 42;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.WaitForExit(std::chrono::seconds(10)));
    EXPECT_EQ(worker.Calls(), "start;run 42;end;");
    EXPECT_EQ(worker.ExitCode(), WorkerThread::kStillActive);
    EXPECT_FALSE(worker.Start());  // one thread per object
}

class LoopingWorker : public WorkerThread {
  public:
    ~LoopingWorker() override { StopAndWait(); }
    void Run(std::uint32_t) override {
        while (!SleepUnlessStopped(std::chrono::minutes(10))) rounds.fetch_add(1);
    }
    std::atomic<int> rounds{0};
};

TEST(WorkerThreadTest, StopRequestWakesASleepingLoop) {
    const auto began = std::chrono::steady_clock::now();
    {
        LoopingWorker worker;
        ASSERT_TRUE(worker.Start());
        EXPECT_FALSE(worker.WaitForExit(std::chrono::milliseconds(50)));
        worker.RequestStop();
        EXPECT_TRUE(worker.WaitForExit(std::chrono::seconds(10)));
        EXPECT_EQ(worker.rounds.load(), 0);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
}

TEST(WorkerThreadTest, ExceptionInRunDoesNotEndTheProcess) {
    struct Throwing : WorkerThread {
        void Run(std::uint32_t) override { throw std::runtime_error("boom"); }
    } worker;
    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.WaitForExit(std::chrono::seconds(10)));
}

TEST(WorkerThreadTest, NeverStartedThreadIsHarmless) {
    WorkerThread worker;
    EXPECT_FALSE(worker.Started());
    EXPECT_TRUE(worker.WaitForExit(std::chrono::milliseconds(0)));
}

}  // namespace
}  // namespace vestrel::platform
