// The Add proxy page: a typed proxy, checked for its form, tested and adopted.
#include "app/win/anonymity/AddProxyPage.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "ArtworkIds.h"
#include "app/win/anonymity/PageHelpers.h"
#include "catalogue/ProxyText.h"
#include "resources/ids/AnonymityIds.h"

namespace vestrel::app {

namespace {

constexpr std::string_view kWriteProxyAsAddress =
    "Please write the proxy as ProxyIPAddress:ProxyPortNumber, ie: 12.12.12.12:80, or a SOCKS proxy as "
    "socks5://12.12.12.12:1080 or socks4://12.12.12.12:1080";

}  // namespace

AddProxyPage::AddProxyPage(HWND main_window) : MessageMap(IDD_ADD_PROXY, main_window) {}

std::span<const ui::CommandEntry<AddProxyPage>> AddProxyPage::Commands() {
    static constexpr ui::CommandEntry<AddProxyPage> kCommands[] = {
        {IDC_ADD_PROXY_APPLY, &AddProxyPage::OnApply}};
    return kCommands;
}

// A typo is told apart from a dead proxy: only an address:port, with or without a proxy's scheme, is
// tested. It goes on in the form every list of the program keeps: "http://" dropped (a bare address is
// HTTP), a SOCKS scheme kept.
void AddProxyPage::OnApply() {
    const std::string text = ItemText(hwnd(), IDC_ADD_PROXY_EDIT);
    if (!catalogue::IsProxyAddressText(text)) {
        ui::ShowMessage(parent(), std::string(kWriteProxyAsAddress));
        return;
    }
    const std::string country = catalogue::ProxyCountry(text);
    TestAndAdoptFrom(parent(),
                     catalogue::ProxyAddressOf(text) +
                         (country.empty() ? std::string() : std::string(catalogue::kCountryArrow) + country),
                     false);
}

}  // namespace vestrel::app
