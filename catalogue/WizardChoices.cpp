// The wizard's locations and proxies.
#include "catalogue/WizardChoices.h"

#include <algorithm>

#include "catalogue/ProxyText.h"

namespace vestrel::catalogue {

namespace {

bool Contains(const std::vector<std::string>& texts, std::string_view text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

}  // namespace

std::vector<std::string> WizardLocations(const std::vector<std::string>& lines, bool post_only) {
    std::vector<std::string> locations;
    for (const std::string& line : lines) {
        if (post_only && !SupportsPost(line)) continue;
        std::string location = ProxyCountry(line);
        const std::size_t marker = location.find(kPostMarker);
        if (marker != std::string::npos && marker > 0) location.resize(marker - 1);
        if (location.empty() || Contains(locations, location)) continue;
        locations.push_back(std::move(location));
    }
    // std::string compares as unsigned bytes, which is the order wanted.
    std::sort(locations.begin(), locations.end());
    return locations;
}

std::vector<std::string> WizardProxies(const std::vector<std::string>& lines, std::string_view location,
                                       bool post_only) {
    std::vector<std::string> proxies;
    for (const std::string& line : lines) {
        if (line.find(location) == std::string::npos) continue;
        if (post_only && !SupportsPost(line)) continue;
        if (!Contains(proxies, line)) proxies.push_back(line);
    }
    return proxies;
}

}  // namespace vestrel::catalogue
