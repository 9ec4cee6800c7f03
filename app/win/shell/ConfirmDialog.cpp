// The question dialog.
#include "app/win/shell/ConfirmDialog.h"

#include <utility>

#include "ArtworkIds.h"
#include "resources/ids/DialogIds.h"

namespace vestrel::app {

ConfirmDialog::ConfirmDialog(HWND parent, std::string text)
    : MessageMap(IDD_CONFIRM, parent), question(std::move(text)) {
    colour_rule_ = ui::ColourRule::GreyStatics;
    moves_by_body_ = true;
    fit_to_background_ = true;
}

std::span<const ui::CommandEntry<ConfirmDialog>> ConfirmDialog::Commands() {
    static constexpr ui::CommandEntry<ConfirmDialog> kCommands[] = {{IDOK, &ConfirmDialog::OnOk},
                                                                    {IDCANCEL, &ConfirmDialog::OnCancel}};
    return kCommands;
}

bool ConfirmDialog::OnInitDialog() {
    InitPopup(ok_, IDOK, IDB_OK, IDB_OK_PRESSED);
    // The two buttons side by side where the message dialog has its one.
    PlaceItem(IDOK, 118, 196, 90, 30);
    if (cancel_.AttachItem(hwnd(), IDCANCEL)) cancel_.SetPictures(IDB_CANCEL, IDB_CANCEL_PRESSED);
    PlaceItem(IDCANCEL, 224, 196, 90, 30);
    PlaceItem(IDC_CONFIRM_TEXT, 24, 70, 384, 110);
    SetItemText(hwnd(), IDC_CONFIRM_TEXT, question);
    return true;
}

bool Confirm(HWND parent, std::string question) {
    ConfirmDialog dialog(parent, std::move(question));
    return dialog.DoModal() == IDOK;
}

}  // namespace vestrel::app
