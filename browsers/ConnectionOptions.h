// The whole-system operations: point the system connection and every chosen browser at a proxy (the
// local relay), or set them all back to a direct connection.
#pragma once

#include <string>
#include <string_view>

#include "browsers/ConnectionSettings.h"

namespace vestrel::browsers {

// Points the system connection at `server` (host:port), sets the "IE" and "Avant" flags to 1, then
// points each browser whose flag ("Opera", "Netscape", "Mozilla", "FireFox") is 1 at 127.0.0.1 and the
// `LocalPort` setting. `connection_name` is accepted and ignored: the dial-up switches choose the
// connections. False, with nothing else done, when the system step could not allocate its list.
// A browser file that cannot be read or replaced ends the operation at once with std::system_error.
// What each step replaces is saved first (see SavedSettings.h); WebRTC in Chrome and Edge is kept to
// the proxy.
bool SetConnectionOptions(std::string_view connection_name, const std::string& server,
                          ConnectionSettings& connections = SystemConnectionSettings());

// Sets the system connection and each browser back to what was saved when they were pointed at the
// relay (direct where nothing was saved), the "IE" and "Avant" flags to 0, and lifts the WebRTC
// policy. Never throws: an error in any browser step ends the browser steps and is dropped (the result
// is still true). False only when the system step could not allocate its list.
bool DisableConnectionProxy(std::string_view connection_name,
                            ConnectionSettings& connections = SystemConnectionSettings());

// At start-up, for a run that ended with anonymity on (killed, crashed, power lost): puts back
// everything still saved for this user (an earlier version's machine-wide record too, when it is this
// user's: SavedSettingsUpgrade.h); with nothing saved, sets direct the connections that still point at
// `relay_server`. True when anything was changed.
bool RecoverConnectionOptions(const std::string& relay_server,
                              ConnectionSettings& connections = SystemConnectionSettings());

}  // namespace vestrel::browsers
