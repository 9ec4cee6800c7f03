// The self-test's verdict dialog.
#include "app/win/anonymity/SelfTestDialog.h"

#include <utility>

#include "ArtworkIds.h"
#include "app/Links.h"

namespace vestrel::app {

SelfTestDialog::SelfTestDialog(HWND parent, std::string text)
    : MessageMap(kTemplate, parent), verdict(std::move(text)) {
    colour_rule_ = ui::ColourRule::GreyStatics;
    moves_by_body_ = true;
    fit_to_background_ = true;
}

std::span<const ui::CommandEntry<SelfTestDialog>> SelfTestDialog::Commands() {
    static constexpr ui::CommandEntry<SelfTestDialog> kCommands[] = {{IDOK, &SelfTestDialog::OnOk},
                                                                     {IDCANCEL, &SelfTestDialog::OnCancel}};
    return kCommands;
}

bool SelfTestDialog::OnInitDialog() {
    InitPopup(ok_, IDOK, IDB_OK, IDB_OK_PRESSED);
    // The verdict where the message dialog has its text, the link between it and the button.
    PlaceItem(IDC_SELF_TEST_TEXT, 24, 70, 384, 72);
    PlaceItem(IDC_SELF_TEST_LINK, 24, 150, 384, 18);
    SetItemText(hwnd(), IDC_SELF_TEST_TEXT, verdict);
    link_.AttachItem(hwnd(), IDC_SELF_TEST_LINK);
    link_.SetTarget(std::string(links::kAddressCheckPage));
    return true;
}

void ShowSelfTestVerdict(HWND parent, std::string verdict) {
    SelfTestDialog dialog(parent, std::move(verdict));
    dialog.DoModal();
}

}  // namespace vestrel::app
