// The text forms in which a proxy travels through the program (a catalogue line, an address, a line
// of MyProxies.txt, typed text, the ProxyName value) and the one set of rules that reads them all.
// The long form, [scheme://][user:password@]host:port[->country], carries what public lists say of a
// proxy beyond its address: the protocol it speaks (no scheme: HTTP, so an HTTP proxy's text keeps its
// old form) and the credentials it wants.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vestrel::catalogue {

// Separates the address from the country in every text form.
inline constexpr std::string_view kCountryArrow = "->";
// Marks a catalogue line whose proxy accepts POST requests.
inline constexpr std::string_view kPostMarker = "<supports POST>";

// The protocol a proxy speaks. Lists write "https://" for an HTTP proxy that tunnels: it is HTTP too.
// socks4a and socks5h leave the name lookup to the proxy.
enum class ProxyProtocol : std::uint8_t { kHttp, kSocks4, kSocks4a, kSocks5, kSocks5h };

// "http", "socks4", "socks4a", "socks5", "socks5h".
std::string_view ProtocolScheme(ProxyProtocol protocol);
// The protocol of a scheme as lists write it ("http", "https", "socks4", "socks4a", "socks5",
// "socks5h"; any case); nothing for anything else.
std::optional<ProxyProtocol> ParseProtocolScheme(std::string_view scheme);
inline bool IsSocks(ProxyProtocol protocol) { return protocol != ProxyProtocol::kHttp; }
// The protocol as the program shows it: "HTTP", "SOCKS4" (socks4a too) or "SOCKS5" (socks5h too).
std::string_view ProtocolName(ProxyProtocol protocol);

// The protocol of a text: its scheme, HTTP without one (or with one that is not a proxy's).
ProxyProtocol ProxyProtocolOf(std::string_view text);
// The credentials of a text ("user:password@" before the host); empty when there are none. A user
// without ":" has an empty password.
std::string ProxyUser(std::string_view text);
std::string ProxyPassword(std::string_view text);
// The text without its scheme and credentials: "host:port[->country]".
std::string_view WithoutSchemeAndCredentials(std::string_view text);
// The long form's text of a proxy: the scheme only for SOCKS, the credentials only when there is a user,
// then host:port and "->country" when there is a country.
std::string ProxyTextOf(ProxyProtocol protocol, std::string_view user, std::string_view password,
                        std::string_view host, std::int32_t port, std::string_view country);
// The proxy of a text without its country, rebuilt by ProxyTextOf: "socks5://1.2.3.4:1080" for
// "socks5://1.2.3.4:01080->DE", "1.2.3.4:80" for "1.2.3.4:80->Canada <supports POST>". What the tested
// list keeps in its address column and the grades are filed under.
std::string ProxyAddressOf(std::string_view text);

// One proxy as a text describes it.
struct ProxyEntry {
    std::string line;  // the text the entry came from, unchanged
    std::string host;
    std::int32_t port = 0;
    std::string country;
    bool supports_post = false;
    std::string response_time;
    std::string download_speed;
};

// The text before the first ":" (after any scheme and credentials); empty when there is none.
std::string ProxyHost(std::string_view text);
// The number at the start of the text after the first ":" (the whole text when there is no ":"),
// read the way atoi reads it, so "1.2.3.4:8080->Canada" gives 8080.
std::int32_t ProxyPort(std::string_view text);
// Everything after the first "->"; empty when there is none. A POST marker stays in it.
std::string ProxyCountry(std::string_view text);
// True when "<supports POST>" occurs at a position greater than 0.
bool SupportsPost(std::string_view text);
// "%s:%d" of host and port: rebuilt from the parsed values, so "1.2.3.4:080" gives "1.2.3.4:80".
std::string AddressKey(std::string_view host, std::int32_t port);
// The address key of a text.
std::string AddressKeyOf(std::string_view text);

// True for a typed proxy of the form [scheme://]address:port: optionally a proxy's scheme ("http",
// "socks4", "socks5", as ParseProtocolScheme knows them), a host without blanks before the first ":",
// then a port of digits alone from 1 to 65535, optionally followed by "->" and a country.
bool IsProxyAddressText(std::string_view text);

// Every field of the entry from one text; response time "Not Tested", no download speed.
ProxyEntry ParseProxyText(std::string_view text);

// The number at the start of `text` as atoi reads it: leading blanks, an optional sign, digits up to
// the first non-digit, 0 when no digit follows. Values beyond 32 bits are clamped instead of
// overflowing.
std::int32_t ReadLeadingInteger(std::string_view text);

}  // namespace vestrel::catalogue
