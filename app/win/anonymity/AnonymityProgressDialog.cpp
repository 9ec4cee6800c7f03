// The quick anonymity button's dialog.
#include "app/win/anonymity/AnonymityProgressDialog.h"

#include <commctrl.h>

#include "ArtworkIds.h"
#include "app/win/shell/Integration.h"

namespace vestrel::app {

AnonymityProgressDialog::AnonymityProgressDialog(HWND parent) : MessageMap(kTemplate, parent) {
    colour_rule_ = ui::ColourRule::GreyStatics;
    moves_by_body_ = true;
    fit_to_background_ = true;
}

std::span<const ui::MessageEntry<AnonymityProgressDialog>> AnonymityProgressDialog::Messages() {
    static constexpr ui::MessageEntry<AnonymityProgressDialog> kMessages[] = {
        {WM_TIMER, &AnonymityProgressDialog::OnTimer}};
    return kMessages;
}

std::span<const ui::CommandEntry<AnonymityProgressDialog>> AnonymityProgressDialog::Commands() {
    static constexpr ui::CommandEntry<AnonymityProgressDialog> kCommands[] = {
        {IDOK, &AnonymityProgressDialog::OnButton}, {IDCANCEL, &AnonymityProgressDialog::OnCancel}};
    return kCommands;
}

bool AnonymityProgressDialog::OnInitDialog() {
    InitPopup(button_, IDOK, IDB_START, IDB_START_PRESSED);
    PlaceItem(kProgress, 40, 120, 352, 18);
    progress_ = std::make_unique<RefreshProgress>(hwnd(), kProgress, AnonymityUiFor(parent()),
                                                  [this](bool updated) { OnRefreshed(updated); });
    return true;
}

// The first press starts the refresh; the button then waits for it, and a later press closes.
void AnonymityProgressDialog::OnButton() {
    if (progress_->Running()) return;
    if (ran_) {
        EndDialog(IDOK);
        return;
    }
    if (!progress_->Start()) {
        ui::ShowMessage(hwnd(), "The proxy list is being updated already. Please wait for it to finish.");
        return;
    }
    ran_ = true;
    button_.SetPictures(IDB_OK, IDB_OK_PRESSED);
    ::EnableWindow(button_.hwnd(), FALSE);
}

// Escape closes at any time; a refresh under way finishes by itself.
void AnonymityProgressDialog::OnCancel() { EndDialog(IDCANCEL); }

void AnonymityProgressDialog::OnRefreshed(bool updated) {
    ::EnableWindow(button_.hwnd(), TRUE);
    std::string text = updated ? std::string() : std::string(kListNotDownloaded);
    if (!progress_->failed_sources().empty()) text += (text.empty() ? "" : " ") + progress_->failed_sources();
    if (!text.empty()) ui::ShowMessage(hwnd(), text);
}

ui::Result AnonymityProgressDialog::OnTimer(const ui::Message& message) {
    if (!progress_ || !progress_->OnTimer(message.wparam)) return std::nullopt;
    return 0;
}

}  // namespace vestrel::app
