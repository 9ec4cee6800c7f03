// The text forms in which a proxy travels through the program (a catalogue line, an address, a line
// of MyProxies.txt, typed text, the ProxyName value) and the one set of rules that reads them all.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vestrel::catalogue {

// Separates the address from the country in every text form.
inline constexpr std::string_view kCountryArrow = "->";
// Marks a catalogue line whose proxy accepts POST requests.
inline constexpr std::string_view kPostMarker = "<supports POST>";

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

// The text before the first ":"; empty when there is none.
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

// True for a typed proxy of the form address:port: a host without blanks before the first ":", then a
// port of digits alone from 1 to 65535, optionally followed by "->" and a country.
bool IsProxyAddressText(std::string_view text);

// Every field of the entry from one text; response time "Not Tested", no download speed.
ProxyEntry ParseProxyText(std::string_view text);

// The number at the start of `text` as atoi reads it: leading blanks, an optional sign, digits up to
// the first non-digit, 0 when no digit follows. Values beyond 32 bits are clamped instead of
// overflowing.
std::int32_t ReadLeadingInteger(std::string_view text);

}  // namespace vestrel::catalogue
