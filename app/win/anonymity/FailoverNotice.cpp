// From the relay's report to the tray balloon: the report arrives on a connection thread, the Tested
// list is read on the user-interface thread, the proxies are tried on a worker, and the move is made
// back on the user-interface thread.
#include "app/win/anonymity/FailoverNotice.h"

#include <atomic>
#include <string>

#include "app/Failover.h"
#include "app/win/shell/BackgroundWork.h"
#include "app/win/shell/Integration.h"
#include "relay/UpstreamWatch.h"

namespace vestrel::app {

namespace {

constexpr std::string_view kBalloonTitle = "Vestrel";

// The window the balloons go to; null once it has gone.
std::atomic<TrayDialog*> g_window{nullptr};

void Tell(const std::string& text) {
    TrayDialog* window = g_window.load();
    if (window != nullptr && !text.empty()) window->ShowBalloon(kBalloonTitle, text);
}

// On the user-interface thread: a move is still wanted, so the candidates are tried on a worker.
void MoveAwayFrom(const std::string& failed) {
    if (g_window.load() == nullptr) return;
    if (!AutoSwitchOn() || !StillUsing(failed)) {
        RearmFailover();
        return;
    }
    std::vector<FailoverCandidate> candidates = FailoverCandidates(failed);
    StartBackgroundWork([failed, candidates = std::move(candidates)]() -> UiStep {
        std::optional<FailoverCandidate> chosen = ChooseReplacement(candidates);
        return [failed, chosen = std::move(chosen)] {
            TrayDialog* window = g_window.load();
            if (window == nullptr) return;
            Tell(FinishFailover(failed, chosen, AnonymityUiFor(window->hwnd())));
        };
    });
}

}  // namespace

void StartFailoverWatch(TrayDialog& window) {
    g_window = &window;
    relay::TheUpstreamWatch().SetHandler([](const std::string& failed) {
        // A connection thread: nothing here touches the lists or a window.
        StartBackgroundWork([failed]() -> UiStep { return [failed] { MoveAwayFrom(failed); }; });
    });
}

void StopFailoverWatch() {
    relay::TheUpstreamWatch().SetHandler({});
    g_window = nullptr;
}

}  // namespace vestrel::app
