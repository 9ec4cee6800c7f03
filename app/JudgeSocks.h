// The judge's checks of SOCKS proxies open their tunnels with the relay's own handshake, so that a
// proxy that passes a check is one the relay can speak to.
#pragma once

#include "catalogue/ProxyText.h"
#include "relay/RelaySettings.h"

namespace vestrel::app {

// How the relay speaks to a proxy of `protocol` (SOCKS4 and SOCKS4a alike as SOCKS4a, which sends a
// name; SOCKS5 and SOCKS5h as SOCKS5 by name).
relay::UpstreamProtocol UpstreamProtocolOf(catalogue::ProxyProtocol protocol);

// Hands the relay's SOCKS handshake to the catalogue's checks (catalogue::SetSocksOpening). Called once
// at start-up; calling it again changes nothing.
void UseRelaySocksInChecks();

}  // namespace vestrel::app
