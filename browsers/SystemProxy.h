// Points the system's connection settings (followed by Internet Explorer, Avant and every program that
// opens its internet sessions with the preconfigured access) at a proxy, and sets them back.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "browsers/ConnectionSettings.h"

namespace vestrel::browsers {

// The connections changed: every dial-up and VPN entry the system knows (the default dial-up
// connection of "DefaultInternet" first when "EnableAutodial" is 1, listed or not), then the local
// network. Before the first change each connection's options are saved (see SavedSettings.h), so
// that setting back restores exactly what the user had; a connection that already points at the
// server being set is saved as direct, since that can only be a leftover of ours.

// `server` is host:port. Each connection is read back after it is set; one that did not take the
// setting is named on the debugger output. False after an allocation failure (then nothing more is
// done).
bool SetSystemProxy(const std::string& server, ConnectionSettings& settings = SystemConnectionSettings());
// Puts back what SetSystemProxy saved, and sets direct (only the flags change) every connection without
// a saved state that points at 127.0.0.1: a proxy of the user's own is never taken away. The saved
// state is forgotten once it is all put back.
bool ClearSystemProxy(ConnectionSettings& settings = SystemConnectionSettings());

// The connections both steps change, in the order they change them; none names the local network.
std::vector<std::optional<std::string>> SystemProxyTargets(ConnectionSettings& settings);

// After a run that ended with anonymity on: when the system's settings still point at `server` and
// nothing was saved, sets those connections direct. True when anything was changed.
bool DirectConnectionsLeftAt(const std::string& server, ConnectionSettings& settings = SystemConnectionSettings());

namespace detail {

// ClearSystemProxy in two halves for DisableConnectionProxy, which guards each connection change on
// its own and runs the closing notifications inside its own guarded block.
bool ClearSystemProxyTargets(ConnectionSettings& settings, bool guard_each_connection);
void FinishClearSystemProxy(ConnectionSettings& settings);

}  // namespace detail
}  // namespace vestrel::browsers
