// WorkerThread over CreateThread.
#include <windows.h>

#include "platform/thread/WorkerThread.h"
#include "platform/win32/UniqueHandle.h"

namespace vestrel::platform {

struct WorkerThread::Impl {
    KernelHandle thread;
    DWORD identifier = 0;
    KernelHandle stop_event{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

WorkerThread::~WorkerThread() {
    if (impl_ == nullptr) return;
    if (impl_->thread) {
        DWORD code = 0;
        // The start routine itself returns STILL_ACTIVE, so the exit code alone cannot tell a finished
        // thread from a running one; only a thread that is really still running is ended.
        if (::GetExitCodeThread(impl_->thread.get(), &code) && code == STILL_ACTIVE &&
            ::WaitForSingleObject(impl_->thread.get(), 0) == WAIT_TIMEOUT) {
            ::TerminateThread(impl_->thread.get(), kTerminated);
        }
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
    return kStillActive;
}

bool WorkerThread::Start() {
    if (impl_ == nullptr) impl_ = new Impl;
    if (impl_->thread) return false;
    impl_->thread.reset(::CreateThread(
        nullptr, 0, [](LPVOID self) -> DWORD { return WorkerThread::StartRoutine(self); }, this, 0,
        &impl_->identifier));
    return static_cast<bool>(impl_->thread);
}

bool WorkerThread::Started() const { return impl_ != nullptr && impl_->thread; }

bool WorkerThread::WaitForExit(std::chrono::milliseconds timeout) {
    if (!Started()) return true;
    return ::WaitForSingleObject(impl_->thread.get(), static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

std::uint32_t WorkerThread::ExitCode() const {
    DWORD code = kStillActive;
    if (Started()) ::GetExitCodeThread(impl_->thread.get(), &code);
    return code;
}

void WorkerThread::RequestStop() {
    stop_requested_.store(true);
    if (impl_ != nullptr && impl_->stop_event) ::SetEvent(impl_->stop_event.get());
}

bool WorkerThread::SleepUnlessStopped(std::chrono::milliseconds duration) {
    if (StopRequested()) return true;
    if (impl_ == nullptr || !impl_->stop_event) {
        ::Sleep(static_cast<DWORD>(duration.count()));
        return StopRequested();
    }
    ::WaitForSingleObject(impl_->stop_event.get(), static_cast<DWORD>(duration.count()));
    return StopRequested();
}

void WorkerThread::StopAndWait() {
    RequestStop();
    WaitForExit(std::chrono::milliseconds(INFINITE));
}

}  // namespace vestrel::platform
