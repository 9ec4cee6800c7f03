// Points the system's connection settings (followed by Internet Explorer, Avant and every program that
// opens its internet sessions with the preconfigured access) at a proxy, and sets them back to direct.
#pragma once

#include <string>

#include "browsers/ConnectionSettings.h"

namespace vestrel::browsers {

// The connections changed are chosen by the dial-up switches: the default dial-up connection when
// "EnableAutodial" is 1 (and the local network too when "NoNetAutodial" is 1), otherwise the local
// network alone. Nothing is saved: enabling overwrites, disabling always means direct.

// `server` is host:port. False after an allocation failure (then nothing more is done).
bool SetSystemProxy(const std::string& server, ConnectionSettings& settings = SystemConnectionSettings());
// Sets the flags of the same connections to direct; the stored server and bypass list stay.
bool ClearSystemProxy(ConnectionSettings& settings = SystemConnectionSettings());

namespace detail {

// ClearSystemProxy in two halves for DisableConnectionProxy, which guards each connection change on
// its own and runs the closing notifications inside its own guarded block.
bool ClearSystemProxyTargets(ConnectionSettings& settings, bool guard_each_connection);
void FinishClearSystemProxy(ConnectionSettings& settings);

}  // namespace detail
}  // namespace vestrel::browsers
