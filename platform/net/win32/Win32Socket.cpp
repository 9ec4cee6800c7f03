// The sockets service over Windows Sockets (ws2_32).
#include <winsock2.h>

#include <windows.h>

#include <ws2tcpip.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/net/Socket.h"

namespace vestrel::platform::net {
namespace {

SOCKET Sock(NativeSocket handle) { return static_cast<SOCKET>(handle); }

NativeSocket Native(SOCKET socket) {
    return socket == INVALID_SOCKET ? kInvalidSocket : static_cast<NativeSocket>(socket);
}

int ClampToInt(std::size_t size) { return static_cast<int>(std::min<std::size_t>(size, 1 << 30)); }

struct AddressList {
    addrinfo* head = nullptr;
    ~AddressList() {
        if (head != nullptr) ::freeaddrinfo(head);
    }
};

void SetBlocking(SOCKET socket, bool blocking) {
    u_long non_blocking = blocking ? 0 : 1;
    ::ioctlsocket(socket, FIONBIO, &non_blocking);
}

}  // namespace

void EnsureStarted() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    });
}

std::error_code LastError() { return {::WSAGetLastError(), std::system_category()}; }

bool LastCallWouldBlock() { return ::WSAGetLastError() == WSAEWOULDBLOCK; }

Socket::Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, kInvalidSocket)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kInvalidSocket);
    }
    return *this;
}

void Socket::Close() {
    if (handle_ != kInvalidSocket) ::closesocket(Sock(std::exchange(handle_, kInvalidSocket)));
}

std::ptrdiff_t Socket::Send(const void* data, std::size_t size) {
    return ::send(Sock(handle_), static_cast<const char*>(data), ClampToInt(size), 0);
}

std::ptrdiff_t Socket::Receive(void* buffer, std::size_t size) {
    return ::recv(Sock(handle_), static_cast<char*>(buffer), ClampToInt(size), 0);
}

void Socket::ShutdownSend() {
    if (Valid()) ::shutdown(Sock(handle_), SD_SEND);
}

void Socket::ShutdownBoth() {
    if (Valid()) ::shutdown(Sock(handle_), SD_BOTH);
}

bool Socket::SetReceiveTimeout(std::chrono::milliseconds timeout) {
    const DWORD value = static_cast<DWORD>(timeout.count());
    return ::setsockopt(Sock(handle_), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value),
                        sizeof(value)) == 0;
}

bool Socket::SetSendTimeout(std::chrono::milliseconds timeout) {
    const DWORD value = static_cast<DWORD>(timeout.count());
    return ::setsockopt(Sock(handle_), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&value),
                        sizeof(value)) == 0;
}

bool Socket::SetNoDelay(bool on) {
    const BOOL flag = on ? TRUE : FALSE;
    return ::setsockopt(Sock(handle_), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&flag),
                        sizeof(flag)) == 0;
}

// Windows Sockets keeps SO_RCVLOWAT at one byte.
bool Socket::SetReceiveLowWater(std::size_t) { return false; }

bool Socket::SetNonBlocking(bool on) {
    u_long non_blocking = on ? 1 : 0;
    return ::ioctlsocket(Sock(handle_), FIONBIO, &non_blocking) == 0;
}

Socket ConnectTcp(std::string_view host, std::uint16_t port, std::chrono::milliseconds timeout,
                  std::error_code& error, const std::atomic<bool>* cancel) {
    EnsureStarted();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    AddressList addresses;
    const std::string host_text(host);
    const std::string port_text = std::to_string(port);
    if (::getaddrinfo(host_text.c_str(), port_text.c_str(), &hints, &addresses.head) != 0) {
        error = std::make_error_code(std::errc::host_unreachable);
        return {};
    }
    error = std::make_error_code(std::errc::connection_refused);
    for (addrinfo* address = addresses.head; address != nullptr; address = address->ai_next) {
        Socket socket(Native(::socket(address->ai_family, address->ai_socktype, address->ai_protocol)));
        if (!socket.Valid()) {
            error = LastError();
            continue;
        }
        const SOCKET raw = Sock(socket.Handle());
        SetBlocking(raw, false);
        if (::connect(raw, address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0) {
            if (::WSAGetLastError() != WSAEWOULDBLOCK) {
                error = LastError();
                continue;
            }
            fd_set writable;
            fd_set failed;
            const std::optional<int> waited = detail::WaitForConnect(deadline, cancel, [&](int ms) {
                FD_ZERO(&writable);
                FD_ZERO(&failed);
                FD_SET(raw, &writable);
                FD_SET(raw, &failed);
                timeval limit{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
                return ::select(0, nullptr, &writable, &failed, &limit);
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
            if (ready < 0 || FD_ISSET(raw, &failed) || !FD_ISSET(raw, &writable)) {
                int socket_error = 0;
                int length = sizeof(socket_error);
                ::getsockopt(raw, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socket_error), &length);
                error = {socket_error != 0 ? socket_error : WSAECONNREFUSED, std::system_category()};
                continue;
            }
        }
        SetBlocking(raw, true);
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
    Socket socket(Native(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)));
    if (!socket.Valid()) {
        error = LastError();
        return {};
    }
    SetBlocking(Sock(socket.Handle()), false);
    if (::connect(Sock(socket.Handle()), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 &&
        ::WSAGetLastError() != WSAEWOULDBLOCK) {
        error = LastError();
        return {};
    }
    error.clear();
    return socket;
}

// WSAPoll before Windows 10 2004 never reports a refused connect (it stays pending to the caller's
// limit), so a failed one is only ever seen here, after the socket was reported ready.
std::error_code FinishConnect(Socket& socket) {
    const SOCKET raw = Sock(socket.Handle());
    int socket_error = 0;
    int length = sizeof(socket_error);
    if (::getsockopt(raw, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socket_error), &length) != 0)
        return LastError();
    if (socket_error != 0) return {socket_error, std::system_category()};
    sockaddr_in peer{};
    int peer_length = sizeof(peer);
    if (::getpeername(raw, reinterpret_cast<sockaddr*>(&peer), &peer_length) != 0)
        return std::make_error_code(std::errc::not_connected);
    SetBlocking(raw, true);
    return {};
}

namespace detail {

Socket NewStreamSocket(std::error_code& error) {
    Socket socket(Native(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)));
    if (!socket.Valid()) error = LastError();
    return socket;
}

// Exclusive use: another program must not be able to bind the same port beside us.
void ClaimListenAddress(Socket& socket) {
    const BOOL exclusive = TRUE;
    ::setsockopt(Sock(socket.Handle()), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                 reinterpret_cast<const char*>(&exclusive), sizeof(exclusive));
}

std::optional<std::uint16_t> BindLoopbackAndListen(Socket& socket, std::uint16_t port, int backlog,
                                                   std::error_code& error) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(Sock(socket.Handle()), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(Sock(socket.Handle()), backlog) != 0) {
        error = LastError();
        return std::nullopt;
    }
    int length = sizeof(address);
    ::getsockname(Sock(socket.Handle()), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

}  // namespace detail

Socket Listener::Accept(std::error_code& error) {
    const SOCKET accepted = ::accept(Sock(socket_.Handle()), nullptr, nullptr);
    if (accepted == INVALID_SOCKET) {
        error = LastError();
        return {};
    }
    error.clear();
    return Socket(Native(accepted));
}

// Windows wakes a blocked accept only when the socket is closed.
void Listener::Shutdown() { socket_.Close(); }

// Windows has no way to move bytes between two sockets without the program's own buffer.
std::optional<SocketSplice> SocketSplice::Open(std::size_t) { return std::nullopt; }

SocketSplice::SocketSplice(SocketSplice&& other) noexcept
    : buffered_(std::exchange(other.buffered_, 0)), capacity_(other.capacity_) {}

SocketSplice& SocketSplice::operator=(SocketSplice&& other) noexcept {
    buffered_ = std::exchange(other.buffered_, 0);
    capacity_ = other.capacity_;
    return *this;
}

SocketSplice::~SocketSplice() = default;

std::ptrdiff_t SocketSplice::Fill(Socket&, std::size_t) {
    ::WSASetLastError(WSAEOPNOTSUPP);
    return -1;
}

std::ptrdiff_t SocketSplice::Drain(Socket&) {
    ::WSASetLastError(WSAEOPNOTSUPP);
    return -1;
}

int Poll(std::span<PollItem> items, std::chrono::milliseconds timeout) {
    std::vector<WSAPOLLFD> fds(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        fds[i].fd = Sock(items[i].socket);
        fds[i].events = static_cast<short>((items[i].want_read ? POLLRDNORM : 0) |
                                           (items[i].want_write ? POLLWRNORM : 0));
    }
    const int ready = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()),
                                timeout.count() < 0 ? -1 : static_cast<INT>(timeout.count()));
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i].readable = (fds[i].revents & (POLLRDNORM | POLLHUP | POLLERR)) != 0 && items[i].want_read;
        items[i].writable = (fds[i].revents & POLLWRNORM) != 0;
        items[i].failed = (fds[i].revents & (POLLERR | POLLNVAL)) != 0;
    }
    return ready;
}

}  // namespace vestrel::platform::net
