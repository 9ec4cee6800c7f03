// The New list page: the downloaded list; a double-click tests and adopts a proxy.
#include "app/win/anonymity/NewListPage.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

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

// The list view holds no rows of its own (a virtual list): it asks for each row it draws, so that a
// list of twenty thousand proxies shows at once.
void NewListPage::Fill() {
    HWND list = Item(IDC_NEW_LIST_VIEW);
    ::SendMessageA(list, LVM_SETITEMCOUNT, TheProxyLists().new_list.size(), 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

void NewListPage::Describe(NMLVDISPINFOA& info) const {
    const std::vector<std::string>& lines = TheProxyLists().new_list;
    if (info.item.iItem < 0 || static_cast<std::size_t>(info.item.iItem) >= lines.size()) return;
    const std::string& line = lines[static_cast<std::size_t>(info.item.iItem)];
    if ((info.item.mask & LVIF_TEXT) != 0 && info.item.pszText != nullptr && info.item.cchTextMax > 0) {
        const std::size_t size =
            std::min<std::size_t>(line.size(), static_cast<std::size_t>(info.item.cchTextMax - 1));
        line.copy(info.item.pszText, size);
        info.item.pszText[size] = '\0';
    }
    if ((info.item.mask & LVIF_IMAGE) != 0) info.item.iImage = catalogue::CatalogueImageIndex(line);
}

ui::Result NewListPage::OnNotify(const ui::Message& message) {
    const NMHDR* header = Notification(message);
    if (header->idFrom != IDC_NEW_LIST_VIEW) return std::nullopt;
    if (header->code == LVN_GETDISPINFOA) {
        Describe(*reinterpret_cast<NMLVDISPINFOA*>(message.lparam));
        return 0;
    }
    if (header->code != NM_DBLCLK) return std::nullopt;
    HWND list = Item(IDC_NEW_LIST_VIEW);
    const int row = ListViewSelection(list);
    if (row < 0) return 0;
    const std::string text = ListViewText(list, row, 0);
    if (!text.empty()) TestAndAdoptFrom(parent(), text, true);
    return 0;
}

}  // namespace vestrel::app
