// The New list page: the downloaded list; a double-click tests and adopts a proxy.
#include "app/win/anonymity/NewListPage.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "ArtworkIds.h"
#include "app/Anonymity.h"
#include "app/win/anonymity/PageHelpers.h"
#include "catalogue/CatalogueLines.h"
#include "resources/ids/AnonymityIds.h"

namespace vestrel::app {

NewListPage::NewListPage(HWND main_window) : MessageMap(IDD_NEW_LIST, main_window) {}

NewListPage::~NewListPage() { TheProxyLists().new_list_changed = nullptr; }

std::span<const ui::MessageEntry<NewListPage>> NewListPage::Messages() {
    static constexpr ui::MessageEntry<NewListPage> kMessages[] = {{WM_NOTIFY, &NewListPage::OnNotify}};
    return kMessages;
}

bool NewListPage::OnInitDialog() {
    PlainPage::OnInitDialog();
    HWND list = Item(IDC_NEW_LIST_VIEW);
    ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddColumn(list, 0, "", 300);
    // Two 21-pixel pictures side by side: a plain proxy and one that accepts posting. The list view
    // owns the image list from here on and destroys it with itself.
    if (HIMAGELIST images = ::ImageList_Create(21, 12, ILC_COLOR24, 2, 0)) {
        ui::Bitmap strip(static_cast<HBITMAP>(
            ::LoadImageA(Instance(), MAKEINTRESOURCEA(IDB_LIST_ICONS), IMAGE_BITMAP, 0, 0, 0)));
        if (strip) ::ImageList_Add(images, strip.get(), nullptr);
        ::SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    }
    Fill();
    TheProxyLists().new_list_changed = [this] { Fill(); };
    return true;
}

void NewListPage::Fill() {
    HWND list = Item(IDC_NEW_LIST_VIEW);
    ::SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    int index = 0;
    for (const std::string& line : TheProxyLists().new_list) {
        LVITEMA item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = index++;
        item.pszText = const_cast<char*>(line.c_str());
        item.iImage = catalogue::CatalogueImageIndex(line);
        ::SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    ::SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

ui::Result NewListPage::OnNotify(const ui::Message& message) {
    const NMHDR* header = Notification(message);
    if (header->idFrom != IDC_NEW_LIST_VIEW || header->code != NM_DBLCLK) return std::nullopt;
    HWND list = Item(IDC_NEW_LIST_VIEW);
    const int row = ListViewSelection(list);
    if (row < 0) return 0;
    const std::string text = ListViewText(list, row, 0);
    if (!text.empty()) TestAndAdoptFrom(parent(), text, true);
    return 0;
}

}  // namespace vestrel::app
