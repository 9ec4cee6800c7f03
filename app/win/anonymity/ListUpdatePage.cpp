// The List update page: the refresh with its progress, and the plain-text list sources.
#include "app/win/anonymity/ListUpdatePage.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "ArtworkIds.h"
#include "app/Anonymity.h"
#include "app/win/anonymity/PageHelpers.h"
#include "app/win/shell/Integration.h"
#include "catalogue/ListSources.h"
#include "platform/http/HttpGet.h"
#include "resources/ids/AnonymityIds.h"

namespace vestrel::app {

namespace {

constexpr std::string_view kWriteSourceAsAddress =
    "Please write the list's address as an http or https address, ie: https://lists.example/proxies.txt";
constexpr std::string_view kSourceAlreadyThere = "That list is read at each update already.";
constexpr std::string_view kPickSourceFirst = "Please select the list to remove first.";
constexpr std::string_view kPublicListPrefix = "Public list: ";
constexpr std::string_view kPublicListsTogether =
    "The public lists come and go together: clear \"Include the public lists\" to leave them out.";

}  // namespace

ListUpdatePage::ListUpdatePage(HWND main_window) : MessageMap(IDD_LIST_UPDATE, main_window) {}

std::span<const ui::MessageEntry<ListUpdatePage>> ListUpdatePage::Messages() {
    static constexpr ui::MessageEntry<ListUpdatePage> kMessages[] = {{WM_TIMER, &ListUpdatePage::OnTimer}};
    return kMessages;
}

std::span<const ui::CommandEntry<ListUpdatePage>> ListUpdatePage::Commands() {
    static constexpr ui::CommandEntry<ListUpdatePage> kCommands[] = {
        {IDOK, &ListUpdatePage::OnStart},
        {IDC_LIST_UPDATE_SOURCE_ADD, &ListUpdatePage::OnAddSource},
        {IDC_LIST_UPDATE_SOURCE_REMOVE, &ListUpdatePage::OnRemoveSource},
        {IDC_LIST_UPDATE_PUBLIC, &ListUpdatePage::OnPublicLists}};
    return kCommands;
}

ListUpdatePage::~ListUpdatePage() { TheProxyLists().sources_changed = nullptr; }

bool ListUpdatePage::OnInitDialog() {
    PlainPage::OnInitDialog();
    ::SendMessageA(hwnd(), DM_SETDEFID, IDOK, 0);
    HWND main_window = parent();
    progress_ = std::make_unique<RefreshProgress>(
        hwnd(), IDC_LIST_UPDATE_PROGRESS, AnonymityUiFor(main_window), [this, main_window](bool /*updated*/) {
            ui::ShowMessage(main_window, progress_->message());
            ::SendDlgItemMessageA(hwnd(), IDC_LIST_UPDATE_PROGRESS, PBM_SETPOS, 0, 0);
            ::EnableWindow(Item(IDOK), TRUE);
        });
    HWND list = Item(IDC_LIST_UPDATE_SOURCES);
    ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    // "not read yet" whole in the second column; the first takes the rest of the view.
    AddColumn(list, 0, "List address", 268);
    AddColumn(list, 1, "Proxies", 86);
    ::CheckDlgButton(hwnd(), IDC_LIST_UPDATE_PUBLIC,
                     catalogue::PublicListsIncluded() ? BST_CHECKED : BST_UNCHECKED);
    FillSources();
    TheProxyLists().sources_changed = [this] { FillSources(); };
    return true;
}

// Each source with what the last refresh got from it: a count, "failed", or nothing yet.
void ListUpdatePage::FillSources() {
    HWND list = Item(IDC_LIST_UPDATE_SOURCES);
    ::SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    const std::vector<catalogue::SourceOutcome>& outcomes = TheProxyLists().sources;
    int row = 0;
    // The public lists first, while they are included; then the user's own.
    std::vector<std::string> urls;
    if (catalogue::PublicListsIncluded()) urls = catalogue::PublicListUrls();
    for (std::string& url : catalogue::ReadListSources()) {
        if (std::find(urls.begin(), urls.end(), url) == urls.end()) urls.push_back(std::move(url));
    }
    for (const std::string& url : urls) {
        std::string count = "not read yet";
        for (const catalogue::SourceOutcome& outcome : outcomes) {
            if (outcome.url == url)
                count = outcome.ok ? catalogue::GroupedCount(outcome.lines.size()) : "failed";
        }
        // A public list by its name: its address is long and the same for everyone.
        std::string shown = url;
        for (const catalogue::PublicList& list_entry : catalogue::kPublicLists) {
            if (list_entry.url == url) shown = std::string(kPublicListPrefix) + std::string(list_entry.name);
        }
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = shown.data();
        ::SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        item.iSubItem = 1;
        item.pszText = count.data();
        ::SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        ++row;
    }
}

bool ListUpdatePage::StoreSources(const std::vector<std::string>& urls) {
    if (const std::error_code error = catalogue::WriteListSources(urls)) {
        ui::ShowMessage(parent(), "The list addresses could not be saved: " + error.message());
        return false;
    }
    FillSources();
    return true;
}

// Only an http or https address is kept: the lists are read with a plain GET, and anything else would
// only fail at every update.
void ListUpdatePage::OnAddSource() {
    std::string text = ItemText(hwnd(), IDC_LIST_UPDATE_SOURCE_EDIT);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    text.erase(0, text.find_first_not_of(" \t"));
    std::string scheme = text.substr(0, 7);
    for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    const bool readable = (scheme == "http://" && platform::http::ParseUrl(text)) ||
                          platform::http::ParseHttpsUrl(text).has_value();
    if (!readable) {
        ui::ShowMessage(parent(), std::string(kWriteSourceAsAddress));
        return;
    }
    std::vector<std::string> urls = catalogue::ReadListSources();
    if (std::find(urls.begin(), urls.end(), text) != urls.end()) {
        ui::ShowMessage(parent(), std::string(kSourceAlreadyThere));
        return;
    }
    urls.push_back(text);
    if (StoreSources(urls)) SetItemText(hwnd(), IDC_LIST_UPDATE_SOURCE_EDIT, "");
}

void ListUpdatePage::OnRemoveSource() {
    const int row = ListViewSelection(Item(IDC_LIST_UPDATE_SOURCES));
    if (row < 0) {
        ui::ShowMessage(parent(), std::string(kPickSourceFirst));
        return;
    }
    const std::string url = ListViewText(Item(IDC_LIST_UPDATE_SOURCES), row, 0);
    std::vector<std::string> urls = catalogue::ReadListSources();
    if (url.rfind(kPublicListPrefix, 0) == 0) {
        ui::ShowMessage(parent(), std::string(kPublicListsTogether));
        return;
    }
    urls.erase(std::remove(urls.begin(), urls.end(), url), urls.end());
    StoreSources(urls);
}

void ListUpdatePage::OnPublicLists() {
    catalogue::SetPublicListsIncluded(::IsDlgButtonChecked(hwnd(), IDC_LIST_UPDATE_PUBLIC) == BST_CHECKED);
    FillSources();
}

void ListUpdatePage::OnStart() {
    if (!progress_ || progress_->Running()) return;
    if (progress_->Start()) ::EnableWindow(Item(IDOK), FALSE);
}

ui::Result ListUpdatePage::OnTimer(const ui::Message& message) {
    if (progress_ && progress_->OnTimer(message.wparam)) return 0;
    return std::nullopt;
}

}  // namespace vestrel::app
