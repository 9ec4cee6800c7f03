// What the anonymity section's pages share: list view cells, selections and columns, and testing a
// typed or listed proxy through the test dialog.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "app/win/ui/Dialog.h"

namespace vestrel::app {

// The text of one cell of a report-style list view.
std::string ListViewText(HWND list, int row, int column);

// The selected row, or -1.
int ListViewSelection(HWND list);

void AddColumn(HWND list, int index, const char* title, int width);

// Tests and adopts `text` through the test dialog, over the main window.
void TestAndAdoptFrom(HWND main_window, const std::string& text, bool with_country);

// The header of a WM_NOTIFY message.
const NMHDR* Notification(const ui::Message& message);

}  // namespace vestrel::app
