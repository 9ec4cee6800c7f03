// Texts of windows and of box rows, sized by what the system reports and cut to what it copied.
#include "app/win/ui/WindowText.h"

#include <algorithm>
#include <cstring>

namespace vestrel::app::ui {
namespace {

// Asks `length` for an upper bound of the text's bytes and `copy` to copy it into a buffer of the
// given size (the terminating zero included); `copy` answers the bytes copied, or a negative number.
template <typename Length, typename Copy>
std::string Fetch(Length length, Copy copy) {
    const LRESULT bound = length();
    if (bound <= 0) return {};
    std::string text(static_cast<std::size_t>(bound) + 1, '\0');
    const LRESULT copied = copy(text.data(), static_cast<int>(text.size()));
    if (copied <= 0) return {};
    text.resize(::strnlen(text.data(), std::min(static_cast<std::size_t>(copied), text.size())));
    return text;
}

}  // namespace

std::string WindowText(HWND window) {
    return Fetch(
        [&] { return static_cast<LRESULT>(::GetWindowTextLengthA(window)); },
        [&](char* buffer, int size) { return static_cast<LRESULT>(::GetWindowTextA(window, buffer, size)); });
}

std::string ComboBoxRow(HWND box, LRESULT row) {
    if (row < 0) return {};
    return Fetch([&] { return ::SendMessageA(box, CB_GETLBTEXTLEN, row, 0); },
                 [&](char* buffer, int) {
                     return ::SendMessageA(box, CB_GETLBTEXT, row, reinterpret_cast<LPARAM>(buffer));
                 });
}

std::string ListBoxRow(HWND list, LRESULT row) {
    if (row < 0) return {};
    return Fetch([&] { return ::SendMessageA(list, LB_GETTEXTLEN, row, 0); },
                 [&](char* buffer, int) {
                     return ::SendMessageA(list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(buffer));
                 });
}

}  // namespace vestrel::app::ui
