// Status lines, navigation tips and the tray tip.
#include "app/ShellTexts.h"

#include <array>
#include <utility>

namespace vestrel::app {

std::string TrayTip(std::string_view text) { return std::string(text.substr(0, kTrayTipLength)); }

std::optional<std::string> TipFor(std::string_view button_name) {
    // The first tip's apostrophe is the right single quotation mark, in UTF-8 like every window text.
    static const std::array<std::pair<std::string_view, std::string_view>, 4> kTips{{
        {"BTN1", "Displays Vestrel\xE2\x80\x99s status including activation buttons"},
        {"BTN2", "Learn how to hide your real IP and manage the available proxies"},
        {"BTN3", "Allows you to perform cleaning operations"},
        {"BTN4", "Allows you to tune startup and browser options"},
    }};
    for (const auto& [name, tip] : kTips) {
        if (name == button_name) return std::string(tip);
    }
    return std::nullopt;
}

bool IsTipButton(std::string_view button_name) { return button_name.find("BTN") != std::string_view::npos; }

std::string StartupAddressInUseLine(std::uint32_t use_proxy, std::string_view proxy_name,
                                    std::string_view real_address) {
    std::string line = "Current IP Address in use: ";
    line += (use_proxy == 1 && !proxy_name.empty()) ? proxy_name : real_address;
    return line;
}

std::string StartupRealAddressLine(std::string_view real_address) {
    return "Real IP Address: " + std::string(real_address);
}

}  // namespace vestrel::app
