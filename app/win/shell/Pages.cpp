// The plain sub-page and the tips panel.
#include "app/win/shell/Pages.h"

#include <windows.h>

#include "ArtworkIds.h"
#include "app/win/ui/Skin.h"
#include "resources/ids/AnonymityIds.h"
#include "resources/ids/OptionsIds.h"
#include "resources/ids/PrivacyIds.h"

namespace vestrel::app {

void HideMainWindowToTray(HWND page) {
    HWND main_window = ::GetAncestor(page, GA_ROOT);
    if (main_window != nullptr && main_window != page) ::SendMessageA(main_window, WM_COMMAND, IDCANCEL, 0);
}

// ---------------------------------------------------------------------------------------------

PlainPage::PlainPage(int template_id, HWND main_window) : MessageMap(template_id, main_window) {
    colour_rule_ = ui::ColourRule::Page;
}

std::span<const ui::CommandEntry<PlainPage>> PlainPage::Commands() {
    static constexpr ui::CommandEntry<PlainPage> kCommands[] = {{IDOK, &PlainPage::OnOk},
                                                                {IDCANCEL, &PlainPage::OnCancel}};
    return kCommands;
}

void PlainPage::OnCancel() { HideMainWindowToTray(hwnd()); }

bool PlainPage::OnInitDialog() {
    // The pictures of the sub-pages' buttons (normal, pressed).
    struct ButtonPictures {
        int page, id, normal, pressed;
    };
    static constexpr ButtonPictures kButtons[] = {
        {IDD_WIZARD, IDC_WIZARD_APPLY, IDB_APPLY, IDB_APPLY_PRESSED},
        {IDD_CURRENT_PROXY, IDC_CURRENT_PROXY_CHANGE, IDB_CHANGE_PROXY, IDB_CHANGE_PROXY_PRESSED},
        {IDD_TESTED_LIST, IDC_TESTED_LIST_USE, IDB_USE_PROXY, IDB_USE_PROXY_PRESSED},
        {IDD_ADD_PROXY, IDC_ADD_PROXY_APPLY, IDB_APPLY, IDB_APPLY_PRESSED},
        {IDD_LIST_UPDATE, IDOK, IDB_LIST_UPDATE_START, IDB_LIST_UPDATE_START_PRESSED},
        {IDD_INVASIVE_CODE, IDC_INVASIVE_CODE_SAVE, IDB_SAVE, IDB_SAVE_PRESSED},
        {IDD_CLEANING, IDC_CLEANING_SAVE, IDB_SAVE, IDB_SAVE_PRESSED},
        {IDD_CLEANING, IDC_CLEANING_PREVIEW, IDB_PREVIEW, IDB_PREVIEW_PRESSED},
        {IDD_CLEANING, IDC_CLEANING_CLEAN_NOW, IDB_CLEAN_NOW, IDB_CLEAN_NOW_PRESSED},
        {IDD_BROWSERS, IDC_BROWSERS_APPLY, IDB_APPLY, IDB_APPLY_PRESSED},
        {IDD_START_UP, IDC_START_UP_TEST_PORT, IDB_TEST_PORT, IDB_TEST_PORT_PRESSED},
        {IDD_START_UP, IDC_START_UP_APPLY, IDB_APPLY, IDB_APPLY_PRESSED},
    };
    for (const ButtonPictures& entry : kButtons) {
        if (entry.page != template_id()) continue;
        auto button = std::make_unique<ui::SkinnedButton>();
        if (!button->AttachItem(hwnd(), entry.id)) continue;
        button->SetPictures(entry.normal, entry.pressed);
        buttons_.push_back(std::move(button));
    }
    return true;
}

// ---------------------------------------------------------------------------------------------

TipsPanel::TipsPanel(HWND main_window) : MessageMap(kTemplate, main_window) {
    colour_rule_ = ui::ColourRule::TipsPanel;
}

void TipsPanel::SetTip(const std::string& text) {
    if (hwnd() == nullptr) return;
    SetItemText(hwnd(), kTextId, text);
    // The panel is see-through, so the skin behind must be repainted before the new text: hiding
    // and showing the panel does exactly that.
    ::ShowWindow(hwnd(), SW_HIDE);
    ::ShowWindow(hwnd(), SW_SHOW);
}

std::string TipsPanel::Tip() const { return hwnd() == nullptr ? std::string() : ItemText(hwnd(), kTextId); }

}  // namespace vestrel::app
