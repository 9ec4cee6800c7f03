// Moving to another proxy by itself: when the proxy in use stops answering, the Tested list's proxies
// are tried and the relay moves to the fastest one that answers. Never to a direct connection: with
// no proxy left, anonymity stays on and the browsers get the relay's page saying the proxy is down.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Anonymity.h"
#include "catalogue/ProxyTest.h"

namespace vestrel::app {

struct FailoverCandidate {
    std::string address;
    std::string country;
};

// Whether the setting AutoSwitch lets the program move by itself.
bool AutoSwitchOn();

// Whether `failed` ("host:port" as the relay reported it) is still the proxy in use with anonymity on,
// so that a move away from it is still wanted.
bool StillUsing(const std::string& failed);

// The Tested list's rows other than `failed` and other than those graded Transparent or Broken, in list
// order. Read on the user-interface thread.
std::vector<FailoverCandidate> FailoverCandidates(const std::string& failed);

// Tests every candidate at once (on a worker) and returns the one that connected fastest; nothing
// when none did. `connect_time` is catalogue::ConnectTime when empty.
std::optional<FailoverCandidate> ChooseReplacement(const std::vector<FailoverCandidate>& candidates,
                                                   const catalogue::ConnectTimeFunction& connect_time = {});

// On the user-interface thread, after the choice: the relay moved to `chosen`, ProxyName and the
// status line set. Returns what the tray says; empty when the move is no longer wanted (anonymity went
// off or the user chose another proxy meanwhile).
std::string FinishFailover(const std::string& failed, const std::optional<FailoverCandidate>& chosen,
                           const AnonymityUi& ui);

// Lets the relay's watch report again: after the proxy in use changed.
void RearmFailover();

}  // namespace vestrel::app
