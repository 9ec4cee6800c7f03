// The sockets service: blocking TCP sockets with RAII, a connect with a time limit, a listener on
// loopback and a poll over several sockets. Windows Sockets in the Windows build, POSIX natively.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

namespace vestrel::platform::net {

using NativeSocket = std::intptr_t;
inline constexpr NativeSocket kInvalidSocket = -1;

// Starts the sockets library once per process (WSAStartup; natively, SIGPIPE is ignored so that a
// send to a closed peer is an error, not the end of the process). Safe to call from any thread.
void EnsureStarted();

// The error of the last failed call on this thread.
std::error_code LastError();

// True when the last failed send or receive on this thread failed only because a non-blocking
// socket had nothing to give or no room to take (EWOULDBLOCK / WSAEWOULDBLOCK).
bool LastCallWouldBlock();

class Socket {
  public:
    Socket() = default;
    explicit Socket(NativeSocket handle) : handle_(handle) {}
    ~Socket() { Close(); }
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool Valid() const { return handle_ != kInvalidSocket; }
    NativeSocket Handle() const { return handle_; }
    void Close();

    // Bytes sent or received; Receive gives 0 when the peer has closed; negative on error.
    std::ptrdiff_t Send(const void* data, std::size_t size);
    std::ptrdiff_t Receive(void* buffer, std::size_t size);
    // Sends every byte, looping over partial sends; false on error.
    bool SendAll(const void* data, std::size_t size);
    bool SendAll(std::string_view data) { return SendAll(data.data(), data.size()); }

    void ShutdownSend();
    void ShutdownBoth();
    // Time limits for blocking receives and sends; zero means none.
    bool SetReceiveTimeout(std::chrono::milliseconds timeout);
    bool SetSendTimeout(std::chrono::milliseconds timeout);
    bool SetNoDelay(bool on);
    // Asks the system to report the socket readable only once `bytes` wait in it (or it closed), so
    // that a fast stream wakes the reader once per batch, not once per segment. A receive still takes
    // whatever is there. False where the system has no such setting (Windows).
    bool SetReceiveLowWater(std::size_t bytes);
    // In non-blocking mode Send and Receive return a negative count at once, with
    // LastCallWouldBlock() true, instead of waiting.
    bool SetNonBlocking(bool on);

  private:
    NativeSocket handle_ = kInvalidSocket;
};

// Looks up `host` (a name or a dotted address) and connects to the first address that answers within
// `timeout` in all. The socket returned is blocking. On failure the socket is invalid and `error`
// tells why (std::errc::timed_out when the time ran out). With `cancel` set, the wait for the connect
// ends (std::errc::operation_canceled) within about 200 ms of it becoming true.
Socket ConnectTcp(std::string_view host, std::uint16_t port, std::chrono::milliseconds timeout,
                  std::error_code& error, const std::atomic<bool>* cancel = nullptr);

// A connect to a dotted IPv4 address started without waiting for it, for a caller that waits on many
// at once with Poll (want_write): the socket is non-blocking and its connect under way or already
// made. Invalid, with `error` set, when the connect failed at once (refused on loopback, no route).
Socket StartConnect(std::string_view ipv4, std::uint16_t port, std::error_code& error);
// After Poll found a started connect writable or failed: no error when it is made (the socket is then
// blocking again), else why it failed.
std::error_code FinishConnect(Socket& socket);

// A listening socket bound to 127.0.0.1.
// The system halves' pieces of a loopback listener, joined by Listener::OnLoopback.
namespace detail {
Socket NewStreamSocket(std::error_code& error);
// The address option a listener wants: quick rebinding natively, exclusive use on Windows.
void ClaimListenAddress(Socket& socket);
// Binds 127.0.0.1:`port` and listens; the port bound, or nothing with `error` set.
std::optional<std::uint16_t> BindLoopbackAndListen(Socket& socket, std::uint16_t port, int backlog,
                                                   std::error_code& error);
// Waits for a connect in progress until `deadline`, in slices of at most 200 ms so that `cancel` is
// seen between them. `wait_slice(ms)` waits up to ms: above 0 ready, below 0 failed, 0 not yet. Its
// last answer (0 when the deadline passed), or nothing once `cancel` is set.
std::optional<int> WaitForConnect(std::chrono::steady_clock::time_point deadline,
                                  const std::atomic<bool>* cancel, const std::function<int(int)>& wait_slice);
}  // namespace detail

class Listener {
  public:
    Listener() = default;
    // Port 0 lets the system choose; Port() then tells which.
    static Listener OnLoopback(std::uint16_t port, int backlog, std::error_code& error);

    bool Valid() const { return socket_.Valid(); }
    std::uint16_t Port() const { return port_; }
    NativeSocket Handle() const { return socket_.Handle(); }
    // Blocks until a connection arrives; an invalid socket on error or after Shutdown.
    Socket Accept(std::error_code& error);
    // Wakes a thread blocked in Accept; the socket itself is closed by the destructor or Close.
    void Shutdown();
    void Close() { socket_.Close(); }
    // A non-blocking listener's Accept fails at once, with LastCallWouldBlock(), when nobody waits.
    bool SetNonBlocking(bool on) { return socket_.SetNonBlocking(on); }

  private:
    Socket socket_;
    std::uint16_t port_ = 0;
};

// Moves bytes from one socket to another inside the system, without copying them through the
// program: a pipe between two splices on Linux. Where the system has nothing of the kind, Open gives
// nothing and the caller copies with Receive and Send. Both sockets should be non-blocking.
class SocketSplice {
  public:
    // A pipe holding up to about `capacity` bytes between the two sockets.
    static std::optional<SocketSplice> Open(std::size_t capacity);
    SocketSplice(SocketSplice&& other) noexcept;
    SocketSplice& operator=(SocketSplice&& other) noexcept;
    SocketSplice(const SocketSplice&) = delete;
    SocketSplice& operator=(const SocketSplice&) = delete;
    ~SocketSplice();

    // Takes up to `max` bytes from `from` into the pipe: the count, 0 when `from` has closed, negative
    // on error (LastCallWouldBlock() when nothing waits).
    std::ptrdiff_t Fill(Socket& from, std::size_t max);
    // Gives bytes held in the pipe to `to`: the count, negative on error (LastCallWouldBlock() when
    // `to` takes nothing now).
    std::ptrdiff_t Drain(Socket& to);
    std::size_t Buffered() const { return buffered_; }
    std::size_t Capacity() const { return capacity_; }

  private:
    SocketSplice() = default;
    NativeSocket read_end_ = kInvalidSocket;
    NativeSocket write_end_ = kInvalidSocket;
    std::size_t buffered_ = 0;
    std::size_t capacity_ = 0;
};

struct PollItem {
    NativeSocket socket = kInvalidSocket;
    bool want_read = false;
    bool want_write = false;
    // Results.
    bool readable = false;  // data, an orderly close or an error is waiting
    bool writable = false;
    bool failed = false;  // the socket is in error
};

// Waits at most `timeout` (negative: no limit) until one of the items is ready. Returns the number of
// ready items, 0 when the time ran out, negative on error.
int Poll(std::span<PollItem> items, std::chrono::milliseconds timeout);

}  // namespace vestrel::platform::net
