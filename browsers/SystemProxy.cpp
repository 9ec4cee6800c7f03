// Target selection, the saved options of each connection and the option lists of the system step.
#include "browsers/SystemProxy.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "browsers/SavedSettings.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"

namespace vestrel::browsers {
namespace {

using settings::Hive;

constexpr std::string_view kEnableAutodial =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\EnableAutodial";
constexpr std::string_view kEnableHttp11 =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\EnableHttp1_1";
constexpr std::string_view kProxyHttp11 =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ProxyHttp1.1";
constexpr std::string_view kDefaultInternet = "SOFTWARE\\Microsoft\\RAS AutoDial\\Default\\DefaultInternet";

// The texts are the ones debugger users have always seen from these steps, spelling included.
constexpr std::string_view kSetAllocationFailure = "failed to allocat memory in SetConnectionOptions()";
constexpr std::string_view kClearAllocationFailure = "failed to allocat memory in DisableConnectionProxy()";

// Names of the values of a saved connection record.
constexpr char kConnection[] = "Connection";
constexpr char kFlags[] = "Flags";
constexpr char kProxyServer[] = "ProxyServer";
constexpr char kProxyBypass[] = "ProxyBypass";
constexpr char kAutoConfigUrl[] = "AutoConfigURL";

using Target = std::optional<std::string>;

constexpr std::string_view kLoopbackPrefix = "127.0.0.1:";

// Connection names compare as the system compares them: without regard to case.
bool SameTarget(const Target& a, const Target& b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    return std::equal(a->begin(), a->end(), b->begin(), b->end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

PerConnectionOptions ProxyList(const std::string& server) {
    PerConnectionOptions options;
    options.flags = kProxyTypeDirect | kProxyTypeProxy;
    options.proxy_server = server;
    options.proxy_bypass = "local";
    return options;
}

PerConnectionOptions DirectList() { return PerConnectionOptions{}; }

bool PointsAt(const PerConnectionOptions& options, const std::string& server) {
    return (options.flags & kProxyTypeProxy) != 0 && options.proxy_server == server;
}

// Whether a connection points at a relay on this machine, whatever its port: only then is there
// anything of ours to undo when nothing was saved.
bool PointsAtLoopback(const std::optional<PerConnectionOptions>& options) {
    return options && (options->flags & kProxyTypeProxy) != 0 &&
           options->proxy_server.value_or("").rfind(std::string(kLoopbackPrefix), 0) == 0;
}

SavedRecord ToRecord(const PerConnectionOptions& options) {
    SavedRecord record;
    if (options.connection) record.texts[kConnection] = *options.connection;
    record.numbers[kFlags] = options.flags;
    record.texts[kProxyServer] = options.proxy_server.value_or("");
    record.texts[kProxyBypass] = options.proxy_bypass.value_or("");
    record.texts[kAutoConfigUrl] = options.auto_config_url.value_or("");
    return record;
}

PerConnectionOptions FromRecord(const SavedRecord& record) {
    PerConnectionOptions options;
    if (const std::string* name = record.Text(kConnection)) options.connection = *name;
    const auto flags = record.numbers.find(kFlags);
    options.flags = flags == record.numbers.end() ? kProxyTypeDirect : flags->second;
    // Every option is given, so that the restored connection holds exactly what was saved.
    for (auto [name, field] : {std::pair{kProxyServer, &options.proxy_server},
                               std::pair{kProxyBypass, &options.proxy_bypass},
                               std::pair{kAutoConfigUrl, &options.auto_config_url}}) {
        const std::string* text = record.Text(name);
        *field = text != nullptr ? *text : std::string();
    }
    return options;
}

std::vector<PerConnectionOptions> SavedConnections() {
    std::vector<PerConnectionOptions> saved;
    for (const SavedRecord& record : LoadSavedRecords(kSavedConnections)) saved.push_back(FromRecord(record));
    // The local network last: where the system keeps one set for all connections (Wine), the local
    // network's own options are the ones that stay.
    std::stable_partition(saved.begin(), saved.end(),
                          [](const PerConnectionOptions& options) { return options.connection.has_value(); });
    return saved;
}

bool IsSaved(const std::vector<PerConnectionOptions>& saved, const Target& target) {
    return std::any_of(saved.begin(), saved.end(),
                       [&](const PerConnectionOptions& options) { return SameTarget(options.connection, target); });
}

// Saves the options of every target that has none saved yet. All are read before any is changed, so
// that connections the system keeps together are saved as the user left them.
void SaveReplaced(ConnectionSettings& settings, const std::vector<Target>& targets, const std::string& server) {
    const std::vector<PerConnectionOptions> saved = SavedConnections();
    for (const Target& target : targets) {
        if (IsSaved(saved, target)) continue;
        std::optional<PerConnectionOptions> current = settings.Query(target);
        // A connection the system cannot report is set direct again when switching back.
        if (!current) continue;
        current->connection = target;
        if (PointsAt(*current, server)) {
            current->flags = kProxyTypeDirect;
            current->proxy_server = std::string();
        }
        // A record that cannot be written is not saved: that connection goes direct when switching back.
        static_cast<void>(AddSavedRecord(kSavedConnections, ToRecord(*current)));
    }
}

std::string Describe(const Target& target) { return target ? "the connection \"" + *target + "\"" : "the local network"; }

// Runs one connection change; with `guard`, an exception is dropped so that the next target still runs.
bool ApplyOne(ConnectionSettings& settings, PerConnectionOptions options, const Target& connection, bool guard) {
    options.connection = connection;
    if (!guard) return settings.Apply(options);
    try {
        return settings.Apply(options);
    } catch (...) {
        return true;  // dropped on purpose: the remaining targets must still be set back
    }
}

// Reads a connection back after it was set; a connection that did not take the setting is named.
void ReadBack(ConnectionSettings& settings, const PerConnectionOptions& applied) {
    const std::optional<PerConnectionOptions> stored = settings.Query(applied.connection);
    if (!stored) return;
    const bool proxy_wanted = (applied.flags & kProxyTypeProxy) != 0;
    const bool taken = ((stored->flags & kProxyTypeProxy) != 0) == proxy_wanted &&
                       (!proxy_wanted || stored->proxy_server == applied.proxy_server);
    if (!taken) settings.DebugMessage(Describe(applied.connection) + " did not take the proxy setting");
}

void Notify(ConnectionSettings& settings) {
    settings.NotifySettingsChanged();
    settings.Refresh();
}

}  // namespace

std::vector<Target> SystemProxyTargets(ConnectionSettings& settings) {
    std::vector<Target> targets;
    auto add = [&](const Target& target) {
        if (target && target->empty()) return;
        if (std::none_of(targets.begin(), targets.end(), [&](const Target& t) { return SameTarget(t, target); }))
            targets.push_back(target);
    };
    if (settings::RegDwordSetting(kEnableAutodial, 0, false, Hive::CurrentUser).get() == 1)
        add(settings::RegStringSetting(kDefaultInternet, "", false, Hive::LocalMachine).get());
    for (const std::string& entry : settings.DialUpEntries()) add(entry);
    add(std::nullopt);
    return targets;
}

bool SetSystemProxy(const std::string& server, ConnectionSettings& settings) {
    const std::vector<Target> targets = SystemProxyTargets(settings);
    SaveReplaced(settings, targets, server);
    for (const Target& target : targets) {
        if (!ApplyOne(settings, ProxyList(server), target, false)) {
            settings.DebugMessage(kSetAllocationFailure);
            return false;
        }
    }
    for (const Target& target : targets) {
        PerConnectionOptions applied = ProxyList(server);
        applied.connection = target;
        ReadBack(settings, applied);
    }
    Notify(settings);
    settings::RegDwordSetting(kEnableHttp11, 0, false, Hive::CurrentUser).set(1);
    return true;
}

bool ClearSystemProxy(ConnectionSettings& settings) {
    if (!detail::ClearSystemProxyTargets(settings, false)) return false;
    detail::FinishClearSystemProxy(settings);
    return true;
}

bool DirectConnectionsLeftAt(const std::string& server, ConnectionSettings& settings) {
    if (!LoadSavedRecords(kSavedConnections).empty()) return false;
    bool changed = false;
    for (const Target& target : SystemProxyTargets(settings)) {
        const std::optional<PerConnectionOptions> current = settings.Query(target);
        if (!current || !PointsAt(*current, server)) continue;
        if (!ApplyOne(settings, DirectList(), target, true)) return changed;
        changed = true;
    }
    if (changed) Notify(settings);
    return changed;
}

namespace detail {

bool ClearSystemProxyTargets(ConnectionSettings& settings, bool guard_each_connection) {
    const std::vector<PerConnectionOptions> saved = SavedConnections();
    // Connections without a saved state first, then the saved ones, the local network last of all.
    // A connection with nothing saved is set direct only when it points at a relay here: the list
    // refresh sets the browsers "back" while anonymity is off too, and must not take away a proxy of
    // the user's own. A system that cannot report its options is set direct as before.
    for (const Target& target : SystemProxyTargets(settings)) {
        if (IsSaved(saved, target)) continue;
        const std::optional<PerConnectionOptions> current = settings.Query(target);
        if (current && !PointsAtLoopback(current)) continue;
        if (!ApplyOne(settings, DirectList(), target, guard_each_connection)) {
            settings.DebugMessage(kClearAllocationFailure);
            return false;
        }
    }
    for (const PerConnectionOptions& options : saved) {
        if (!ApplyOne(settings, options, options.connection, guard_each_connection)) {
            settings.DebugMessage(kClearAllocationFailure);
            return false;
        }
    }
    // Forgotten only once everything is back; a failure above leaves it for the next try.
    if (!saved.empty()) static_cast<void>(ReplaceSavedRecords(kSavedConnections, {}));
    return true;
}

void FinishClearSystemProxy(ConnectionSettings& settings) {
    Notify(settings);
    settings::RegDwordSetting(kProxyHttp11, 0, false, Hive::CurrentUser).set(1);
}

}  // namespace detail
}  // namespace vestrel::browsers
