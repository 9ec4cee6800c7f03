// The start-up page.
#include "app/win/options/StartUpPage.h"

#include <chrono>
#include <optional>

#include "app/Anonymity.h"
#include "app/OptionsRules.h"
#include "app/RunAtStartup.h"
#include "app/win/shell/Integration.h"
#include "platform/http/HostLookup.h"
#include "platform/net/Socket.h"
#include "relay/LocalRelay.h"
#include "settings/RegDwordSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {
namespace {

using namespace std::chrono_literals;

std::string RunningProgramPath() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string() : std::string(path, length);
}

// What a connection to `port` on this computer finds. Run on a worker: a port that swallows the
// connection without answering would otherwise hold the window for the whole timeout.
std::string_view ProbePort(std::uint16_t port) {
    const std::optional<std::string> address = platform::http::LookupIPv4("localhost");
    if (!address) return kCannotCreateSocket;
    std::error_code error;
    const platform::net::Socket socket = platform::net::ConnectTcp(*address, port, 3s, error);
    return socket.Valid() ? kPortInUse : kPortAvailable;
}

}  // namespace

StartUpPage::StartUpPage(HWND main_window) : MessageMap(kTemplate, main_window) {}

std::span<const ui::MessageEntry<StartUpPage>> StartUpPage::Messages() {
    static constexpr ui::MessageEntry<StartUpPage> kMessages[] = {{WM_CLOSE, &StartUpPage::OnClose}};
    return kMessages;
}

std::span<const ui::CommandEntry<StartUpPage>> StartUpPage::Commands() {
    static constexpr ui::CommandEntry<StartUpPage> kCommands[] = {
        {IDC_START_UP_TEST_PORT, &StartUpPage::OnTestPort}, {IDC_START_UP_APPLY, &StartUpPage::OnApply}};
    return kCommands;
}

bool StartUpPage::OnInitDialog() {
    PlainPage::OnInitDialog();
    port_ = std::to_string(settings::RegDwordSetting(settings::kLocalPort).get());
    run_at_startup_ = RunAtStartupOn() ? 1 : 0;
    BindCheck(IDC_START_UP_RUN, run_at_startup_);
    BindText(IDC_START_UP_PORT, port_);
    UpdateData(false);
    return true;
}

void StartUpPage::Tell(std::string_view text) { ui::ShowMessage(parent(), std::string(text)); }

void StartUpPage::OnTestPort() {
    UpdateData(true);
    if (port_.empty()) {
        Tell(kSpecifyPort);
        return;
    }
    const std::optional<std::uint16_t> port = AcceptedPort(port_);
    if (!port) {
        Tell(kPortOutOfRange);
        port_ = std::string(kDefaultPortText);
        UpdateData(false);
        return;
    }
    // Our own relay on that port is not another program.
    const relay::LocalRelay& local_relay = relay::TheLocalRelay();
    if (local_relay.isRunning() && local_relay.boundPort() == *port) {
        Tell(kPortAvailable);
        return;
    }
    ::EnableWindow(Item(IDC_START_UP_TEST_PORT), FALSE);
    const LifeToken::Watch watch = life_.Watcher();
    StartBackgroundWork([this, watch, port = *port]() -> UiStep {
        const std::string_view verdict = ProbePort(port);
        return [this, watch, verdict] {
            if (!watch.Alive()) return;
            ::EnableWindow(Item(IDC_START_UP_TEST_PORT), TRUE);
            Tell(verdict);
        };
    });
}

bool StartUpPage::Apply() {
    UpdateData(true);
    const std::optional<std::uint16_t> port = AcceptedPort(port_);
    if (!port) {
        // A port the relay cannot use is never stored: the browsers would be pointed where nothing
        // listens.
        Tell(kPortOutOfRange);
        return false;
    }
    run_at_startup_ = ApplyRunAtStartup(run_at_startup_ != 0, RunningProgramPath()) ? 1 : 0;
    const std::uint32_t previous = settings::RegDwordSetting(settings::kLocalPort).get();
    settings::RegDwordSetting(settings::kLocalPort, true).set(*port);
    port_ = std::to_string(*port);
    UpdateData(false);
    // The relay and the browsers move together, so that they never point at different ports.
    if (previous != *port && settings::RegDwordSetting(settings::kUseProxy).get() == 1) {
        ApplyAnonymity(AnonymityUiFor(parent()));
    }
    return true;
}

ui::Result StartUpPage::OnClose(const ui::Message&) {
    Apply();
    return std::nullopt;
}

}  // namespace vestrel::app
