// Plain-text proxy lists from addresses the user adds (the multi-string setting ListSources), read
// during the list refresh beside the list service's own list.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/http/HttpGet.h"

namespace vestrel::catalogue {

// The source addresses in their order; none when the setting is missing or empty.
std::vector<std::string> ReadListSources();
// Stores `urls` as the REG_MULTI_SZ value ListSources (blank entries dropped).
std::error_code WriteListSources(const std::vector<std::string>& urls);

// The catalogue lines ("address:port" or "address:port->country") of a plain-text list: one proxy a
// line, "address:port" optionally followed by "->country", optionally with a scheme prefix such as
// "http://"; blank lines and lines starting with '#' skipped, anything that is not a proxy address
// passed over; repeated addresses kept once.
std::vector<std::string> ParsePlainList(std::string_view body);

struct SourceOutcome {
    std::string url;
    // The source answered 200 with a whole body.
    bool ok = false;
    std::vector<std::string> lines;
};

// Each source fetched in turn (blocking; run it on a worker).
std::vector<SourceOutcome> FetchListSources(const std::vector<std::string>& urls,
                                            const platform::http::GetOptions& options = {});

// The New list's lines: `service_lines` as they are, then each source's lines whose address (the part
// before "->") is not there yet.
std::vector<std::string> MergeSourceLines(std::vector<std::string> service_lines,
                                          const std::vector<SourceOutcome>& sources);

// The refresh message's part about sources that failed: "The list at URL could not be read." per
// failed source, joined by spaces; empty when none failed.
std::string FailedSourcesText(const std::vector<SourceOutcome>& sources);

}  // namespace vestrel::catalogue
