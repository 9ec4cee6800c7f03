// A window's text, and a list or combo box row's, as the program's 8-bit string. The lengths the "A"
// messages report are only promised to be at least the text's (with the UTF-8 code page a character
// may take up to four bytes where its UTF-16 form takes one unit): the buffer is sized by them, the
// text cut to what was copied.
#pragma once

#include <windows.h>

#include <string>

namespace vestrel::app::ui {

std::string WindowText(HWND window);
// Row `row` of a combo box or a list box; empty when there is no such row.
std::string ComboBoxRow(HWND box, LRESULT row);
std::string ListBoxRow(HWND list, LRESULT row);

}  // namespace vestrel::app::ui
