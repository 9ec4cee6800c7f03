// WorkerThread over std::thread for the native build. A thread cannot be ended from outside here, so
// the destructor asks a still-running thread to stop and waits for it.
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/thread/WorkerThread.h"

namespace vestrel::platform {

struct WorkerThread::Impl {
    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    std::uint32_t exit_code = kStillActive;
};

WorkerThread::~WorkerThread() {
    if (impl_ == nullptr) return;
    if (impl_->thread.joinable()) {
        RequestStop();
        impl_->thread.join();
    }
    delete impl_;
}

void WorkerThread::Run(std::uint32_t /*argument*/) {}

unsigned long WorkerThread::StartRoutine(void* self) {
    auto* worker = static_cast<WorkerThread*>(self);
    try {
        worker->OnStart();
        worker->Run(worker->argument);
        worker->OnEnd();
    } catch (...) {
        // Nothing may unwind out of a thread's start routine.
    }
    {
        std::lock_guard lock(worker->impl_->mutex);
        worker->impl_->finished = true;
        worker->impl_->exit_code = kStillActive;
    }
    worker->impl_->changed.notify_all();
    return kStillActive;
}

bool WorkerThread::Start() {
    if (impl_ == nullptr) impl_ = new Impl;
    if (impl_->thread.joinable()) return false;
    try {
        impl_->thread = std::thread([this] { StartRoutine(this); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool WorkerThread::Started() const { return impl_ != nullptr && impl_->thread.joinable(); }

bool WorkerThread::WaitForExit(std::chrono::milliseconds timeout) {
    if (!Started()) return true;
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [this] { return impl_->finished; });
}

std::uint32_t WorkerThread::ExitCode() const {
    if (impl_ == nullptr) return kStillActive;
    std::lock_guard lock(impl_->mutex);
    return impl_->exit_code;
}

void WorkerThread::RequestStop() {
    stop_requested_.store(true);
    if (impl_ == nullptr) return;
    {
        // Taking the lock orders the flag before any sleeper's check.
        std::lock_guard lock(impl_->mutex);
    }
    impl_->changed.notify_all();
}

bool WorkerThread::SleepUnlessStopped(std::chrono::milliseconds duration) {
    if (impl_ == nullptr) {
        std::this_thread::sleep_for(duration);
        return StopRequested();
    }
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, duration, [this] { return StopRequested(); });
}

void WorkerThread::StopAndWait() {
    RequestStop();
    if (impl_ != nullptr && impl_->thread.joinable()) impl_->thread.join();
}

}  // namespace vestrel::platform
