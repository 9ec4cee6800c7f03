// The program's small thread object: the owner sets the argument and starts it; the thread calls
// OnStart, Run(argument) and OnEnd. Base of the cleaner's schedule worker and the generator ping.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace vestrel::platform {

class WorkerThread {
  public:
    // The start routine's exit code, the value of STILL_ACTIVE.
    static constexpr std::uint32_t kStillActive = 259;
    // The exit code of a thread ended by the destructor.
    static constexpr std::uint32_t kTerminated = 0xFFFFFFFF;

    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    // Ends a thread that is still running (Windows: TerminateThread with kTerminated; natively a thread
    // cannot be ended from outside, so the destructor asks it to stop and waits for Run to return).
    virtual ~WorkerThread();

    virtual void Run(std::uint32_t argument);
    virtual void OnStart() {}
    virtual void OnEnd() {}

    // Starts the thread with default security and stack size; false when it could not be made.
    bool Start();
    bool Started() const;
    // Waits at most `timeout` for the thread to finish; true when it has.
    bool WaitForExit(std::chrono::milliseconds timeout);
    // The thread's exit code: kStillActive while it runs and after a normal end (the start routine
    // returns STILL_ACTIVE), kTerminated after the destructor ended it.
    std::uint32_t ExitCode() const;

    // A cooperative stop, for loops that would otherwise run for the life of the process.
    void RequestStop();
    bool StopRequested() const { return stop_requested_.load(); }
    // Sleeps for `duration` or until RequestStop, whichever comes first; true when asked to stop.
    bool SleepUnlessStopped(std::chrono::milliseconds duration);

    std::uint32_t argument = 0;

  protected:
    // Subclasses whose Run loops forever call this from their destructor before their members go,
    // so that the base destructor never finds the thread still using them.
    void StopAndWait();

  private:
    static unsigned long StartRoutine(void* self);

    struct Impl;
    Impl* impl_ = nullptr;
    std::atomic<bool> stop_requested_{false};
};

}  // namespace vestrel::platform
