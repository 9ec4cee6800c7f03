// Registration of (page, button) pairs and the panel's command handling.
#include "app/win/shell/NavigationPanel.h"

namespace vestrel::app {

NavigationPanel::NavigationPanel(int template_id, HWND parent, int kind, NavigationHost& host)
    : MessageMap(template_id, parent), kind_(kind), host_(host), pages_(17), buttons_(17) {
    colour_rule_ = ui::ColourRule::Page;
}

std::span<const ui::MessageEntry<NavigationPanel>> NavigationPanel::Messages() {
    static constexpr ui::MessageEntry<NavigationPanel> kMessages[] = {
        {WM_COMMAND, &NavigationPanel::OnCommand}};
    return kMessages;
}

int NavigationPanel::Register(HWND page, HWND button) {
    const int index = next_index_++;
    pages_[index] = page;
    buttons_[index] = button;
    return index;
}

HWND NavigationPanel::Page(int index) const {
    auto found = pages_.find(index);
    return found == pages_.end() ? nullptr : found->second;
}

HWND NavigationPanel::Button(int index) const {
    auto found = buttons_.find(index);
    return found == buttons_.end() ? nullptr : found->second;
}

int NavigationPanel::IndexOfButton(HWND button) const {
    for (const auto& [index, window] : buttons_) {
        if (window == button) return index;
    }
    return -1;
}

ui::Result NavigationPanel::OnCommand(const ui::Message& message) {
    host_.ClearTip();
    if (HIWORD(message.wparam) != BN_CLICKED) return std::nullopt;
    const int index = IndexOfButton(reinterpret_cast<HWND>(message.lparam));
    if (index < 0) return std::nullopt;
    host_.OnNavigate(kind_, index);
    return 0;
}

}  // namespace vestrel::app
