// What the anonymity wizard offers from the downloaded list: the locations, and the proxies of one
// location, for browsing or for posting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vestrel::catalogue {

// The distinct locations of `lines` (the text after the first "->", a POST marker and the separator
// before it cut off), sorted byte-wise. With `post_only`, only lines whose proxy accepts POST count.
std::vector<std::string> WizardLocations(const std::vector<std::string>& lines, bool post_only);

// The distinct lines that contain `location`, in list order; with `post_only`, only those whose proxy
// accepts POST.
std::vector<std::string> WizardProxies(const std::vector<std::string>& lines, std::string_view location,
                                       bool post_only);

}  // namespace vestrel::catalogue
