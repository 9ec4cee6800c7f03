// The anonymity wizard: browse or post anonymously, the downloaded list's locations and their proxies.
#include "app/win/anonymity/WizardPage.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "ArtworkIds.h"
#include "app/win/anonymity/PageHelpers.h"
#include "app/win/anonymity/RefreshProgress.h"
#include "catalogue/CatalogueLines.h"
#include "catalogue/ProxyListDownload.h"
#include "catalogue/WizardChoices.h"
#include "resources/ids/AnonymityIds.h"

namespace vestrel::app {

namespace {

constexpr std::string_view kListUpdated = "Proxy list updated!";

}  // namespace

WizardPage::WizardPage(HWND main_window) : MessageMap(IDD_WIZARD, main_window) {}

std::span<const ui::MessageEntry<WizardPage>> WizardPage::Messages() {
    static constexpr ui::MessageEntry<WizardPage> kMessages[] = {
        {WM_COMMAND, &WizardPage::OnLocationCommand}};
    return kMessages;
}

std::span<const ui::CommandEntry<WizardPage>> WizardPage::Commands() {
    static constexpr ui::CommandEntry<WizardPage> kCommands[] = {{IDC_WIZARD_BROWSE, &WizardPage::OnCheck},
                                                                 {IDC_WIZARD_POST, &WizardPage::OnCheck},
                                                                 {IDC_WIZARD_APPLY, &WizardPage::OnApply}};
    return kCommands;
}

bool WizardPage::OnInitDialog() {
    PlainPage::OnInitDialog();
    BindCheck(IDC_WIZARD_BROWSE, browse_);
    BindCheck(IDC_WIZARD_POST, post_);
    UpdateData(false);
    EnableBoxes(false);
    return true;
}

ui::Result WizardPage::OnLocationCommand(const ui::Message& message) {
    if (LOWORD(message.wparam) != IDC_WIZARD_LOCATIONS || HIWORD(message.wparam) != CBN_SELCHANGE)
        return std::nullopt;
    UpdateData(true);
    WithList(Next::Proxies);
    return 0;
}

void WizardPage::EnableBoxes(bool enabled) {
    ::EnableWindow(Item(IDC_WIZARD_LOCATIONS), enabled);
    ::EnableWindow(Item(IDC_WIZARD_COUNTRY_LIST), enabled);
}

// Either check box: the boxes emptied and, with one of them set, filled again. With both set the
// posting list is the one shown.
void WizardPage::OnCheck() {
    UpdateData(true);
    ::SendDlgItemMessageA(hwnd(), IDC_WIZARD_LOCATIONS, CB_RESETCONTENT, 0, 0);
    ::SendDlgItemMessageA(hwnd(), IDC_WIZARD_COUNTRY_LIST, CB_RESETCONTENT, 0, 0);
    const bool any = browse_ != 0 || post_ != 0;
    EnableBoxes(any);
    if (any) WithList(Next::Locations);
}

void WizardPage::WithList(Next next) {
    const auto now = std::chrono::steady_clock::now();
    if (fetched_at_ && now - *fetched_at_ < kListReuse) {
        next == Next::Locations ? ShowLocations() : ShowProxies();
        return;
    }
    // A choice made while the list is on its way is shown when it arrives; no second download.
    pending_ = next;
    if (downloading_) return;
    downloading_ = true;
    DownloadProxyList(life_, [this](std::optional<std::string> body) {
        downloading_ = false;
        lines_.clear();
        if (body) {
            catalogue::ForEachCatalogueLine(*body, [&](std::string_view line) { lines_.emplace_back(line); });
            fetched_at_ = std::chrono::steady_clock::now();
        } else {
            fetched_at_.reset();
        }
        pending_ == Next::Locations ? ShowLocations() : ShowProxies();
    });
}

void WizardPage::ShowLocations() {
    HWND box = Item(IDC_WIZARD_LOCATIONS);
    ::SendMessageA(box, CB_RESETCONTENT, 0, 0);
    ::SendDlgItemMessageA(hwnd(), IDC_WIZARD_COUNTRY_LIST, CB_RESETCONTENT, 0, 0);
    if (browse_ == 0 && post_ == 0) return;
    for (const std::string& location : catalogue::WizardLocations(lines_, post_ != 0))
        ::SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(location.c_str()));
    ::SendMessageA(box, CB_SETCURSEL, 0, 0);
    ShowProxies();
}

void WizardPage::ShowProxies() {
    HWND box = Item(IDC_WIZARD_COUNTRY_LIST);
    ::SendMessageA(box, CB_RESETCONTENT, 0, 0);
    const std::string location = ComboSelection(Item(IDC_WIZARD_LOCATIONS));
    if (location.empty() || (browse_ == 0 && post_ == 0)) return;
    ::EnableWindow(box, TRUE);
    for (const std::string& line : catalogue::WizardProxies(lines_, location, post_ != 0))
        ::SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    ::SendMessageA(box, CB_SETCURSEL, 0, 0);
}

void WizardPage::OnApply() {
    UpdateData(true);
    if (browse_ == 0 && post_ == 0) return;
    const std::string text = ComboSelection(Item(IDC_WIZARD_COUNTRY_LIST));
    if (text.empty()) return;
    TestAndAdoptFrom(parent(), text, true);
}

}  // namespace vestrel::app
