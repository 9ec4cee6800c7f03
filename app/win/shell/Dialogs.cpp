// About, the minimise hint and the anonymity progress dialog.
#include "app/win/shell/Dialogs.h"

#include <commctrl.h>

#include "ArtworkIds.h"
#include "app/win/shell/Integration.h"
#include "settings/RegDwordSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

AboutDialog::AboutDialog(HWND parent) : MessageMap(kTemplate, parent) {
    colour_rule_ = ui::ColourRule::GreyStatics;
    moves_by_body_ = true;
    fit_to_background_ = true;
}

bool AboutDialog::OnInitDialog() {
    InitPopup(ok_, IDOK, IDB_OK, IDB_OK_PRESSED);
    return true;
}

// ---------------------------------------------------------------------------------------------

MinimiseHintDialog::MinimiseHintDialog(HWND parent) : MessageMap(kTemplate, parent) {
    colour_rule_ = ui::ColourRule::GreyStatics;
    moves_by_body_ = true;
    fit_to_background_ = true;
}

std::span<const ui::CommandEntry<MinimiseHintDialog>> MinimiseHintDialog::Commands() {
    static constexpr ui::CommandEntry<MinimiseHintDialog> kCommands[] = {
        {kConfirm, &MinimiseHintDialog::OnConfirm}};
    return kCommands;
}

bool MinimiseHintDialog::OnInitDialog() {
    InitPopup(confirm_, kConfirm, IDB_OK, IDB_OK_PRESSED);
    BindCheck(kDoNotShowAgain, do_not_show_again);
    UpdateData(false);
    return true;
}

void MinimiseHintDialog::OnConfirm() {
    UpdateData(true);
    // A ticked box stops the hint; otherwise it keeps appearing.
    settings::RegDwordSetting(settings::kHideHint).set(do_not_show_again != 0 ? 0 : 1);
    EndDialog(IDOK);
}

}  // namespace vestrel::app
