// The status page and its hint panel.
#include "app/win/shell/StatusPage.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ArtworkIds.h"
#include "app/Anonymity.h"
#include "app/Links.h"
#include "app/ShellTexts.h"
#include "app/win/anonymity/ProxyTestDialog.h"
#include "app/win/anonymity/RefreshProgress.h"
#include "app/win/shell/ConfirmDialog.h"
#include "app/win/shell/Integration.h"
#include "app/win/shell/Pages.h"
#include "app/win/ui/Skin.h"
#include "browsers/ConnectionOptions.h"
#include "catalogue/CatalogueLines.h"
#include "catalogue/ProxyJudge.h"
#include "catalogue/ProxyListDownload.h"
#include "catalogue/TestedFile.h"
#include "platform/http/HostLookup.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

namespace {

constexpr std::string_view kRealAddressPrefix = "Real IP Address:";
constexpr std::string_view kEmptyTestedListQuestion =
    "Empty the list of tested proxies?\n\nEvery proxy in it is removed, from MyProxies.txt too.";

bool UseProxyOn() { return settings::RegDwordSetting(settings::kUseProxy).get() == 1; }

}  // namespace

std::string RealAddress() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof(name);
    if (!::GetComputerNameA(name, &size)) return std::string(kUnknownAddress);
    return platform::http::LookupIPv4(name).value_or(std::string(kUnknownAddress));
}

// ---------------------------------------------------------------------------------------------

HintPanel::HintPanel(HWND main_window) : MessageMap(IDD_STATUS_HINT_PANEL, main_window) {
    colour_rule_ = ui::ColourRule::Page;
}

bool HintPanel::OnInitDialog() {
    BindText(IDC_STATUS_HINT_ANONYMITY, anonymity_hint);
    BindText(IDC_STATUS_HINT_PRIVACY, privacy_hint);
    UpdateData(false);
    return true;
}

// ---------------------------------------------------------------------------------------------

StatusPage::StatusPage(HWND main_window) : MessageMap(IDD_STATUS_PAGE, main_window) {
    colour_rule_ = ui::ColourRule::Page;
}

StatusPage::~StatusPage() {
    TheProxyLists().tested_box_changed = nullptr;
    TheProxyLists().new_box_changed = nullptr;
}

std::span<const ui::MessageEntry<StatusPage>> StatusPage::Messages() {
    static constexpr ui::MessageEntry<StatusPage> kMessages[] = {{WM_COMMAND, &StatusPage::OnBoxCommand}};
    return kMessages;
}

std::span<const ui::CommandEntry<StatusPage>> StatusPage::Commands() {
    static constexpr ui::CommandEntry<StatusPage> kCommands[] = {
        {IDC_STATUS_ANONYMITY_SWITCH, &StatusPage::OnAnonymitySwitch},
        {IDC_STATUS_PRIVACY_SWITCH, &StatusPage::OnPrivacySwitch},
        {IDOK, &StatusPage::OnOk},
        {IDCANCEL, &StatusPage::OnCancel}};
    return kCommands;
}

void StatusPage::OnCancel() { HideMainWindowToTray(hwnd()); }

// Enter in the "Tested" box picks its entry as a click on it would; elsewhere it does nothing.
void StatusPage::OnOk() {
    if (::GetFocus() == Item(IDC_STATUS_TESTED_BOX)) OnTestedBoxChoice(true);
}

void StatusPage::ShowAnonymity(bool on) {
    anonymity_shown_ = on;
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
    anonymity_.AttachItem(hwnd(), IDC_STATUS_ANONYMITY_SWITCH);
    privacy_.AttachItem(hwnd(), IDC_STATUS_PRIVACY_SWITCH);
    anonymity_.SetName("Anonymity");
    privacy_.SetName("Privacy");
    for (ui::Label* label : {&anonymity_status_, &privacy_status_}) {
        label->bold = true;
        label->antialias = true;
        label->font_height = 16;
    }
    anonymity_status_.AttachItem(hwnd(), IDC_STATUS_ANONYMITY_STATE);
    privacy_status_.AttachItem(hwnd(), IDC_STATUS_PRIVACY_STATE);
    const bool anonymity_on = UseProxyOn();
    if (anonymity_on) {
        // Only a start that skipped the reset gets here; the browsers follow the relay's port.
        try {
            browsers::SetConnectionOptions(catalogue::kDefaultConnectionSettings, RelayServer());
        } catch (...) {
        }
    }
    ShowAnonymity(anonymity_on);
    ShowPrivacy(settings::RegDwordSetting(settings::kAutoClean).get() == 1);
    real_address_ = RealAddress();
    AskPublicAddress();

    ::SendDlgItemMessageA(hwnd(), IDC_STATUS_NEW_BOX, CB_RESETCONTENT, 0, 0);
    FillTestedBox();
    TheProxyLists().tested_box_changed = [this] { FillTestedBox(); };
    // Every rebuild of the New list shows here: the download below, and each refresh with its sources.
    TheProxyLists().new_box_changed = [this] { FillNewBox(); };
    StartNewBoxDownload();

    tips_link_.AttachItem(hwnd(), IDC_STATUS_TIPS_LINK);
    tips_link_.SetTarget(std::string(links::kTipsPage));
    SetItemText(hwnd(), IDC_STATUS_TIPS_LINK, "click here");
    for (int caption : {IDC_STATUS_TITLE, IDC_STATUS_NEW_LABEL, IDC_STATUS_TESTED_LABEL})
        UseCaptionFont(caption);

    hint_panel_ = std::make_unique<HintPanel>(parent());
    if (!hint_panel_->Create()) return false;
    ::SetWindowLongPtrA(hint_panel_->hwnd(), GWLP_ID, IDD_STATUS_HINT_PANEL);
    // Above the status page, which it overlaps.
    Place(hint_panel_->hwnd(), 550, 250, 200, 120, SWP_SHOWWINDOW, HWND_TOP);
    return true;
}

void StatusPage::FillTestedBox() {
    HWND box = Item(IDC_STATUS_TESTED_BOX);
    ::SendMessageA(box, CB_RESETCONTENT, 0, 0);
    for (const std::string& text : TheProxyLists().tested_box.Strings())
        ::SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// The list download for the "New" box runs on a worker; the browsers are direct for its length, so
// that it never passes through the relay, and follow UseProxy again when it is over.
void StatusPage::StartNewBoxDownload() {
    downloading_ = true;
    DownloadProxyList(life_, [this](std::optional<std::string> body) { FillNewBox(body); });
}

void StatusPage::FillNewBox(const std::optional<std::string>& body) {
    downloading_ = false;
    if (body) RebuildNewList(*body);
}

// Twenty thousand proxies go in at once: room for all of them asked for first, one repaint at the end.
void StatusPage::FillNewBox() {
    HWND box = Item(IDC_STATUS_NEW_BOX);
    const std::vector<std::string>& lines = TheProxyLists().new_list;
    ::SendMessageA(box, WM_SETREDRAW, FALSE, 0);
    ::SendMessageA(box, CB_RESETCONTENT, 0, 0);
    std::size_t characters = 0;
    for (const std::string& line : lines) characters += line.size() + 1;
    ::SendMessageA(box, CB_INITSTORAGE, lines.size(), static_cast<LPARAM>(characters));
    for (const std::string& line : lines)
        ::SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    ::SendMessageA(box, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(box, nullptr, TRUE);
}

ui::Result StatusPage::OnBoxCommand(const ui::Message& message) {
    const int id = LOWORD(message.wparam);
    const int code = HIWORD(message.wparam);
    if (id == IDC_STATUS_NEW_BOX && code == CBN_SELCHANGE) {
        OnNewBoxChoice();
        return 0;
    }
    if (id == IDC_STATUS_TESTED_BOX && (code == CBN_SELCHANGE || code == CBN_CLOSEUP)) {
        OnTestedBoxChoice(code == CBN_CLOSEUP);
        return 0;
    }
    return std::nullopt;
}

void StatusPage::OnNewBoxChoice() {
    const std::string text = ComboSelection(Item(IDC_STATUS_NEW_BOX));
    if (text.empty()) return;
    HWND main_window = parent();
    TestAndAdopt(
        text, true,
        [main_window](const std::string& host, const std::string& source, std::int32_t port) {
            return RunProxyTestDialog(main_window, host, source, port);
        },
        AnonymityUiFor(main_window));
}

// Every entry but the first acts as soon as it is selected. The first empties the list, so it acts
// only when the user has picked it (the box closed on it, or Enter) and says yes: moving through the
// box with the arrow keys selects each entry on the way.
void StatusPage::OnTestedBoxChoice(bool picked) {
    const std::string text = ComboSelection(Item(IDC_STATUS_TESTED_BOX));
    if (text.empty()) return;
    if (text == catalogue::kPerformEmptyList) {
        if (picked) AskToEmptyTestedList();
        return;
    }
    if (picked) return;  // the selection change before it has already acted
    UseTestedProxy(text, AnonymityUiFor(parent()));
}

void StatusPage::AskToEmptyTestedList() {
    ::SendDlgItemMessageA(hwnd(), IDC_STATUS_TESTED_BOX, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    if (!Confirm(parent(), std::string(kEmptyTestedListQuestion))) return;
    if (!EmptyTestedList()) {
        ui::ShowMessage(parent(), "MyProxies.txt could not be emptied: " + catalogue::TestedFilePath());
    }
}

void StatusPage::SetStatusLines(const std::string& in_use) {
    HWND main_window = parent();
    SetItemText(main_window, IDC_MAIN_ADDRESS_IN_USE, std::string(kAddressInUsePrefix) + in_use);
    SetItemText(main_window, IDC_MAIN_REAL_ADDRESS, std::string(kRealAddressPrefix) + real_address_);
}

void StatusPage::AskPublicAddress() {
    StartBackgroundWork([this, watch = life_.Watcher()]() -> UiStep {
        catalogue::TheRealAddress().Addresses();
        std::optional<std::string> known = catalogue::TheRealAddress().Public();
        return [this, watch, known] {
            if (watch.Alive() && known) SetRealAddress(*known);
        };
    });
}

void StatusPage::SetRealAddress(const std::string& address) {
    if (address.empty()) return;
    real_address_ = address;
    HWND main_window = parent();
    SetItemText(main_window, IDC_MAIN_REAL_ADDRESS, std::string(kRealAddressPrefix) + real_address_);
    if (!UseProxyOn()) {
        SetItemText(main_window, IDC_MAIN_ADDRESS_IN_USE, std::string(kAddressInUsePrefix) + real_address_);
    }
    ::RedrawWindow(main_window, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void StatusPage::OnAnonymitySwitch() {
    settings::RegDwordSetting use_proxy(settings::kUseProxy);
    const AnonymityUi ui = AnonymityUiFor(parent());
    if (use_proxy.get() != 0) {
        ShowAnonymity(false);
        use_proxy.set(0);
        ApplyAnonymity(ui);
        SetStatusLines(real_address_);
    } else if (!ProxyChosen(settings::RegStringSetting(settings::kProxyName, true).get())) {
        // Nothing turns on, not even for the length of the message: the switch stays off.
        SwitchAnonymityOff();
        ShowAnonymity(false);
        SetStatusLines(real_address_);
        if (ui.message) ui.message(std::string(kSelectProxyFirst));
    } else {
        // "Enabled" only once it is: a relay that cannot start says so while the switch shows off.
        use_proxy.set(1);
        const bool on = ApplyAnonymity(ui);
        ShowAnonymity(on);
        SetStatusLines(on ? settings::RegStringSetting(settings::kProxyName, true).get() : real_address_);
    }
    ::RedrawWindow(parent(), nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void StatusPage::ShowAnonymityState() {
    const bool on = UseProxyOn();
    if (on == anonymity_shown_) return;
    ShowAnonymity(on);
    SetStatusLines(on ? settings::RegStringSetting(settings::kProxyName, true).get() : real_address_);
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
        const bool on = UseProxyOn();
        hint_panel_->anonymity_hint =
            !entered ? ""
            : on     ? "Press Disable Online Anonymity to surf using your real IP address"
                     : "Press Enable Online Anonymity to surf anonymously";
        ui::SetTransparentText(hint_panel_->hwnd(), IDC_STATUS_HINT_ANONYMITY,
                               hint_panel_->anonymity_hint.c_str());
    } else if (name == "Privacy") {
        const bool on = settings::RegDwordSetting(settings::kAutoClean).get() == 1;
        hint_panel_->privacy_hint = !entered ? ""
                                    : on     ? "Press Disable Privacy to deactivate the privacy setting."
                                             : "Press Enable Privacy to activate the privacy setting. To "
                                               "configure privacy settings, see the privacy panel.";
        ui::SetTransparentText(hint_panel_->hwnd(), IDC_STATUS_HINT_PRIVACY,
                               hint_panel_->privacy_hint.c_str());
    }
}

}  // namespace vestrel::app
