// The sockets service over POSIX sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/net/Socket.h"

namespace vestrel::platform::net {
namespace {

int Fd(NativeSocket handle) { return static_cast<int>(handle); }

timeval ToTimeval(std::chrono::milliseconds timeout) {
    timeval value{};
    value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    return value;
}

struct AddressList {
    addrinfo* head = nullptr;
    ~AddressList() {
        if (head != nullptr) ::freeaddrinfo(head);
    }
};

}  // namespace

void EnsureStarted() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

std::error_code LastError() { return {errno, std::system_category()}; }

bool LastCallWouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }

Socket::Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, kInvalidSocket)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kInvalidSocket);
    }
    return *this;
}

void Socket::Close() {
    if (handle_ != kInvalidSocket) ::close(Fd(std::exchange(handle_, kInvalidSocket)));
}

std::ptrdiff_t Socket::Send(const void* data, std::size_t size) {
    std::ptrdiff_t sent;
    do {
        sent = ::send(Fd(handle_), data, size, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent;
}

std::ptrdiff_t Socket::Receive(void* buffer, std::size_t size) {
    std::ptrdiff_t received;
    do {
        received = ::recv(Fd(handle_), buffer, size, 0);
    } while (received < 0 && errno == EINTR);
    return received;
}

void Socket::ShutdownSend() {
    if (Valid()) ::shutdown(Fd(handle_), SHUT_WR);
}

void Socket::ShutdownBoth() {
    if (Valid()) ::shutdown(Fd(handle_), SHUT_RDWR);
}

bool Socket::SetReceiveTimeout(std::chrono::milliseconds timeout) {
    const timeval value = ToTimeval(timeout);
    return ::setsockopt(Fd(handle_), SOL_SOCKET, SO_RCVTIMEO, &value, sizeof(value)) == 0;
}

bool Socket::SetSendTimeout(std::chrono::milliseconds timeout) {
    const timeval value = ToTimeval(timeout);
    return ::setsockopt(Fd(handle_), SOL_SOCKET, SO_SNDTIMEO, &value, sizeof(value)) == 0;
}

bool Socket::SetNoDelay(bool on) {
    const int flag = on ? 1 : 0;
    return ::setsockopt(Fd(handle_), IPPROTO_TCP, TCP_NODELAY, &flag, sizeof(flag)) == 0;
}

bool Socket::SetReceiveLowWater(std::size_t bytes) {
    const int count = static_cast<int>(std::clamp<std::size_t>(bytes, 1, std::numeric_limits<int>::max()));
    return ::setsockopt(Fd(handle_), SOL_SOCKET, SO_RCVLOWAT, &count, sizeof(count)) == 0;
}

bool Socket::SetNonBlocking(bool on) {
    const int flags = ::fcntl(Fd(handle_), F_GETFL);
    if (flags < 0) return false;
    return ::fcntl(Fd(handle_), F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

Socket ConnectTcp(std::string_view host, std::uint16_t port, std::chrono::milliseconds timeout,
                  std::error_code& error, const std::atomic<bool>* cancel) {
    EnsureStarted();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    AddressList addresses;
    const std::string host_text(host);
    const std::string port_text = std::to_string(port);
    if (const int status = ::getaddrinfo(host_text.c_str(), port_text.c_str(), &hints, &addresses.head);
        status != 0) {
        error = std::make_error_code(std::errc::host_unreachable);
        return {};
    }
    error = std::make_error_code(std::errc::connection_refused);
    for (addrinfo* address = addresses.head; address != nullptr; address = address->ai_next) {
        Socket socket(
            ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol));
        if (!socket.Valid()) {
            error = LastError();
            continue;
        }
        const int flags = ::fcntl(Fd(socket.Handle()), F_GETFL);
        ::fcntl(Fd(socket.Handle()), F_SETFL, flags | O_NONBLOCK);
        if (::connect(Fd(socket.Handle()), address->ai_addr, address->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                error = LastError();
                continue;
            }
            pollfd item{Fd(socket.Handle()), POLLOUT, 0};
            const std::optional<int> waited = detail::WaitForConnect(deadline, cancel, [&](int ms) {
                int ready = 0;
                do {
                    ready = ::poll(&item, 1, ms);
                } while (ready < 0 && errno == EINTR);
                return ready;
            });
            if (!waited) {
                error = std::make_error_code(std::errc::operation_canceled);
                return {};
            }
            const int ready = *waited;
            if (ready == 0) {
                error = std::make_error_code(std::errc::timed_out);
                return {};
            }
            int socket_error = 0;
            socklen_t length = sizeof(socket_error);
            ::getsockopt(Fd(socket.Handle()), SOL_SOCKET, SO_ERROR, &socket_error, &length);
            if (ready < 0 || socket_error != 0) {
                error = {ready < 0 ? errno : socket_error, std::system_category()};
                continue;
            }
        }
        ::fcntl(Fd(socket.Handle()), F_SETFL, flags & ~O_NONBLOCK);
        error.clear();
        return socket;
    }
    return {};
}

Socket StartConnect(std::string_view ipv4, std::uint16_t port, std::error_code& error) {
    EnsureStarted();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, std::string(ipv4).c_str(), &address.sin_addr) != 1) {
        error = std::make_error_code(std::errc::host_unreachable);
        return {};
    }
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.Valid()) {
        error = LastError();
        return {};
    }
    if (::connect(Fd(socket.Handle()), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 &&
        errno != EINPROGRESS) {
        error = LastError();
        return {};
    }
    error.clear();
    return socket;
}

std::error_code FinishConnect(Socket& socket) {
    int socket_error = 0;
    socklen_t length = sizeof(socket_error);
    if (::getsockopt(Fd(socket.Handle()), SOL_SOCKET, SO_ERROR, &socket_error, &length) != 0)
        return LastError();
    if (socket_error != 0) return {socket_error, std::system_category()};
    // Writable without an error can still be a connect not made (a poll woken early): ask the peer.
    sockaddr_in peer{};
    socklen_t peer_length = sizeof(peer);
    if (::getpeername(Fd(socket.Handle()), reinterpret_cast<sockaddr*>(&peer), &peer_length) != 0)
        return std::make_error_code(std::errc::not_connected);
    socket.SetNonBlocking(false);
    return {};
}

namespace detail {

Socket NewStreamSocket(std::error_code& error) {
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.Valid()) error = LastError();
    return socket;
}

// A restarted relay must be able to bind its port again while old connections linger in TIME_WAIT.
void ClaimListenAddress(Socket& socket) {
    const int reuse = 1;
    ::setsockopt(Fd(socket.Handle()), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
}

std::optional<std::uint16_t> BindLoopbackAndListen(Socket& socket, std::uint16_t port, int backlog,
                                                   std::error_code& error) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(Fd(socket.Handle()), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(Fd(socket.Handle()), backlog) != 0) {
        error = LastError();
        return std::nullopt;
    }
    socklen_t length = sizeof(address);
    ::getsockname(Fd(socket.Handle()), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

}  // namespace detail

Socket Listener::Accept(std::error_code& error) {
    int accepted;
    do {
        accepted = ::accept4(Fd(socket_.Handle()), nullptr, nullptr, SOCK_CLOEXEC);
    } while (accepted < 0 && errno == EINTR);
    if (accepted < 0) {
        error = LastError();
        return {};
    }
    error.clear();
    return Socket(accepted);
}

void Listener::Shutdown() { socket_.ShutdownBoth(); }

std::optional<SocketSplice> SocketSplice::Open(std::size_t capacity) {
#ifdef __linux__
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return std::nullopt;
    SocketSplice splice;
    splice.read_end_ = ends[0];
    splice.write_end_ = ends[1];
    // The pipe may be smaller than asked for (a limit of the system); it then says how large it is.
    ::fcntl(ends[1], F_SETPIPE_SZ, static_cast<int>(capacity));
    const int size = ::fcntl(ends[1], F_GETPIPE_SZ);
    splice.capacity_ = size > 0 ? static_cast<std::size_t>(size) : 65536;
    return splice;
#else
    (void)capacity;
    return std::nullopt;
#endif
}

SocketSplice::SocketSplice(SocketSplice&& other) noexcept
    : read_end_(std::exchange(other.read_end_, kInvalidSocket)),
      write_end_(std::exchange(other.write_end_, kInvalidSocket)),
      buffered_(std::exchange(other.buffered_, 0)),
      capacity_(other.capacity_) {}

SocketSplice& SocketSplice::operator=(SocketSplice&& other) noexcept {
    if (this != &other) {
        this->~SocketSplice();
        read_end_ = std::exchange(other.read_end_, kInvalidSocket);
        write_end_ = std::exchange(other.write_end_, kInvalidSocket);
        buffered_ = std::exchange(other.buffered_, 0);
        capacity_ = other.capacity_;
    }
    return *this;
}

SocketSplice::~SocketSplice() {
    if (read_end_ != kInvalidSocket) ::close(Fd(read_end_));
    if (write_end_ != kInvalidSocket) ::close(Fd(write_end_));
}

std::ptrdiff_t SocketSplice::Fill(Socket& from, std::size_t max) {
#ifdef __linux__
    std::ptrdiff_t moved;
    do {
        moved = ::splice(Fd(from.Handle()), nullptr, Fd(write_end_), nullptr, max,
                         SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
    } while (moved < 0 && errno == EINTR);
    if (moved > 0) buffered_ += static_cast<std::size_t>(moved);
    return moved;
#else
    (void)from;
    (void)max;
    errno = ENOSYS;
    return -1;
#endif
}

std::ptrdiff_t SocketSplice::Drain(Socket& to) {
#ifdef __linux__
    std::ptrdiff_t moved;
    do {
        moved = ::splice(Fd(read_end_), nullptr, Fd(to.Handle()), nullptr, buffered_,
                         SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
    } while (moved < 0 && errno == EINTR);
    if (moved > 0) buffered_ -= static_cast<std::size_t>(moved);
    return moved;
#else
    (void)to;
    errno = ENOSYS;
    return -1;
#endif
}

int Poll(std::span<PollItem> items, std::chrono::milliseconds timeout) {
    std::vector<pollfd> fds(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        fds[i].fd = Fd(items[i].socket);
        fds[i].events =
            static_cast<short>((items[i].want_read ? POLLIN : 0) | (items[i].want_write ? POLLOUT : 0));
    }
    int ready;
    do {
        ready = ::poll(fds.data(), fds.size(), timeout.count() < 0 ? -1 : static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i].readable = (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && items[i].want_read;
        items[i].writable = (fds[i].revents & POLLOUT) != 0;
        items[i].failed = (fds[i].revents & (POLLERR | POLLNVAL)) != 0;
    }
    return ready;
}

}  // namespace vestrel::platform::net
