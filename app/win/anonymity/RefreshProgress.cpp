// The refresh's progress sequence.
#include "app/win/anonymity/RefreshProgress.h"

#include <commctrl.h>

#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/win/ui/Control.h"
#include "catalogue/ListSources.h"
#include "catalogue/ProxyListDownload.h"

namespace vestrel::app {

namespace {

constexpr UINT kStepMilliseconds = 300;
bool g_running = false;

}  // namespace

void DownloadProxyList(const LifeToken& life, std::function<void(std::optional<std::string> body)> arrived) {
    BeginListRefresh();
    StartBackgroundWork(
        [watch = life.Watcher(), arrived = std::move(arrived), url = catalogue::ProxyListUrl()]() -> UiStep {
            std::optional<std::string> body = catalogue::TransferProxyList(url);
            return [watch, arrived, body = std::move(body)]() mutable {
                EndListDownload();
                if (watch.Alive()) arrived(std::move(body));
            };
        });
}

RefreshProgress::RefreshProgress(HWND dialog, int progress_id, AnonymityUi ui,
                                 std::function<void(bool updated)> done)
    : dialog_(dialog), progress_id_(progress_id), ui_(std::move(ui)), done_(std::move(done)) {}

RefreshProgress::~RefreshProgress() {
    if (step_ == Step::Idle) return;
    ::KillTimer(dialog_, kTimer);
    // A transfer still on its way finishes the refresh by itself (see Start); only the timer steps end.
    if (step_ != Step::Transfer) g_running = false;
}

bool RefreshProgress::AnyRunning() { return g_running; }

void RefreshProgress::SetPosition(int position) {
    position_ = position;
    ::SendDlgItemMessageA(dialog_, progress_id_, PBM_SETPOS, position, 0);
}

bool RefreshProgress::Start() {
    if (g_running || step_ != Step::Idle) return false;
    g_running = true;
    updated_ = false;
    failed_sources_.clear();
    message_.clear();
    SetPosition(20);
    step_ = Step::BeforeTransfer;
    ::SetTimer(dialog_, kTimer, kStepMilliseconds, nullptr);
    return true;
}

bool RefreshProgress::OnTimer(UINT_PTR timer) {
    if (timer != kTimer) return false;
    if (step_ == Step::BeforeTransfer) {
        ::KillTimer(dialog_, kTimer);
        step_ = Step::Transfer;
        BeginListRefresh();
        const LifeToken::Watch watch = life_.Watcher();
        // The refresh's second half runs even when the dialog has gone meanwhile: the browsers were
        // set direct for the transfer and must follow UseProxy again.
        StartBackgroundWork([this, watch, ui = ui_, url = catalogue::ProxyListUrl(),
                             source_urls = catalogue::RefreshSourceUrls()]() -> UiStep {
            platform::http::GetOptions options;
            // Never through our own relay, whatever the system's settings say meanwhile.
            options.direct = true;
            // The service and the other lists at once: the slowest of them sets the time, not their sum.
            std::optional<std::string> body;
            std::thread service([&] { body = catalogue::TransferProxyList(url, options); });
            std::vector<catalogue::SourceOutcome> sources = catalogue::FetchListSources(source_urls, options);
            service.join();
            return [this, watch, ui, url, body = std::move(body), sources = std::move(sources)]() mutable {
                std::string failed = catalogue::FailedSourcesText(sources);
                std::vector<catalogue::SourceOutcome> kept = sources;
                const bool updated = FinishListRefresh(body, std::move(kept), ui);
                std::string message = catalogue::RefreshMessage(url, body.has_value(),
                                                                TheProxyLists().new_list.size(), sources);
                if (watch.Alive()) {
                    failed_sources_ = std::move(failed);
                    message_ = std::move(message);
                    TransferArrived(updated);
                } else {
                    g_running = false;
                }
            };
        });
    } else if (step_ == Step::After) {
        if (position_ < ui::kProgressFull) {
            SetPosition(position_ + 20);
        } else {
            ::KillTimer(dialog_, kTimer);
            step_ = Step::Idle;
            g_running = false;
            if (done_) done_(updated_);
        }
    }
    return true;
}

void RefreshProgress::TransferArrived(bool updated) {
    updated_ = updated;
    step_ = Step::After;
    SetPosition(40);
    ::SetTimer(dialog_, kTimer, kStepMilliseconds, nullptr);
}

}  // namespace vestrel::app
