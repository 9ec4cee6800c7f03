// The opening of a tunnel through a SOCKS proxy as bytes: what the relay says (SOCKS5 with no
// authentication or username/password, SOCKS4a), what the proxy's replies mean, and the reason in
// words when it refuses. The destination always goes to the proxy by name, so that no lookup of it is
// made on this computer. Nothing here touches a socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "relay/RelaySettings.h"

namespace vestrel::relay {

class SocksHandshake {
  public:
    enum class State {
        Talking,  // waiting for the proxy's next reply; send `Outgoing()` first
        Open,     // the tunnel to the destination is open
        Refused,  // the proxy answered no: `Reason()` says why
        Broken,   // the proxy sent something that is not SOCKS, or a request could not be formed
    };

    // `protocol` is Socks5 or Socks4a; `user`/`password` are offered to a SOCKS5 proxy when `user` is
    // not empty, and `user` is a SOCKS4a proxy's user id.
    SocksHandshake(UpstreamProtocol protocol, std::string_view user, std::string_view password,
                   std::string_view host, std::uint16_t port);

    // Bytes to send to the proxy now (taken: the next call returns only what came since).
    std::string TakeOutgoing();
    // Takes bytes from the proxy; returns how many belonged to the handshake (the rest, once Open, is
    // the destination's).
    std::size_t Feed(const char* data, std::size_t size);
    State Current() const { return state_; }
    // Why the proxy refused or failed, in words for the page the browser gets.
    const std::string& Reason() const { return reason_; }

  private:
    enum class Step { Socks5Method, Socks5Login, Socks5Reply, Socks4Reply };

    void Fail(State state, std::string reason);
    void SendSocks5Connect();
    std::size_t FeedStep();

    const std::string user_;
    const std::string password_;
    const std::string host_;
    const std::uint16_t port_;
    Step step_;
    State state_ = State::Talking;
    std::string outgoing_;
    std::string received_;
    std::string reason_;
};

}  // namespace vestrel::relay
