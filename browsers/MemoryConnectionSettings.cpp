// The in-memory per-connection options.
#include "browsers/ConnectionSettings.h"

namespace vestrel::browsers {

bool MemoryConnectionSettings::Apply(const PerConnectionOptions& options) {
    Stored& stored = stored_[options.connection];
    stored.flags = options.flags;
    if (options.proxy_server) stored.proxy_server = *options.proxy_server;
    if (options.proxy_bypass) stored.proxy_bypass = *options.proxy_bypass;
    if (options.auto_config_url) stored.auto_config_url = *options.auto_config_url;
    events_.push_back(Event::Apply);
    applied_.push_back(options.connection);
    return true;
}

void MemoryConnectionSettings::NotifySettingsChanged() { events_.push_back(Event::SettingsChanged); }

void MemoryConnectionSettings::Refresh() { events_.push_back(Event::Refresh); }

void MemoryConnectionSettings::DebugMessage(std::string_view text) { messages_.emplace_back(text); }

std::optional<PerConnectionOptions> MemoryConnectionSettings::Query(
    const std::optional<std::string>& connection) {
    // A connection never set holds the system's defaults: direct, nothing else.
    const Stored stored = Get(connection).value_or(Stored{});
    return PerConnectionOptions{connection, stored.flags, stored.proxy_server, stored.proxy_bypass,
                                stored.auto_config_url};
}

void MemoryConnectionSettings::Reset() {
    stored_.clear();
    dial_up_entries.clear();
    events_.clear();
    applied_.clear();
    messages_.clear();
}

std::optional<MemoryConnectionSettings::Stored> MemoryConnectionSettings::Get(
    const std::optional<std::string>& connection) const {
    const auto it = stored_.find(connection);
    if (it == stored_.end()) return std::nullopt;
    return it->second;
}

}  // namespace vestrel::browsers
