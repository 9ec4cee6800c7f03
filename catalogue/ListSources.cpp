// Plain-text proxy lists. (Skeleton: not implemented yet.)
#include "catalogue/ListSources.h"

namespace vestrel::catalogue {

std::vector<std::string> ReadListSources() { return {}; }
std::error_code WriteListSources(const std::vector<std::string>&) { return {}; }
std::vector<std::string> ParsePlainList(std::string_view) { return {}; }
std::vector<SourceOutcome> FetchListSources(const std::vector<std::string>&, const platform::http::GetOptions&) {
    return {};
}
std::vector<std::string> MergeSourceLines(std::vector<std::string> service_lines, const std::vector<SourceOutcome>&) {
    return service_lines;
}
std::string FailedSourcesText(const std::vector<SourceOutcome>&) { return {}; }

}  // namespace vestrel::catalogue
