// An owning wrapper for a Windows handle with its own free function, and the kernel-object handle
// built on it. Each frees its handle exactly once.
#pragma once

#include <windows.h>

#include <utility>

namespace vestrel::platform {

// A handle with a free function; move-only.
template <class Handle, auto Free>
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset(Handle handle = nullptr) {
        if (handle_ != nullptr) Free(handle_);
        handle_ = handle;
    }
    Handle release() { return std::exchange(handle_, nullptr); }

  private:
    Handle handle_ = nullptr;
};

inline void CloseKernelHandle(HANDLE handle) { ::CloseHandle(handle); }

using KernelHandle = UniqueHandle<HANDLE, CloseKernelHandle>;

}  // namespace vestrel::platform
