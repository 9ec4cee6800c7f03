// The page of the proxy in use, or of the real address while anonymity is off.
#include "app/win/anonymity/CurrentProxyPage.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "ArtworkIds.h"
#include "app/win/shell/Application.h"
#include "app/win/shell/MainWindow.h"
#include "app/win/shell/StatusPage.h"
#include "resources/ids/AnonymityIds.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

CurrentProxyPage::CurrentProxyPage(HWND main_window) : MessageMap(IDD_CURRENT_PROXY, main_window) {}

std::span<const ui::CommandEntry<CurrentProxyPage>> CurrentProxyPage::Commands() {
    static constexpr ui::CommandEntry<CurrentProxyPage> kCommands[] = {
        {IDC_CURRENT_PROXY_CHANGE, &CurrentProxyPage::OnChangeProxy}};
    return kCommands;
}

bool CurrentProxyPage::OnInitDialog() {
    PlainPage::OnInitDialog();
    // The caption font, as the address lines of the status page.
    UseCaptionFont(IDC_CURRENT_PROXY_ADDRESS);
    ShowCurrentProxy();
    return true;
}

void CurrentProxyPage::ShowCurrentProxy() {
    const bool on = settings::RegDwordSetting(settings::kUseProxy).get() == 1;
    const std::string proxy_name = settings::RegStringSetting(settings::kProxyName).get();
    std::string text;
    if (on && !proxy_name.empty()) {
        text = std::string(11, ' ') + proxy_name;
    } else {
        const MainWindow* main_window = Application::Current().main_window();
        const StatusPage* status = main_window != nullptr ? main_window->status_page() : nullptr;
        text = std::string(14, ' ') + (status != nullptr ? status->real_address() : RealAddress());
    }
    ui::SetTransparentText(hwnd(), IDC_CURRENT_PROXY_ADDRESS, text.c_str());
}

// As if the New list's own button had been pressed: the panel moves the section to that page.
void CurrentProxyPage::OnChangeProxy() {
    HWND section = ::GetDlgItem(parent(), IDD_ANONYMITY_SECTION);
    HWND panel = ::GetDlgItem(section, IDD_ANONYMITY_PANEL);
    HWND button = ::GetDlgItem(panel, IDC_NEW_LIST_BUTTON);
    if (button == nullptr) return;
    ::SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_NEW_LIST_BUTTON, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
}

}  // namespace vestrel::app
