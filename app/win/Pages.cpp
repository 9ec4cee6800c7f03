// The plain sub-page, the tips panel and the status page with its hint panel.
#include "app/win/Pages.h"

#include <windows.h>


#include "ArtworkIds.h"
#include "app/Links.h"
#include "app/ShellTexts.h"
#include "app/win/ui/Skin.h"
#include "platform/http/HostLookup.h"
#include "resources/ids/AnonymityIds.h"
#include "resources/ids/OptionsIds.h"
#include "resources/ids/PrivacyIds.h"
#include "settings/RegDwordSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

namespace {

// Escape on any page hides the main window to the tray, as the main window's own Escape does.
void HideMainWindowToTray(HWND page) {
    HWND main_window = ::GetAncestor(page, GA_ROOT);
    if (main_window != nullptr && main_window != page) ::SendMessageA(main_window, WM_COMMAND, IDCANCEL, 0);
}

}  // namespace

std::string RealAddress() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof(name);
    if (!::GetComputerNameA(name, &size)) return std::string(kUnknownAddress);
    return platform::http::LookupIPv4(name).value_or(std::string(kUnknownAddress));
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

// ---------------------------------------------------------------------------------------------

HintPanel::HintPanel(HWND main_window) : MessageMap(kTemplate, main_window) {
    colour_rule_ = ui::ColourRule::Page;
}

bool HintPanel::OnInitDialog() {
    BindText(kAnonymityHint, anonymity_hint);
    BindText(kPrivacyHint, privacy_hint);
    UpdateData(false);
    return true;
}

// ---------------------------------------------------------------------------------------------

StatusPage::StatusPage(HWND main_window) : MessageMap(kTemplate, main_window) {
    colour_rule_ = ui::ColourRule::Page;
}

std::span<const ui::CommandEntry<StatusPage>> StatusPage::Commands() {
    static constexpr ui::CommandEntry<StatusPage> kCommands[] = {
        {kPrivacySwitch, &StatusPage::OnPrivacySwitch},
        {IDOK, &StatusPage::OnOk},
        {IDCANCEL, &StatusPage::OnCancel}};
    return kCommands;
}

void StatusPage::OnCancel() { HideMainWindowToTray(hwnd()); }

void StatusPage::ShowAnonymity(bool on) {
    if (on) {
        anonymity_.SetPictures(IDB_DISABLE_ANONYMITY, IDB_DISABLE_ANONYMITY_PRESSED,
                               IDB_DISABLE_ANONYMITY_HOVER);
    } else {
        anonymity_.SetPictures(IDB_ENABLE_ANONYMITY, IDB_ENABLE_ANONYMITY_PRESSED,
                               IDB_ENABLE_ANONYMITY_HOVER);
    }
    anonymity_status_.colour_mode = on ? 1 : 2;
    ui::SetTransparentText(hwnd(), IDC_STATUS_ANONYMITY_STATE, on ? "Enabled" : "Disabled");
}

void StatusPage::ShowPrivacy(bool on) {
    if (on) {
        privacy_.SetPictures(IDB_DISABLE_PRIVACY, IDB_DISABLE_PRIVACY_PRESSED, IDB_DISABLE_PRIVACY_HOVER);
    } else {
        privacy_.SetPictures(IDB_ENABLE_PRIVACY, IDB_ENABLE_PRIVACY_PRESSED, IDB_ENABLE_PRIVACY_HOVER);
    }
    privacy_status_.colour_mode = on ? 1 : 2;
    ui::SetTransparentText(hwnd(), IDC_STATUS_PRIVACY_STATE, on ? "Enabled" : "Disabled");
}

bool StatusPage::OnInitDialog() {
    anonymity_.AttachItem(hwnd(), kAnonymitySwitch);
    privacy_.AttachItem(hwnd(), kPrivacySwitch);
    anonymity_.SetName("Anonymity");
    privacy_.SetName("Privacy");
    for (ui::Label* label : {&anonymity_status_, &privacy_status_}) {
        label->bold = true;
        label->antialias = true;
        label->font_height = 16;
    }
    anonymity_status_.AttachItem(hwnd(), IDC_STATUS_ANONYMITY_STATE);
    privacy_status_.AttachItem(hwnd(), IDC_STATUS_PRIVACY_STATE);
    ShowAnonymity(settings::RegDwordSetting(settings::kUseProxy).get() == 1);
    ShowPrivacy(settings::RegDwordSetting(settings::kAutoClean).get() == 1);
    real_address_ = RealAddress();

    ::SendDlgItemMessageA(hwnd(), IDC_STATUS_TESTED_BOX, CB_RESETCONTENT, 0, 0);
    ::SendDlgItemMessageA(hwnd(), IDC_STATUS_NEW_BOX, CB_RESETCONTENT, 0, 0);
    ::SendDlgItemMessageA(hwnd(), IDC_STATUS_TESTED_BOX, CB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>("Perform empty list"));

    tips_link_.AttachItem(hwnd(), IDC_STATUS_TIPS_LINK);
    tips_link_.SetTarget(std::string(links::kTipsPage));
    SetItemText(hwnd(), IDC_STATUS_TIPS_LINK, "click here");
    for (int caption : {IDC_STATUS_TITLE, IDC_STATUS_NEW_LABEL, IDC_STATUS_TESTED_LABEL})
        ::SendDlgItemMessageA(hwnd(), caption, WM_SETFONT, 0, TRUE);

    hint_panel_ = std::make_unique<HintPanel>(parent());
    if (!hint_panel_->Create()) return false;
    ::SetWindowLongPtrA(hint_panel_->hwnd(), GWLP_ID, HintPanel::kTemplate);
    // Above the status page, which it overlaps.
    ::SetWindowPos(hint_panel_->hwnd(), HWND_TOP, 550, 250, 200, 120, SWP_SHOWWINDOW);
    return true;
}

void StatusPage::OnPrivacySwitch() {
    settings::RegDwordSetting auto_clean(settings::kAutoClean);
    const bool on = auto_clean.get() == 0;
    auto_clean.set(on ? 1 : 0);
    ShowPrivacy(on);
    ::RedrawWindow(hwnd(), nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void StatusPage::OnSwitchHover(const std::string& name, bool entered) {
    if (!hint_panel_ || hint_panel_->hwnd() == nullptr) return;
    if (name == "Anonymity") {
        const bool on = settings::RegDwordSetting(settings::kUseProxy).get() == 1;
        hint_panel_->anonymity_hint =
            !entered ? ""
            : on     ? "Press Disable Online Anonymity to surf using your real IP address"
                     : "Press Enable Online Anonymity to surf anonymously";
        ui::SetTransparentText(hint_panel_->hwnd(), HintPanel::kAnonymityHint,
                               hint_panel_->anonymity_hint.c_str());
    } else if (name == "Privacy") {
        const bool on = settings::RegDwordSetting(settings::kAutoClean).get() == 1;
        hint_panel_->privacy_hint = !entered ? ""
                                    : on     ? "Press Disable Privacy to deactivate the privacy setting."
                                             : "Press Enable Privacy to activate the privacy setting. To "
                                               "configure privacy settings, see the "
                                               "privacy panel.";
        ui::SetTransparentText(hint_panel_->hwnd(), HintPanel::kPrivacyHint,
                               hint_panel_->privacy_hint.c_str());
    }
}

}  // namespace vestrel::app
