// The relay's SOCKS handshake behind the catalogue's checks.
#include "app/JudgeSocks.h"

#include <memory>
#include <string>

#include "catalogue/ProxyJudge.h"
#include "relay/SocksHandshake.h"

namespace vestrel::app {
namespace {

class RelaySocksOpening final : public catalogue::SocksOpening {
  public:
    RelaySocksOpening(const catalogue::ProxyRoute& proxy, const std::string& host, std::uint16_t port)
        : handshake_(UpstreamProtocolOf(proxy.protocol), proxy.user, proxy.password, host, port) {}

    std::string TakeOutgoing() override { return handshake_.TakeOutgoing(); }
    std::size_t Feed(const char* data, std::size_t size) override { return handshake_.Feed(data, size); }
    State Current() const override {
        switch (handshake_.Current()) {
            case relay::SocksHandshake::State::Talking:
                return State::kTalking;
            case relay::SocksHandshake::State::Open:
                return State::kOpen;
            case relay::SocksHandshake::State::Refused:
                return State::kRefused;
            case relay::SocksHandshake::State::Broken:
                break;
        }
        return State::kBroken;
    }

  private:
    relay::SocksHandshake handshake_;
};

}  // namespace

relay::UpstreamProtocol UpstreamProtocolOf(catalogue::ProxyProtocol protocol) {
    switch (protocol) {
        case catalogue::ProxyProtocol::kSocks4:
        case catalogue::ProxyProtocol::kSocks4a:
            return relay::UpstreamProtocol::Socks4a;
        case catalogue::ProxyProtocol::kSocks5:
        case catalogue::ProxyProtocol::kSocks5h:
            return relay::UpstreamProtocol::Socks5;
        case catalogue::ProxyProtocol::kHttp:
            break;
    }
    return relay::UpstreamProtocol::Http;
}

void UseRelaySocksInChecks() {
    catalogue::SetSocksOpening([](const catalogue::ProxyRoute& proxy, const std::string& host,
                                  std::uint16_t port) -> std::unique_ptr<catalogue::SocksOpening> {
        return std::make_unique<RelaySocksOpening>(proxy, host, port);
    });
}

}  // namespace vestrel::app
