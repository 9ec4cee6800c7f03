// SOCKS5 (RFC 1928, with the username/password login of RFC 1929) and SOCKS4a greetings and replies.
#include "relay/SocksHandshake.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

namespace vestrel::relay {
namespace {

constexpr std::size_t kMaxField = 255;

std::string_view Socks5ReplyReason(unsigned char code) {
    switch (code) {
        case 0x01:
            return "the proxy failed (general SOCKS server failure)";
        case 0x02:
            return "the connection is not allowed by the proxy's rules";
        case 0x03:
            return "network unreachable";
        case 0x04:
            return "host unreachable";
        case 0x05:
            return "connection refused by the destination";
        case 0x06:
            return "the destination did not answer in time";
        case 0x07:
            return "the proxy does not support connecting";
        case 0x08:
            return "the proxy does not take names (address type not supported)";
        default:
            return "the proxy refused the connection";
    }
}

std::string_view Socks4ReplyReason(unsigned char code) {
    switch (code) {
        case 0x5C:
            return "the proxy could not check the user with identd";
        case 0x5D:
            return "the proxy's identd does not know the user";
        default:
            return "the proxy refused or could not make the connection";
    }
}

void AppendPort(std::string& out, std::uint16_t port) {
    out += static_cast<char>(port >> 8);
    out += static_cast<char>(port & 0xFF);
}

// The four bytes of a dotted IPv4 address ("a.b.c.d", each 0..255); nothing for anything else.
std::optional<std::string> Ipv4Bytes(std::string_view host) {
    std::string bytes;
    std::size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t end = part < 3 ? host.find('.', start) : host.size();
        if (end == std::string_view::npos || end == start || end - start > 3) return std::nullopt;
        int value = 0;
        for (std::size_t i = start; i < end; ++i) {
            if (host[i] < '0' || host[i] > '9') return std::nullopt;
            value = value * 10 + (host[i] - '0');
        }
        if (value > 255) return std::nullopt;
        bytes += static_cast<char>(value);
        start = end + 1;
    }
    return bytes;
}

}  // namespace

SocksHandshake::SocksHandshake(UpstreamProtocol protocol, std::string_view user, std::string_view password,
                               std::string_view host, std::uint16_t port)
    : user_(user), password_(password), host_(host), port_(port) {
    if (host_.empty() || host_.size() > kMaxField || host_.find('\0') != std::string::npos) {
        Fail(State::Broken, "the destination's name cannot be sent through SOCKS");
        return;
    }
    if (protocol == UpstreamProtocol::Socks4a) {
        if (user_.find('\0') != std::string::npos) {
            Fail(State::Broken, "the user id cannot be sent through SOCKS4a");
            return;
        }
        // Version 4, CONNECT, the port, 0.0.0.1 (a name follows), the user id and the name. An address
        // goes as itself, as plain SOCKS4 has it: servers that know no names take that too.
        step_ = Step::Socks4Reply;
        outgoing_ = {'\x04', '\x01'};
        AppendPort(outgoing_, port_);
        const std::optional<std::string> address = Ipv4Bytes(host_);
        outgoing_ += address ? *address : std::string("\0\0\0\x01", 4);
        outgoing_ += user_;
        outgoing_ += '\0';
        if (!address) {
            outgoing_ += host_;
            outgoing_ += '\0';
        }
        return;
    }
    step_ = Step::Socks5Method;
    // Offering the login only with credentials: a proxy that asks for one we cannot give refuses.
    outgoing_ = user_.empty() ? std::string("\x05\x01\x00", 3) : std::string("\x05\x02\x00\x02", 4);
}

std::string SocksHandshake::TakeOutgoing() { return std::exchange(outgoing_, {}); }

void SocksHandshake::Fail(State state, std::string reason) {
    state_ = state;
    reason_ = std::move(reason);
}

void SocksHandshake::SendSocks5Connect() {
    // Version 5, CONNECT, reserved, address type 3 (a name), its length and the name, the port.
    outgoing_ += std::string("\x05\x01\x00\x03", 4);
    outgoing_ += static_cast<char>(host_.size());
    outgoing_ += host_;
    AppendPort(outgoing_, port_);
    step_ = Step::Socks5Reply;
}

std::size_t SocksHandshake::Feed(const char* data, std::size_t size) {
    if (state_ != State::Talking) return 0;
    received_.append(data, size);
    while (state_ == State::Talking) {
        if (FeedStep() == 0) break;
    }
    if (state_ != State::Open) return size;
    // What came after the last reply is the destination's, all of it in this last piece.
    const std::size_t rest = std::min(received_.size(), size);
    received_.clear();
    return size - rest;
}

// Reads one reply when it is whole; how many bytes it took (0: more are needed).
std::size_t SocksHandshake::FeedStep() {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(received_[i]); };
    std::size_t used = 0;
    switch (step_) {
        case Step::Socks5Method:
            if (received_.size() < 2) return 0;
            used = 2;
            if (byte(0) != 0x05) {
                Fail(State::Broken, "the proxy does not speak SOCKS5");
            } else if (byte(1) == 0x00) {
                SendSocks5Connect();
            } else if (byte(1) == 0x02 && !user_.empty()) {
                if (user_.size() > kMaxField || password_.size() > kMaxField) {
                    Fail(State::Broken, "the user name or password is too long for SOCKS5");
                    break;
                }
                outgoing_ += '\x01';
                outgoing_ += static_cast<char>(user_.size());
                outgoing_ += user_;
                outgoing_ += static_cast<char>(password_.size());
                outgoing_ += password_;
                step_ = Step::Socks5Login;
            } else if (user_.empty()) {
                // Offered no login at all, a proxy that refuses wants one.
                Fail(State::Refused, "the proxy wants a user name and password");
            } else {
                Fail(State::Refused, "the proxy accepts none of the ways to log in that were offered");
            }
            break;
        case Step::Socks5Login:
            if (received_.size() < 2) return 0;
            used = 2;
            if (byte(0) != 0x01) {
                Fail(State::Broken, "the proxy does not speak SOCKS5");
            } else if (byte(1) != 0x00) {
                Fail(State::Refused, "the proxy refused the user name and password");
            } else {
                SendSocks5Connect();
            }
            break;
        case Step::Socks5Reply: {
            if (received_.size() < 5) return 0;
            if (byte(0) != 0x05) {
                Fail(State::Broken, "the proxy does not speak SOCKS5");
                used = received_.size();
                break;
            }
            // The bound address the reply carries: IPv4, a name with its length, or IPv6.
            std::size_t address = 0;
            switch (byte(3)) {
                case 0x01:
                    address = 4;
                    break;
                case 0x03:
                    address = 1 + byte(4);
                    break;
                case 0x04:
                    address = 16;
                    break;
                default:
                    if (byte(1) != 0x00) {
                        // A refusal may come with no sound address: its code still says why.
                        Fail(State::Refused, std::string(Socks5ReplyReason(byte(1))));
                    } else {
                        Fail(State::Broken, "the proxy does not speak SOCKS5");
                    }
                    used = received_.size();
                    break;
            }
            if (state_ != State::Talking) break;
            if (received_.size() < 4 + address + 2) return 0;
            used = 4 + address + 2;
            if (byte(1) == 0x00) {
                state_ = State::Open;
            } else {
                Fail(State::Refused, std::string(Socks5ReplyReason(byte(1))));
            }
            break;
        }
        case Step::Socks4Reply:
            if (received_.size() < 8) return 0;
            used = 8;
            if (byte(0) != 0x00) {
                Fail(State::Broken, "the proxy does not speak SOCKS4");
            } else if (byte(1) == 0x5A) {
                state_ = State::Open;
            } else {
                Fail(State::Refused, std::string(Socks4ReplyReason(byte(1))));
            }
            break;
    }
    received_.erase(0, used);
    return used;
}

}  // namespace vestrel::relay
