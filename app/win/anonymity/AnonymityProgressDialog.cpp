// The quick anonymity button's dialog.
#include "app/win/anonymity/AnonymityProgressDialog.h"

#include <commctrl.h>

#include <utility>
#include <vector>

#include "ArtworkIds.h"
#include "app/SelfTest.h"
#include "app/win/shell/Integration.h"
#include "app/win/ui/Skin.h"
#include "catalogue/ProxyText.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

namespace {

constexpr UINT kSearchTimerMilliseconds = 250;

bool AnonymityOn() { return settings::RegDwordSetting(settings::kUseProxy).get() == 1; }

}  // namespace

AnonymityProgressDialog::AnonymityProgressDialog(HWND parent) : MessageMap(kTemplate, parent) {
    colour_rule_ = ui::ColourRule::GreyStatics;
    moves_by_body_ = true;
    fit_to_background_ = true;
}

AnonymityProgressDialog::~AnonymityProgressDialog() {
    // A search still under way ends soon; its result finds the dialog gone and is dropped.
    if (search_) search_->Cancel();
}

std::span<const ui::MessageEntry<AnonymityProgressDialog>> AnonymityProgressDialog::Messages() {
    static constexpr ui::MessageEntry<AnonymityProgressDialog> kMessages[] = {
        {WM_TIMER, &AnonymityProgressDialog::OnTimer}};
    return kMessages;
}

std::span<const ui::CommandEntry<AnonymityProgressDialog>> AnonymityProgressDialog::Commands() {
    static constexpr ui::CommandEntry<AnonymityProgressDialog> kCommands[] = {
        {IDOK, &AnonymityProgressDialog::OnButton},
        {kCancel, &AnonymityProgressDialog::OnCancel},
        {IDCANCEL, &AnonymityProgressDialog::OnCancel}};
    return kCommands;
}

bool AnonymityProgressDialog::OnInitDialog() {
    InitPopup(button_, IDOK, IDB_START, IDB_START_PRESSED);
    cancel_.AttachItem(hwnd(), kCancel);
    cancel_.SetPictures(IDB_CANCEL, IDB_CANCEL_PRESSED);
    PlaceItem(IDC_ANONYMITY_PROGRESS_INTRO, 40, 62, 352, 32);
    PlaceItem(kProgress, 40, 98, 352, 16);
    PlaceItem(kStatus, 40, 120, 352, 60);
    PlaceItem(IDOK, 120, 190, 90, 30);
    PlaceItem(kCancel, 222, 190, 90, 30);
    progress_ = std::make_unique<RefreshProgress>(hwnd(), kProgress, AnonymityUiFor(parent()),
                                                  [this](bool updated) { OnRefreshed(updated); });
    return true;
}

// The line lies on the background picture: the old text must be painted over, not under, the new one.
void AnonymityProgressDialog::ShowStatus(const std::string& text) {
    ui::SetTransparentText(hwnd(), kStatus, text.c_str());
}

// The first press starts; the button then waits for the end, and a later press closes.
void AnonymityProgressDialog::OnButton() {
    if (stage_ == Stage::Done) {
        EndDialog(IDOK);
        return;
    }
    if (stage_ != Stage::Ready) return;
    if (!progress_->Start()) {
        ui::ShowMessage(hwnd(), "The proxy list is being updated already. Please wait for it to finish.");
        return;
    }
    stage_ = Stage::Refreshing;
    ShowStatus("Updating the proxy list...");
    button_.SetPictures(IDB_OK, IDB_OK_PRESSED);
    ::EnableWindow(button_.hwnd(), FALSE);
}

// Cancel (or Escape) closes at any time: a search under way stops and changes nothing; a refresh
// under way finishes by itself.
void AnonymityProgressDialog::OnCancel() {
    if (search_) search_->Cancel();
    EndDialog(IDCANCEL);
}

// What came from where stays beside the outcome: "3,412 proxies from 4 lists.", the lists that failed.
void AnonymityProgressDialog::OnRefreshed(bool) {
    refresh_note_ = progress_->message();
    StartSearch();
}

// On a worker: the proxy in use checked with the judge; when it no longer passes, the New list
// searched. The dialog's timer shows how far the search got meanwhile.
void AnonymityProgressDialog::StartSearch() {
    stage_ = Stage::Searching;
    const std::string chosen = settings::RegStringSetting(settings::kProxyName).get();
    const std::vector<std::string>& lines = TheProxyLists().new_list;
    search_ = std::make_shared<QuickSearch>(lines, KnownConnectTimes(lines));
    checking_chosen_ = !chosen.empty();
    ShowStatus(chosen.empty() ? QuickProgressText(0, search_->Total(), 0)
                              : std::string(kQuickCheckingChosen));
    ::SendDlgItemMessageA(hwnd(), kProgress, PBM_SETPOS, 0, 0);
    ::SetTimer(hwnd(), kSearchTimer, kSearchTimerMilliseconds, nullptr);
    StartBackgroundWork([this, watch = life_.Watcher(), search = search_, chosen]() -> UiStep {
        const std::vector<std::string> real = catalogue::TheRealAddress().Addresses();
        const catalogue::JudgeFunction judge = [real](const catalogue::ProxyRoute& proxy,
                                                      const std::atomic<bool>& cancel) {
            catalogue::JudgeOptions options;
            options.cancel = &cancel;
            return catalogue::JudgeProxy(proxy, real, options);
        };
        bool kept = false;
        if (!chosen.empty()) {
            const std::atomic<bool> never{false};
            // Still answering and still hiding the user is enough to keep it; a new one must tunnel too.
            const catalogue::Grade grade = judge(catalogue::ProxyRouteOf(chosen), never).grade;
            kept = grade == catalogue::Grade::kElite || grade == catalogue::Grade::kAnonymous;
        }
        if (!kept && !search->Cancelled()) search->Run(judge);
        std::vector<QuickFind> finds = search->Cancelled() ? std::vector<QuickFind>() : search->Usable();
        return [this, watch, kept, finds = std::move(finds)]() mutable {
            if (watch.Alive()) SearchEnded(kept, std::move(finds));
        };
    });
}

void AnonymityProgressDialog::ShowSearchProgress() {
    if (!search_) return;
    const std::size_t total = search_->Total();
    const std::size_t tested = search_->Tested();
    ShowStatus(QuickProgressText(tested, total, search_->Working()));
    const int position =
        total == 0 ? ui::kProgressFull : static_cast<int>(tested * ui::kProgressFull / total);
    ::SendDlgItemMessageA(hwnd(), kProgress, PBM_SETPOS, position, 0);
}

// The first Elite proxy found protects the user at once; the search goes on for faster ones.
void AnonymityProgressDialog::UseFirstElite() {
    if (using_early_ || !search_ || search_->Cancelled()) return;
    const std::optional<QuickFind> elite = search_->FirstElite();
    if (!elite) return;
    using_early_ = true;
    AdoptQuickFinds({*elite}, AnonymityUiFor(parent()));
}

void AnonymityProgressDialog::SearchEnded(bool kept, std::vector<QuickFind> finds) {
    ::KillTimer(hwnd(), kSearchTimer);
    const AnonymityUi ui = AnonymityUiFor(parent());
    if (kept) {
        // On already through a working proxy: the refresh has applied it again, as it always did.
        if (!AnonymityOn() && !SwitchOnWithChosenProxy(ui)) {
            Finish("Online anonymity could not be switched on.");
            return;
        }
    } else {
        ShowSearchProgress();
        if (finds.empty()) {
            Finish(std::string(kQuickNoneFound));
            return;
        }
        if (!AdoptQuickFinds(finds, ui)) {
            Finish("Online anonymity could not be switched on.");
            return;
        }
    }
    AskWhetherHidden();
}

void AnonymityProgressDialog::AskWhetherHidden() {
    stage_ = Stage::Hiding;
    ShowStatus(std::string(kQuickAskingJudge));
    ::SendDlgItemMessageA(hwnd(), kProgress, PBM_SETPOS, ui::kProgressFull, 0);
    const std::uint32_t local_port = settings::RegDwordSetting(settings::kLocalPort).get();
    StartBackgroundWork([this, watch = life_.Watcher(), local_port]() -> UiStep {
        std::string verdict = SelfTestVerdict(RunSelfTest(true, local_port));
        return [this, watch, verdict = std::move(verdict)] {
            if (watch.Alive()) Finish(verdict);
        };
    });
}

void AnonymityProgressDialog::Finish(const std::string& text) {
    stage_ = Stage::Done;
    ShowStatus(refresh_note_.empty() ? text : text + "\n" + refresh_note_);
    ::EnableWindow(button_.hwnd(), TRUE);
    ::EnableWindow(cancel_.hwnd(), FALSE);
}

ui::Result AnonymityProgressDialog::OnTimer(const ui::Message& message) {
    if (message.wparam == kSearchTimer) {
        // While the proxy in use is being checked, its line stays until the search has tested one.
        if (stage_ == Stage::Searching && search_ && (!checking_chosen_ || search_->Tested() > 0)) {
            ShowSearchProgress();
            UseFirstElite();
        }
        return 0;
    }
    if (!progress_ || !progress_->OnTimer(message.wparam)) return std::nullopt;
    return 0;
}

}  // namespace vestrel::app
