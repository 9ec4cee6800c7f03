// Choosing a working proxy when the one in use stops answering.
#include "app/Failover.h"

#include <algorithm>
#include <cstdint>
#include <thread>

#include "catalogue/ProxyText.h"
#include "relay/UpstreamWatch.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

namespace {

std::string KeyOf(const std::string& text) {
    return catalogue::AddressKey(catalogue::ProxyHost(text), catalogue::ProxyPort(text));
}

}  // namespace

bool AutoSwitchOn() { return settings::RegDwordSetting(settings::kAutoSwitch).get() != 0; }

bool StillUsing(const std::string& failed) {
    if (settings::RegDwordSetting(settings::kUseProxy).get() != 1) return false;
    return KeyOf(settings::RegStringSetting(settings::kProxyName).get()) == KeyOf(failed);
}

std::vector<FailoverCandidate> FailoverCandidates(const std::string& failed) {
    const std::string failed_key = KeyOf(failed);
    std::vector<FailoverCandidate> candidates;
    const catalogue::TestedList& tested = TheProxyLists().tested;
    for (std::size_t row = 0; row < tested.RowCount(); ++row) {
        const std::string& address = tested.Cell(row, catalogue::kAddressColumn);
        if (address.empty() || KeyOf(address) == failed_key) continue;
        // A proxy known to show the user's address is never chosen without the user.
        if (const auto grade = TheProxyLists().grades.Find(address);
            grade && catalogue::GradeNeedsConfirmation(grade->grade))
            continue;
        const bool seen = std::any_of(candidates.begin(), candidates.end(), [&](const FailoverCandidate& c) {
            return KeyOf(c.address) == KeyOf(address);
        });
        if (!seen) candidates.push_back({address, tested.Cell(row, catalogue::kCountryColumn)});
    }
    return candidates;
}

std::optional<FailoverCandidate> ChooseReplacement(const std::vector<FailoverCandidate>& candidates,
                                                   const catalogue::ConnectTimeFunction& connect_time) {
    std::vector<std::uint32_t> times(candidates.size(), 0);
    {
        std::vector<std::jthread> tests;
        tests.reserve(candidates.size());
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            tests.emplace_back([&, i] {
                const std::string host = catalogue::ProxyHost(candidates[i].address);
                const std::int32_t port = catalogue::ProxyPort(candidates[i].address);
                times[i] = connect_time ? connect_time(host, port) : catalogue::ConnectTime(host, port);
            });
        }
    }
    std::optional<FailoverCandidate> fastest;
    std::uint32_t best = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (times[i] == 0 || (fastest && times[i] >= best)) continue;
        fastest = candidates[i];
        best = times[i];
    }
    return fastest;
}

std::string FinishFailover(const std::string& failed, const std::optional<FailoverCandidate>& chosen,
                           const AnonymityUi& ui) {
    if (!StillUsing(failed)) {
        RearmFailover();
        return {};
    }
    const std::string shown_failed = KeyOf(failed);
    if (!chosen) {
        // The watch stays quiet until the user picks a proxy: the relay goes on answering with its page.
        return shown_failed +
               " stopped answering, and no proxy in the Tested list answers. Web pages show "
               "an error until you choose another proxy in Vestrel.";
    }
    if (!Retarget(chosen->address))
        return shown_failed + " stopped answering, and Vestrel could not move to " + chosen->address + ".";
    settings::RegStringSetting(settings::kProxyName).set(chosen->address);
    SayAddressInUse(ui, chosen->country.empty()
                            ? chosen->address
                            : chosen->address + std::string(catalogue::kCountryArrow) + chosen->country);
    return shown_failed + " stopped answering; now using " + KeyOf(chosen->address);
}

void RearmFailover() { relay::TheUpstreamWatch().Rearm(); }

}  // namespace vestrel::app
