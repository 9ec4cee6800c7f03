// Points Opera at the relay, and back, through its initialisation files: "Opera6.ini" and
// "OperaDef6.ini" in its program folder and "Opera6.ini" in the user's profile. Only files that
// already exist are written; nothing is created.
#pragma once

#include <string>
#include <string_view>

namespace vestrel::browsers {

// The home page the program-folder files get on enable.
inline constexpr std::string_view kOperaHomePage = "duckduckgo.com";

// Opera's program folder from its App Paths entry (the 32-bit view too); empty when Opera has none.
// Probing never creates the key.
std::string OperaProgramFolder();

// HTTP and HTTPS proxy on, at 127.0.0.1 and the `LocalPort` setting. The keys about to be written are
// saved first, once per switch-on, for each file that exists.
void EnableOperaProxy();
// Every saved file's keys put back (a key that was absent is removed again); a file with nothing
// saved gets its HTTP and HTTPS proxy switched off when it points at the relay, the server entries
// staying as enable wrote them.
void DisableOperaProxy();

}  // namespace vestrel::browsers
