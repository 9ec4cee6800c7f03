// What the anonymity section's pages share: list view cells, selections and columns, and testing a
// typed or listed proxy through the test dialog.
#include "app/win/anonymity/PageHelpers.h"

#include <commctrl.h>

#include "app/win/anonymity/ProxyTestDialog.h"
#include "app/win/shell/Integration.h"

namespace vestrel::app {

std::string ListViewText(HWND list, int row, int column) {
    char buffer[1024] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = sizeof(buffer);
    ::SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return buffer;
}

int ListViewSelection(HWND list) {
    return static_cast<int>(::SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void AddColumn(HWND list, int index, const char* title, int width) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<char*>(title);
    column.cx = width;
    column.iSubItem = index;
    ::SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

void TestAndAdoptFrom(HWND main_window, const std::string& text, bool with_country) {
    TestAndAdopt(
        text, with_country,
        [main_window](const std::string& host, const std::string& source, std::int32_t port) {
            return RunProxyTestDialog(main_window, host, source, port);
        },
        AnonymityUiFor(main_window));
}

const NMHDR* Notification(const ui::Message& message) {
    return reinterpret_cast<const NMHDR*>(message.lparam);
}

}  // namespace vestrel::app
