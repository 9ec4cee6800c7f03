// Target selection and the option lists of the system connection step.
#include "browsers/SystemProxy.h"

#include <string_view>

#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"

namespace vestrel::browsers {
namespace {

using settings::Hive;

constexpr std::string_view kEnableAutodial =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\EnableAutodial";
constexpr std::string_view kNoNetAutodial =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\NoNetAutodial";
constexpr std::string_view kEnableHttp11 =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\EnableHttp1_1";
constexpr std::string_view kProxyHttp11 =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ProxyHttp1.1";
constexpr std::string_view kDefaultInternet = "SOFTWARE\\Microsoft\\RAS AutoDial\\Default\\DefaultInternet";

// The texts are the ones debugger users have always seen from these steps, spelling included.
constexpr std::string_view kSetAllocationFailure = "failed to allocat memory in SetConnectionOptions()";
constexpr std::string_view kClearAllocationFailure = "failed to allocat memory in DisableConnectionProxy()";

PerConnectionOptions ProxyList(const std::string& server) {
    PerConnectionOptions options;
    options.flags = kProxyTypeDirect | kProxyTypeProxy;
    options.proxy_server = server;
    options.proxy_bypass = "local";
    return options;
}

PerConnectionOptions DirectList() { return PerConnectionOptions{}; }

// Runs one connection change; with `guard`, an exception is dropped so that the next target still runs.
bool ApplyOne(ConnectionSettings& settings, PerConnectionOptions options,
              std::optional<std::string> connection, bool guard) {
    options.connection = std::move(connection);
    if (!guard) return settings.Apply(options);
    try {
        return settings.Apply(options);
    } catch (...) {
        return true;  // dropped on purpose: the remaining targets must still be set direct
    }
}

// Applies `options` to the connections the dial-up switches select. False after an allocation failure,
// which stops everything at once.
bool ApplyToTargets(ConnectionSettings& settings, const PerConnectionOptions& options,
                    std::string_view failure, bool guard) {
    const bool autodial = settings::RegDwordSetting(kEnableAutodial, 0, false, Hive::CurrentUser).get() == 1;
    const bool no_net_autodial =
        settings::RegDwordSetting(kNoNetAutodial, 0, false, Hive::CurrentUser).get() == 1;
    if (autodial) {
        // Passed as read: a missing value names the connection "", as the system itself would.
        std::string dial_up =
            settings::RegStringSetting(kDefaultInternet, "", false, Hive::LocalMachine).get();
        if (!ApplyOne(settings, options, std::move(dial_up), guard)) {
            settings.DebugMessage(failure);
            return false;
        }
        if (!no_net_autodial) return true;
    }
    if (!ApplyOne(settings, options, std::nullopt, guard)) {
        settings.DebugMessage(failure);
        return false;
    }
    return true;
}

void Notify(ConnectionSettings& settings) {
    settings.NotifySettingsChanged();
    settings.Refresh();
}

}  // namespace

bool SetSystemProxy(const std::string& server, ConnectionSettings& settings) {
    if (!ApplyToTargets(settings, ProxyList(server), kSetAllocationFailure, false)) return false;
    Notify(settings);
    settings::RegDwordSetting(kEnableHttp11, 0, false, Hive::CurrentUser).set(1);
    return true;
}

bool ClearSystemProxy(ConnectionSettings& settings) {
    if (!detail::ClearSystemProxyTargets(settings, false)) return false;
    detail::FinishClearSystemProxy(settings);
    return true;
}

namespace detail {

bool ClearSystemProxyTargets(ConnectionSettings& settings, bool guard_each_connection) {
    return ApplyToTargets(settings, DirectList(), kClearAllocationFailure, guard_each_connection);
}

void FinishClearSystemProxy(ConnectionSettings& settings) {
    Notify(settings);
    settings::RegDwordSetting(kProxyHttp11, 0, false, Hive::CurrentUser).set(1);
}

}  // namespace detail
}  // namespace vestrel::browsers
