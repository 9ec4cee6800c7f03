// Proxy lists as public projects publish them: plain text in its real variants (bare host:port,
// user:password@host:port, scheme prefixes, the annotated form with a country, CSV, header and footer
// lines) and JSON arrays of proxy objects, read into rows that keep each proxy's protocol, credentials
// and country.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/ProxyText.h"

namespace vestrel::catalogue {

// One proxy of a list.
struct ListedProxy {
    ProxyProtocol protocol = ProxyProtocol::kHttp;
    // False when the line or object named no protocol (a bare host:port): the protocol is then the
    // one the list stands for (ReadProxyList's `unsaid`).
    bool protocol_said = false;
    std::string host;
    std::int32_t port = 0;
    std::string user;
    std::string password;
    std::string country;

    // The proxy's text in the long form (ProxyTextOf): an HTTP proxy without credentials reads
    // "host:port[->country]", as every text of the program always has.
    std::string Text() const { return ProxyTextOf(protocol, user, password, host, port, country); }
    // What makes two rows one proxy: protocol, host (any case) and port.
    std::string Identity() const;
};

// The host of a list line as the program keeps it: an IPv4 address with its zero-padded octets read as
// decimal ("005.252.161.048" is 5.252.161.48, never octal), or a host name of letters, digits, "-" and
// ".". Nothing for anything else.
std::optional<std::string> ListHost(std::string_view text);

// One line of a text list; nothing for a line that names no proxy (blank, "#" comment, header,
// footer, junk). CR and blanks around it are ignored.
std::optional<ListedProxy> ReadListLine(std::string_view line);

// Every proxy of a list body in body order, each (protocol, address, port) once. A body that starts
// with "[" or "{" is read as JSON: an array of objects with "protocol", "host" or "ip", "port",
// "username", "password" and a country ("geolocation": {"country": "CC"} or {"country": {"iso_code":
// "CC"}}, or "country"), or an object holding such an array; a JSON body that does not parse, or nests
// deeper than any list does, has no proxies. Anything else is read line by line. A proxy whose line or
// object names no protocol speaks `unsaid`: a list's socks5 file writes bare host:port lines.
std::vector<ListedProxy> ReadProxyList(std::string_view body, ProxyProtocol unsaid = ProxyProtocol::kHttp);

// True when the JSON text nests arrays and objects no deeper than `limit` (strings are skipped
// correctly), so that a hostile body cannot exhaust the stack of a recursive parser.
bool JsonNestingWithin(std::string_view text, std::size_t limit);

}  // namespace vestrel::catalogue
