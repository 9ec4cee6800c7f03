// The browser page.
#include "app/win/options/BrowserPage.h"

#include <string>

#include "app/Anonymity.h"
#include "app/win/shell/Integration.h"

namespace vestrel::app {

BrowserPage::BrowserPage(HWND main_window) : MessageMap(kTemplate, main_window) {}

std::span<const ui::CommandEntry<BrowserPage>> BrowserPage::Commands() {
    static constexpr ui::CommandEntry<BrowserPage> kCommands[] = {
        {IDC_BROWSER_INTERNET_EXPLORER, &BrowserPage::OnInternetExplorer},
        {IDC_BROWSER_NETSCAPE, &BrowserPage::OnNetscape},
        {IDC_BROWSER_MOZILLA, &BrowserPage::OnMozilla},
        {IDC_BROWSER_AVANT, &BrowserPage::OnAvant},
        {IDC_BROWSERS_APPLY, &BrowserPage::OnApply}};
    return kCommands;
}

bool BrowserPage::OnInitDialog() {
    PlainPage::OnInitDialog();
    BindCheck(IDC_BROWSER_INTERNET_EXPLORER, boxes_.internet_explorer);
    BindCheck(IDC_BROWSER_NETSCAPE, boxes_.netscape);
    BindCheck(IDC_BROWSER_OPERA, boxes_.opera);
    BindCheck(IDC_BROWSER_MOZILLA, boxes_.mozilla);
    BindCheck(IDC_BROWSER_FIREFOX, boxes_.firefox);
    BindCheck(IDC_BROWSER_AVANT, boxes_.avant);
    RefreshBrowserBoxes();
    return true;
}

void BrowserPage::RefreshBrowserBoxes() {
    if (hwnd() == nullptr) return;
    installed_ = FindInstalledBrowsers();
    boxes_ = BoxesFromFlags(installed_);
    EnableBrowserBoxes();
    UpdateData(false);
}

void BrowserPage::EnableBrowserBoxes() {
    const std::pair<int, bool> kBoxes[] = {
        {IDC_BROWSER_INTERNET_EXPLORER, true},     {IDC_BROWSER_NETSCAPE, installed_.netscape},
        {IDC_BROWSER_OPERA, installed_.opera},     {IDC_BROWSER_MOZILLA, installed_.mozilla},
        {IDC_BROWSER_FIREFOX, installed_.firefox}, {IDC_BROWSER_AVANT, installed_.avant}};
    for (const auto& [id, enabled] : kBoxes) ::EnableWindow(Item(id), enabled ? TRUE : FALSE);
}

void BrowserPage::Clicked(BrowserBox box) {
    UpdateData(true);
    FollowTies(box, boxes_, installed_);
    UpdateData(false);
}

void BrowserPage::OnApply() {
    UpdateData(true);
    std::string notes;
    ApplyBrowserChoices(boxes_, [&notes](const std::string& text) {
        if (!notes.empty()) notes += "\n";
        notes += text;
    });
    RefreshBrowserBoxes();
    // The browsers just changed follow the anonymity state at once: pointed at the relay while it is
    // on, set back while it is off (their flags stay, for the next switch-on).
    const AnonymityUi ui = AnonymityUiFor(parent());
    ApplyAnonymity(ui);
    if (!notes.empty()) ui::ShowMessage(parent(), notes);
}

}  // namespace vestrel::app
