// The plain sub-page, the tips panel and the status page with its hint panel.
#include "app/win/Pages.h"

#include <windows.h>

#include "app/Links.h"
#include "app/ShellTexts.h"
#include "app/win/ui/Skin.h"
#include "platform/http/HostLookup.h"
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
        {165, 1001, 261, 262}, {169, 1001, 263, 264}, {175, 1001, 267, 258}, {176, 1001, 261, 262},
        {177, IDOK, 271, 270}, {179, 1001, 274, 275}, {180, 1001, 274, 275}, {181, 1001, 261, 262},
        {182, 1001, 272, 273}, {182, 1002, 261, 262},
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
        anonymity_.SetPictures(203, 205, 204);
    } else {
        anonymity_.SetPictures(196, 202, 197);
    }
    anonymity_status_.colour_mode = on ? 1 : 2;
    ui::SetTransparentText(hwnd(), 1079, on ? "Enabled" : "Disabled");
}

void StatusPage::ShowPrivacy(bool on) {
    if (on) {
        privacy_.SetPictures(206, 208, 207);
    } else {
        privacy_.SetPictures(199, 201, 200);
    }
    privacy_status_.colour_mode = on ? 1 : 2;
    ui::SetTransparentText(hwnd(), 1080, on ? "Enabled" : "Disabled");
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
    anonymity_status_.AttachItem(hwnd(), 1079);
    privacy_status_.AttachItem(hwnd(), 1080);
    ShowAnonymity(settings::RegDwordSetting(settings::kUseProxy).get() == 1);
    ShowPrivacy(settings::RegDwordSetting(settings::kAutoClean).get() == 1);
    real_address_ = RealAddress();

    ::SendDlgItemMessageA(hwnd(), 1063, CB_RESETCONTENT, 0, 0);
    ::SendDlgItemMessageA(hwnd(), 1032, CB_RESETCONTENT, 0, 0);
    ::SendDlgItemMessageA(hwnd(), 1063, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Perform empty list"));

    tips_link_.AttachItem(hwnd(), 1081);
    tips_link_.SetTarget(std::string(links::kTipsPage));
    SetItemText(hwnd(), 1081, "click here");
    for (int caption : {1082, 1069, 1070}) ::SendDlgItemMessageA(hwnd(), caption, WM_SETFONT, 0, TRUE);

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
