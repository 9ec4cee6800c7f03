// The anonymity switch, adopting a proxy, and the list refresh's two halves.
#include "app/Anonymity.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>

#include "app/JudgeSocks.h"
#include "browsers/ConnectionOptions.h"
#include "catalogue/CatalogueLines.h"
#include "catalogue/ProxyText.h"
#include "catalogue/TestedFile.h"
#include "relay/LocalRelay.h"
#include "relay/UpstreamWatch.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

namespace {

void Tell(const std::function<void(const std::string&)>& channel, const std::string& text) {
    if (channel) channel(text);
}

std::uint32_t LocalPort() { return settings::RegDwordSetting(settings::kLocalPort).get(); }

// The proxy of a text (any of its forms) as the relay takes it: its protocol, address and the
// credentials a listed proxy wants.
relay::Upstream UpstreamOf(const std::string& proxy_text) {
    relay::Upstream upstream;
    upstream.protocol = UpstreamProtocolOf(catalogue::ProxyProtocolOf(proxy_text));
    upstream.host = catalogue::ProxyHost(proxy_text);
    upstream.port = static_cast<std::uint16_t>(catalogue::ProxyPort(proxy_text) & 0xFFFF);
    upstream.user = catalogue::ProxyUser(proxy_text);
    upstream.password = catalogue::ProxyPassword(proxy_text);
    return upstream;
}

std::chrono::milliseconds AnswerTimeout() {
    const std::uint32_t seconds = settings::RegDwordSetting(settings::kAnswerTimeout).get();
    // Zero or nonsense would make every proxy dead, or none.
    if (seconds == 0 || seconds > 3600) return relay::kDefaultAnswerTimeout;
    return std::chrono::seconds(seconds);
}

bool UseProxyOn() { return settings::RegDwordSetting(settings::kUseProxy).get() == 1; }

std::string CannotStartText(std::uint32_t port) {
    return std::string(kCannotStartProxy) + "\nThe local port " + std::to_string(port) +
           " is in use by another program or cannot be opened.";
}

void StopRelay() {
    relay::LocalRelay& local_relay = relay::TheLocalRelay();
    if (local_relay.isRunning()) local_relay.stop();
}

// Browsers pointed at the relay, relay started towards `proxy_name`; on a relay that cannot start,
// everything goes back to off and the user is told why.
bool SwitchOn(const std::string& proxy_name, const AnonymityUi& ui, bool also_error_box) {
    const std::uint32_t port = LocalPort();
    try {
        browsers::SetConnectionOptions(catalogue::kDefaultConnectionSettings, RelayServer());
    } catch (...) {
        // A browser file that cannot be edited leaves that browser as it was; the others are set.
    }
    StopRelay();
    relay::TheUpstreamWatch().Rearm();
    if (relay::TheLocalRelay().start(port, UpstreamOf(proxy_name), AnswerTimeout())) return true;
    // Browsers pointed at a port where nothing listens would leave the user with no web at all.
    SwitchAnonymityOff();
    const std::string text = CannotStartText(port);
    Tell(ui.message, text);
    if (also_error_box) Tell(ui.error_box, text);
    return false;
}

void TestedBoxChanged() {
    if (TheProxyLists().tested_box_changed) TheProxyLists().tested_box_changed();
}

std::string GradeTextOf(const std::string& address) {
    const std::optional<catalogue::JudgeResult> found = TheProxyLists().grades.Find(address);
    return found ? std::string(catalogue::GradeText(found->grade)) : std::string();
}

catalogue::GeneratorPinger& Pinger() {
    // Lives for the run; its pings are ended by the process exit.
    static auto* pinger = new catalogue::GeneratorPinger();
    return *pinger;
}

}  // namespace

bool Retarget(const std::string& proxy_text) {
    // A new proxy starts with a clean record.
    relay::TheUpstreamWatch().Rearm();
    return relay::TheLocalRelay().reconfigure(LocalPort(), UpstreamOf(proxy_text), AnswerTimeout());
}

bool Retarget(const std::string& host, std::int32_t port, const std::string& user,
              const std::string& password) {
    return Retarget(catalogue::ProxyTextOf(catalogue::ProxyProtocol::kHttp, user, password, host, port, ""));
}

void SayAddressInUse(const AnonymityUi& ui, const std::string& text) {
    Tell(ui.address_in_use, std::string(kAddressInUsePrefix) + " " + text);
}

ProxyLists& TheProxyLists() {
    static ProxyLists lists;
    return lists;
}

bool SaveGrades() { return !TheProxyLists().grades.Save(catalogue::GradeFilePath()); }

void LoadGrades() {
    ProxyLists& lists = TheProxyLists();
    lists.grades.Load(catalogue::GradeFilePath());
    for (std::size_t i = 0; i < lists.tested.RowCount(); ++i) {
        std::string text = GradeTextOf(lists.tested.Cell(i, catalogue::kAddressColumn));
        if (text != lists.tested.Cell(i, catalogue::kGradeColumn))
            lists.tested.SetCell(i, catalogue::kGradeColumn, std::move(text));
    }
}

bool RecordGrade(const std::string& address, const catalogue::JudgeResult& result) {
    ProxyLists& lists = TheProxyLists();
    lists.grades.Put(address, result);
    const std::int32_t row = catalogue::FindTestedRow(lists.tested, address);
    if (row >= 0) {
        lists.tested.SetCell(static_cast<std::size_t>(row), catalogue::kGradeColumn,
                             std::string(catalogue::GradeText(result.grade)));
    }
    return SaveGrades();
}

bool ForgetGrade(const std::string& address) {
    ProxyLists& lists = TheProxyLists();
    if (!lists.grades.Find(address)) return true;
    lists.grades.Remove(address);
    return SaveGrades();
}

bool ConfirmAdoption(const std::string& address, const AnonymityUi& ui) {
    const std::optional<catalogue::JudgeResult> found = TheProxyLists().grades.Find(address);
    if (!found || !catalogue::GradeNeedsConfirmation(found->grade)) return true;
    return ui.confirm && ui.confirm(std::string(catalogue::AdoptionQuestion(found->grade)));
}

bool ProxyChosen(const std::string& proxy_name) {
    const std::int32_t port = catalogue::ProxyPort(proxy_name);
    return !catalogue::ProxyHost(proxy_name).empty() && port >= 1 && port <= 65535;
}

std::string RelayServer() { return "127.0.0.1:" + std::to_string(LocalPort()); }

void SwitchAnonymityOff() {
    try {
        browsers::DisableConnectionProxy(catalogue::kDefaultConnectionSettings);
    } catch (...) {
        // Setting the browsers back goes on past a browser that fails.
    }
    settings::RegDwordSetting(settings::kUseProxy).set(0);
    try {
        StopRelay();
    } catch (...) {
    }
}

bool ApplyAnonymity(const AnonymityUi& ui) {
    if (!UseProxyOn()) {
        SwitchAnonymityOff();
        return true;
    }
    const std::string proxy_name = settings::RegStringSetting(settings::kProxyName).get();
    if (!ProxyChosen(proxy_name)) {
        // Off first: nothing may say "on" while the message waits for the user.
        SwitchAnonymityOff();
        Tell(ui.message, std::string(kSelectProxyFirst));
        return false;
    }
    return SwitchOn(proxy_name, ui, false);
}

bool TestAndAdopt(const std::string& source_text, bool with_country, const TestRunner& run_test,
                  const AnonymityUi& ui) {
    const std::string host = catalogue::ProxyHost(source_text);
    const std::int32_t port = catalogue::ProxyPort(source_text);
    const std::string country = with_country ? catalogue::ProxyCountry(source_text) : std::string();
    const std::optional<catalogue::RecordedResult> result = run_test(host, source_text, port);
    if (!result || !result->passed) return false;
    // The proxy in the protocol the test found it speaking, which a list may have said wrongly or not
    // at all; the text as it came when the test did not judge it.
    const std::string text = result->proxy_text.empty() ? source_text : result->proxy_text;
    // The address with the protocol and the credentials a listed proxy wants: the row and the relay
    // keep them.
    const std::string key = catalogue::ProxyAddressOf(text);
    if (!ConfirmAdoption(key, ui)) return false;

    ProxyLists& lists = TheProxyLists();
    const catalogue::TestedRow row{key, country, result->response_time, result->download_speed,
                                   GradeTextOf(key)};
    if (catalogue::PutTestedRow(lists.tested, row)) {
        lists.tested_box.Add(text);
        TestedBoxChanged();
        if (catalogue::AppendTestedFile(text, catalogue::TestedFilePath())) {
            Tell(ui.message, "The proxy could not be added to " + catalogue::TestedFilePath() + ".");
        }
    }
    settings::RegStringSetting proxy_name(settings::kProxyName);
    proxy_name.set(text);
    if (UseProxyOn()) {
        if (!Retarget(text)) Tell(ui.message, std::string(kCannotStartProxy));
        settings::RegStringSetting(settings::kProxyName, true).set(text);
        SayAddressInUse(ui, text);
    }
    return true;
}

namespace {

void RetargetToTested(const std::string& address, const std::string& country, const AnonymityUi& ui) {
    if (!Retarget(address)) {
        Tell(ui.message, std::string(kCannotStartProxy));
        Tell(ui.error_box, std::string(kCannotStartProxy));
    }
    settings::RegStringSetting(settings::kProxyName).set(address);
    SayAddressInUse(ui, address + std::string(catalogue::kCountryArrow) + country);
}

}  // namespace

void UseTestedProxy(const std::string& text, const AnonymityUi& ui) {
    const std::size_t arrow = text.find(catalogue::kCountryArrow);
    const std::string address = text.substr(0, arrow);
    if (!ConfirmAdoption(address, ui)) {
        // The box must not go on showing a proxy that is not the one in use.
        TestedBoxChanged();
        return;
    }
    settings::RegStringSetting(settings::kProxyName).set(text);
    const std::size_t mark = text.find('>');
    const std::string country = mark == std::string::npos ? std::string() : text.substr(mark + 1);
    if (UseProxyOn() && !address.empty()) RetargetToTested(address, country, ui);
}

void UseTestedProxy(const std::string& address, const std::string& country, const AnonymityUi& ui) {
    if (UseProxyOn() && !address.empty() && ConfirmAdoption(address, ui))
        RetargetToTested(address, country, ui);
}

bool AdoptRetestedProxy(const std::string& address, const std::string& country,
                        const catalogue::RecordedResult& result, const AnonymityUi& ui) {
    ProxyLists& lists = TheProxyLists();
    const std::string key = catalogue::ProxyAddressOf(address);
    catalogue::TestedRow row{key, country, result.response_time, result.download_speed, GradeTextOf(key)};
    const std::int32_t index = catalogue::FindTestedRow(lists.tested, key);
    if (index < 0) {
        lists.tested.AppendRow(std::move(row));
    } else {
        lists.tested.DeleteRow(static_cast<std::size_t>(index));
        lists.tested.InsertRow(static_cast<std::size_t>(index), std::move(row));
    }
    const bool saved = !catalogue::SaveTestedList(lists.tested, catalogue::TestedFilePath());
    // The test's findings stay in the list either way; only the proxy in use waits for the answer.
    if (!ConfirmAdoption(key, ui)) return saved;
    if (UseProxyOn() && !Retarget(address)) Tell(ui.error_box, std::string(kCannotStartProxy));
    settings::RegStringSetting(settings::kProxyName).set(address);
    return saved;
}

bool EmptyTestedList() {
    ProxyLists& lists = TheProxyLists();
    lists.tested_box.Empty();
    lists.tested.DeleteAllRows();
    TestedBoxChanged();
    lists.grades.Clear();
    const bool grades_saved = SaveGrades();
    return !catalogue::SaveTestedList(lists.tested, catalogue::TestedFilePath()) && grades_saved;
}

void BeginListRefresh() {
    try {
        browsers::DisableConnectionProxy(catalogue::kDefaultConnectionSettings);
    } catch (...) {
    }
}

void EndListDownload() {
    if (!UseProxyOn()) return;
    try {
        browsers::SetConnectionOptions(catalogue::kDefaultConnectionSettings, RelayServer());
    } catch (...) {
        // A browser file that cannot be edited must not cost the list just downloaded.
    }
}

namespace {

void MergeNewList() {
    ProxyLists& lists = TheProxyLists();
    lists.new_list = catalogue::MergeSourceLines(lists.service_lines, lists.sources);
    if (lists.new_list_changed) lists.new_list_changed();
    if (lists.new_box_changed) lists.new_box_changed();
}

void KeepServiceLines(const std::string& body) {
    ProxyLists& lists = TheProxyLists();
    lists.service_lines.clear();
    catalogue::ForEachCatalogueLine(body,
                                    [&](std::string_view line) { lists.service_lines.emplace_back(line); });
}

}  // namespace

void RebuildNewList(const std::string& body) {
    KeepServiceLines(body);
    MergeNewList();
}

bool FinishListRefresh(const std::optional<std::string>& body, std::vector<catalogue::SourceOutcome> sources,
                       const AnonymityUi& ui) {
    ProxyLists& lists = TheProxyLists();
    lists.sources = std::move(sources);
    if (lists.sources_changed) lists.sources_changed();
    if (body) KeepServiceLines(*body);
    // A service that is down costs only its own part: the sources that answered still count.
    const bool any_source = std::any_of(lists.sources.begin(), lists.sources.end(),
                                        [](const catalogue::SourceOutcome& source) { return source.ok; });
    const bool rebuilt = body.has_value() || any_source;
    if (rebuilt) MergeNewList();
    Pinger().Start(catalogue::GeneratorUrl());
    if (UseProxyOn()) {
        const std::string proxy_name = settings::RegStringSetting(settings::kProxyName).get();
        if (ProxyChosen(proxy_name)) {
            SwitchOn(proxy_name, ui, true);
        } else {
            SwitchAnonymityOff();
        }
    } else {
        SwitchAnonymityOff();
    }
    return rebuilt;
}

}  // namespace vestrel::app
