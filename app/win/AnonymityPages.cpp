// The anonymity section's sub-pages.
#include "app/win/AnonymityPages.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "ArtworkIds.h"
#include "app/Anonymity.h"
#include "app/win/Application.h"
#include "app/win/ConfirmDialog.h"
#include "app/win/Integration.h"
#include "app/win/MainWindow.h"
#include "app/win/ProxyTestDialog.h"
#include "app/win/StatusPage.h"
#include "catalogue/CatalogueLines.h"
#include "catalogue/ListSources.h"
#include "catalogue/ProxyListDownload.h"
#include "catalogue/ProxyText.h"
#include "catalogue/TestedFile.h"
#include "catalogue/WizardChoices.h"
#include "platform/http/HttpGet.h"
#include "resources/ids/AnonymityIds.h"
#include "settings/RegDwordSetting.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

namespace {

constexpr std::string_view kListUpdated = "Proxy list updated!";
constexpr std::string_view kWriteProxyAsAddress =
    "Please write the proxy as ProxyIPAddress:ProxyPortNumber, ie: 12.12.12.12:80";
constexpr std::string_view kWriteSourceAsAddress =
    "Please write the list's address as an http address, ie: http://lists.example/proxies.txt";
constexpr std::string_view kSourceAlreadyThere = "That list is read at each update already.";
constexpr std::string_view kPickSourceFirst = "Please select the list to remove first.";
constexpr std::string_view kRemoveAllQuestion =
    "Remove every proxy from the list?\n\nMyProxies.txt is emptied too.";

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

// Makes each column as wide as its header's text in the header's own font, with the room a header
// keeps around its text, so that no header is cut; the last column takes what is left.
template <std::size_t N>
void FitColumnsToHeaders(HWND list, const std::array<std::string_view, N>& headers) {
    HWND header = reinterpret_cast<HWND>(::SendMessageA(list, LVM_GETHEADER, 0, 0));
    HDC dc = ::GetDC(header);
    if (dc == nullptr) return;
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(header, WM_GETFONT, 0, 0)));
    // A header keeps three edge widths on each side of its text.
    const int margin = 6 * ::GetSystemMetrics(SM_CXEDGE) + 1;
    for (std::size_t c = 0; c + 1 < N; ++c) {
        SIZE size{};
        ::GetTextExtentPoint32A(dc, headers[c].data(), static_cast<int>(headers[c].size()), &size);
        ::SendMessageA(list, LVM_SETCOLUMNWIDTH, c, MAKELPARAM(size.cx + margin, 0));
    }
    ::SendMessageA(list, LVM_SETCOLUMNWIDTH, N - 1, LVSCW_AUTOSIZE_USEHEADER);
    ::SelectObject(dc, old);
    ::ReleaseDC(header, dc);
}

void AddColumn(HWND list, int index, const char* title, int width) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<char*>(title);
    column.cx = width;
    column.iSubItem = index;
    ::SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

// Tests and adopts `text` through the test dialog, over the main window.
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

}  // namespace

// ---------------------------------------------------------------------------------------------

WizardPage::WizardPage(HWND main_window) : MessageMap(IDD_WIZARD, main_window) {}

std::span<const ui::MessageEntry<WizardPage>> WizardPage::Messages() {
    static constexpr ui::MessageEntry<WizardPage> kMessages[] = {
        {WM_COMMAND, &WizardPage::OnLocationCommand}};
    return kMessages;
}

std::span<const ui::CommandEntry<WizardPage>> WizardPage::Commands() {
    static constexpr ui::CommandEntry<WizardPage> kCommands[] = {{IDC_WIZARD_BROWSE, &WizardPage::OnCheck},
                                                                 {IDC_WIZARD_POST, &WizardPage::OnCheck},
                                                                 {IDC_WIZARD_APPLY, &WizardPage::OnApply}};
    return kCommands;
}

bool WizardPage::OnInitDialog() {
    PlainPage::OnInitDialog();
    BindCheck(IDC_WIZARD_BROWSE, browse_);
    BindCheck(IDC_WIZARD_POST, post_);
    UpdateData(false);
    EnableBoxes(false);
    return true;
}

ui::Result WizardPage::OnLocationCommand(const ui::Message& message) {
    if (LOWORD(message.wparam) != IDC_WIZARD_LOCATIONS || HIWORD(message.wparam) != CBN_SELCHANGE)
        return std::nullopt;
    UpdateData(true);
    WithList(Next::Proxies);
    return 0;
}

void WizardPage::EnableBoxes(bool enabled) {
    ::EnableWindow(Item(IDC_WIZARD_LOCATIONS), enabled);
    ::EnableWindow(Item(IDC_WIZARD_COUNTRY_LIST), enabled);
}

// Either check box: the boxes emptied and, with one of them set, filled again. With both set the
// posting list is the one shown.
void WizardPage::OnCheck() {
    UpdateData(true);
    ::SendDlgItemMessageA(hwnd(), IDC_WIZARD_LOCATIONS, CB_RESETCONTENT, 0, 0);
    ::SendDlgItemMessageA(hwnd(), IDC_WIZARD_COUNTRY_LIST, CB_RESETCONTENT, 0, 0);
    const bool any = browse_ != 0 || post_ != 0;
    EnableBoxes(any);
    if (any) WithList(Next::Locations);
}

void WizardPage::WithList(Next next) {
    const auto now = std::chrono::steady_clock::now();
    if (fetched_at_ && now - *fetched_at_ < kListReuse) {
        next == Next::Locations ? ShowLocations() : ShowProxies();
        return;
    }
    // A choice made while the list is on its way is shown when it arrives; no second download.
    pending_ = next;
    if (downloading_) return;
    downloading_ = true;
    DownloadProxyList(life_, [this](std::optional<std::string> body) {
        downloading_ = false;
        lines_.clear();
        if (body) {
            catalogue::ForEachCatalogueLine(*body, [&](std::string_view line) { lines_.emplace_back(line); });
            fetched_at_ = std::chrono::steady_clock::now();
        } else {
            fetched_at_.reset();
        }
        pending_ == Next::Locations ? ShowLocations() : ShowProxies();
    });
}

void WizardPage::ShowLocations() {
    HWND box = Item(IDC_WIZARD_LOCATIONS);
    ::SendMessageA(box, CB_RESETCONTENT, 0, 0);
    ::SendDlgItemMessageA(hwnd(), IDC_WIZARD_COUNTRY_LIST, CB_RESETCONTENT, 0, 0);
    if (browse_ == 0 && post_ == 0) return;
    for (const std::string& location : catalogue::WizardLocations(lines_, post_ != 0))
        ::SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(location.c_str()));
    ::SendMessageA(box, CB_SETCURSEL, 0, 0);
    ShowProxies();
}

void WizardPage::ShowProxies() {
    HWND box = Item(IDC_WIZARD_COUNTRY_LIST);
    ::SendMessageA(box, CB_RESETCONTENT, 0, 0);
    const std::string location = ComboSelection(Item(IDC_WIZARD_LOCATIONS));
    if (location.empty() || (browse_ == 0 && post_ == 0)) return;
    ::EnableWindow(box, TRUE);
    for (const std::string& line : catalogue::WizardProxies(lines_, location, post_ != 0))
        ::SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    ::SendMessageA(box, CB_SETCURSEL, 0, 0);
}

void WizardPage::OnApply() {
    UpdateData(true);
    if (browse_ == 0 && post_ == 0) return;
    const std::string text = ComboSelection(Item(IDC_WIZARD_COUNTRY_LIST));
    if (text.empty()) return;
    TestAndAdoptFrom(parent(), text, true);
}

// ---------------------------------------------------------------------------------------------

CurrentProxyPage::CurrentProxyPage(HWND main_window) : MessageMap(IDD_CURRENT_PROXY, main_window) {}

std::span<const ui::CommandEntry<CurrentProxyPage>> CurrentProxyPage::Commands() {
    static constexpr ui::CommandEntry<CurrentProxyPage> kCommands[] = {
        {IDC_CURRENT_PROXY_CHANGE, &CurrentProxyPage::OnChangeProxy}};
    return kCommands;
}

bool CurrentProxyPage::OnInitDialog() {
    PlainPage::OnInitDialog();
    // The system font, as the address lines of the status page.
    ::SendDlgItemMessageA(hwnd(), IDC_CURRENT_PROXY_ADDRESS, WM_SETFONT, 0, TRUE);
    ShowCurrentProxy();
    return true;
}

void CurrentProxyPage::ShowCurrentProxy() {
    const bool on = settings::RegDwordSetting(settings::kUseProxy).get() == 1;
    const std::string proxy_name = settings::RegStringSetting(settings::kProxyName).get();
    std::string text;
    if (on && !proxy_name.empty()) {
        text = std::string(11, ' ') + proxy_name;
    } else {
        const MainWindow* main_window = Application::Current().main_window();
        const StatusPage* status = main_window != nullptr ? main_window->status_page() : nullptr;
        text = std::string(14, ' ') + (status != nullptr ? status->real_address() : RealAddress());
    }
    ui::SetTransparentText(hwnd(), IDC_CURRENT_PROXY_ADDRESS, text.c_str());
}

// As if the New list's own button had been pressed: the panel moves the section to that page.
void CurrentProxyPage::OnChangeProxy() {
    HWND section = ::GetDlgItem(parent(), IDD_ANONYMITY_SECTION);
    HWND panel = ::GetDlgItem(section, IDD_ANONYMITY_PANEL);
    HWND button = ::GetDlgItem(panel, IDC_NEW_LIST_BUTTON);
    if (button == nullptr) return;
    ::SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_NEW_LIST_BUTTON, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
}

// ---------------------------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------------------------

TestedListPage::TestedListPage(HWND main_window) : MessageMap(IDD_TESTED_LIST, main_window) {}

TestedListPage::~TestedListPage() {
    if (run_) run_->Cancel();
    TheProxyLists().tested.SetObserver(nullptr);
}

std::span<const ui::MessageEntry<TestedListPage>> TestedListPage::Messages() {
    static constexpr ui::MessageEntry<TestedListPage> kMessages[] = {{WM_NOTIFY, &TestedListPage::OnNotify},
                                                                     {WM_TIMER, &TestedListPage::OnTimer}};
    return kMessages;
}

std::span<const ui::CommandEntry<TestedListPage>> TestedListPage::Commands() {
    static constexpr ui::CommandEntry<TestedListPage> kCommands[] = {
        {IDC_TESTED_LIST_USE, &TestedListPage::OnUseProxy},
        {IDC_TESTED_LIST_CANCEL, &TestedListPage::OnCancelTestAll}};
    return kCommands;
}

bool TestedListPage::OnInitDialog() {
    PlainPage::OnInitDialog();
    cancel_.AttachItem(hwnd(), IDC_TESTED_LIST_CANCEL);
    cancel_.SetPictures(IDB_CANCEL, IDB_CANCEL_PRESSED);
    HWND list = Item(IDC_TESTED_LIST_VIEW);
    ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    // Every header whole: each column as wide as its header (the usual texts, "123.45.67.89:8080",
    // "350 miliseconds", "1656.00 KB/sec", fit under them) and the grade column taking what is left.
    for (std::size_t c = 0; c < catalogue::kTestedColumnCount; ++c)
        AddColumn(list, static_cast<int>(c), std::string(catalogue::kTestedColumnHeaders[c]).c_str(), 0);
    LOGFONTA face{};
    if (::GetObjectA(reinterpret_cast<HGDIOBJ>(::SendMessageA(list, WM_GETFONT, 0, 0)), sizeof(face), &face) != 0) {
        face.lfHeight = face.lfHeight * 7 / 8;
        face.lfWidth = 0;
        list_font_.reset(::CreateFontIndirectA(&face));
        if (list_font_) ::SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(list_font_.get()), TRUE);
    }
    FitColumnsToHeaders(list, catalogue::kTestedColumnHeaders);
    catalogue::TestedList& tested = TheProxyLists().tested;
    for (std::size_t i = 0; i < tested.RowCount(); ++i) RowInserted(i);
    tested.SetObserver(this);
    return true;
}

void TestedListPage::SetRowText(std::size_t index, std::size_t column, bool insert) {
    const std::string& text = TheProxyLists().tested.Cell(index, column);
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(index);
    item.iSubItem = static_cast<int>(column);
    item.pszText = const_cast<char*>(text.c_str());
    ::SendMessageA(Item(IDC_TESTED_LIST_VIEW), insert ? LVM_INSERTITEMA : LVM_SETITEMTEXTA, index,
                   reinterpret_cast<LPARAM>(&item));
}

void TestedListPage::RowInserted(std::size_t index) {
    SetRowText(index, 0, true);
    for (std::size_t c = 1; c < catalogue::kTestedColumnCount; ++c) SetRowText(index, c, false);
}

void TestedListPage::RowDeleted(std::size_t index) {
    ::SendMessageA(Item(IDC_TESTED_LIST_VIEW), LVM_DELETEITEM, index, 0);
}

void TestedListPage::CellChanged(std::size_t index, std::size_t column) { SetRowText(index, column, false); }

void TestedListPage::AllRowsDeleted() {
    ::SendMessageA(Item(IDC_TESTED_LIST_VIEW), LVM_DELETEALLITEMS, 0, 0);
}

int TestedListPage::SelectedRow() const { return ListViewSelection(Item(IDC_TESTED_LIST_VIEW)); }

ui::Result TestedListPage::OnNotify(const ui::Message& message) {
    const NMHDR* header = Notification(message);
    if (header->idFrom != IDC_TESTED_LIST_VIEW) return std::nullopt;
    if (header->code == NM_DBLCLK) {
        OnUseProxy();
        return 0;
    }
    if (header->code == NM_RCLICK) {
        ShowMenu();
        return 0;
    }
    return std::nullopt;
}

void TestedListPage::OnUseProxy() {
    const int row = SelectedRow();
    if (row < 0) return;
    HWND list = Item(IDC_TESTED_LIST_VIEW);
    UseTestedProxy(ListViewText(list, row, 0), ListViewText(list, row, 1), AnonymityUiFor(parent()));
}

void TestedListPage::ShowMenu() {
    const int row = SelectedRow();
    if (row < 0) return;
    POINT cursor{};
    ::GetCursorPos(&cursor);
    ui::Menu menu(::CreatePopupMenu());
    if (!menu) return;
    // One test run at a time: the test commands wait while "Test All Proxies" runs.
    const UINT test_flags = MF_STRING | (run_ ? MF_GRAYED : 0u);
    ::AppendMenuA(menu.get(), MF_STRING, IDM_TESTED_REMOVE, "Remove Proxy");
    ::AppendMenuA(menu.get(), MF_STRING, IDM_TESTED_REMOVE_ALL, "Remove All Proxies");
    ::AppendMenuA(menu.get(), test_flags, IDM_TESTED_TEST, "Test Proxy");
    ::AppendMenuA(menu.get(), test_flags, IDM_TESTED_TEST_ALL, "Test All Proxies");
    const int command = static_cast<int>(::TrackPopupMenu(menu.get(), TPM_CENTERALIGN | TPM_RETURNCMD,
                                                          cursor.x, cursor.y, 0, hwnd(), nullptr));
    switch (command) {
        case IDM_TESTED_REMOVE:
            RemoveProxy(row);
            break;
        case IDM_TESTED_REMOVE_ALL:
            RemoveAllProxies();
            break;
        case IDM_TESTED_TEST:
            TestProxy(row);
            break;
        case IDM_TESTED_TEST_ALL:
            TestAllProxies();
            break;
        default:
            break;
    }
}

void TestedListPage::RemoveProxy(int row) {
    catalogue::TestedList& tested = TheProxyLists().tested;
    const auto index = static_cast<std::size_t>(row);
    if (index >= tested.RowCount()) return;
    const std::string address = tested.Cell(index, catalogue::kAddressColumn);
    tested.DeleteRow(index);
    if (catalogue::SaveTestedList(tested, catalogue::TestedFilePath()))
        ui::ShowMessage(parent(), "MyProxies.txt could not be written: " + catalogue::TestedFilePath());
    // The same address may be in the list twice; its grade goes with the last of them.
    if (catalogue::FindTestedRow(tested, address) < 0 && !ForgetGrade(address))
        ui::ShowMessage(parent(), "The grades could not be written: " + catalogue::GradeFilePath());
}

void TestedListPage::RemoveAllProxies() {
    if (!Confirm(parent(), std::string(kRemoveAllQuestion))) return;
    catalogue::TestedList& tested = TheProxyLists().tested;
    tested.DeleteAllRows();
    if (catalogue::SaveTestedList(tested, catalogue::TestedFilePath()))
        ui::ShowMessage(parent(), "MyProxies.txt could not be emptied: " + catalogue::TestedFilePath());
    TheProxyLists().grades.Clear();
    if (!SaveGrades())
        ui::ShowMessage(parent(), "The grades could not be written: " + catalogue::GradeFilePath());
}

// The row leaves the list before its test and comes back, at the end, only when the test passed.
void TestedListPage::TestProxy(int row) {
    catalogue::TestedList& tested = TheProxyLists().tested;
    const auto index = static_cast<std::size_t>(row);
    if (index >= tested.RowCount()) return;
    const std::string address = tested.Cell(index, catalogue::kAddressColumn);
    const std::string country = tested.Cell(index, catalogue::kCountryColumn);
    tested.DeleteRow(index);
    HWND main_window = parent();
    const std::optional<catalogue::RecordedResult> result = RunProxyTestDialog(
        main_window, catalogue::ProxyHost(address), address, catalogue::ProxyPort(address));
    if (!result) return;
    if (!AdoptRetestedProxy(address, country, *result, AnonymityUiFor(main_window)))
        ui::ShowMessage(main_window, "MyProxies.txt could not be written: " + catalogue::TestedFilePath());
}

void TestedListPage::SayStatus(std::string_view text) {
    HWND main_window = parent();
    SetItemText(main_window, IDC_MAIN_ADDRESS_IN_USE, text);
    ::RedrawWindow(main_window, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void TestedListPage::TestAllProxies() {
    if (run_ || TheProxyLists().tested.RowCount() == 0) return;
    run_ = std::make_shared<catalogue::TestAllRun>(TheProxyLists().tested);
    for (int id : {IDC_TESTED_LIST_PROGRESS, IDC_TESTED_LIST_PROGRESS_TEXT, IDC_TESTED_LIST_CANCEL})
        ::ShowWindow(Item(id), SW_SHOW);
    ::EnableWindow(cancel_.hwnd(), TRUE);
    ShowTestAllProgress();
    ::SetTimer(hwnd(), kProgressTimer, 200, nullptr);
    const LifeToken::Watch watch = life_.Watcher();
    // The worker keeps the run alive; a run ended here by Cancel finishes its last tests unseen.
    StartBackgroundWork([this, watch, run = run_]() -> UiStep {
        // The real address is asked once, by the first row that needs it; the others wait for that.
        const catalogue::JudgeFunction judge = [](const std::string& host, std::int32_t port,
                                                  const std::atomic<bool>& cancel) {
            catalogue::JudgeOptions options;
            options.cancel = &cancel;
            return catalogue::JudgeProxy(host, port, catalogue::TheRealAddress().Addresses(options), options);
        };
        run->Test(nullptr, catalogue::kMaxParallelTests, judge);
        return [this, watch, run]() {
            if (watch.Alive() && run_ == run) EndTestAll();
        };
    });
}

void TestedListPage::ShowTestAllProgress() {
    if (!run_) return;
    const std::size_t total = run_->Total();
    const std::size_t done = run_->Done();
    ::SendDlgItemMessageA(
        hwnd(), IDC_TESTED_LIST_PROGRESS, PBM_SETPOS,
        total == 0 ? ui::kProgressFull : static_cast<WPARAM>(done * ui::kProgressFull / total), 0);
    const std::string text = "Tested " + std::to_string(done) + " of " + std::to_string(total);
    ui::SetTransparentText(hwnd(), IDC_TESTED_LIST_PROGRESS_TEXT, text.c_str());
}

ui::Result TestedListPage::OnTimer(const ui::Message& message) {
    if (message.wparam != kProgressTimer) return std::nullopt;
    ShowTestAllProgress();
    return 0;
}

void TestedListPage::EndTestAll() {
    ::KillTimer(hwnd(), kProgressTimer);
    const std::shared_ptr<catalogue::TestAllRun> run = std::move(run_);
    run_.reset();
    for (int id : {IDC_TESTED_LIST_PROGRESS, IDC_TESTED_LIST_PROGRESS_TEXT, IDC_TESTED_LIST_CANCEL})
        ::ShowWindow(Item(id), SW_HIDE);
    ::RedrawWindow(hwnd(), nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
    if (!run) return;
    catalogue::TestAllHooks hooks;
    hooks.save_list = [](const catalogue::TestedList& list) {
        return catalogue::SaveTestedList(list, catalogue::TestedFilePath());
    };
    hooks.show_status = [this](std::string_view text) { SayStatus(text); };
    // The grades are written once, after the whole run.
    bool grades_changed = false;
    hooks.grade = [&grades_changed](const std::string& address,
                                    const std::optional<catalogue::JudgeResult>& result) {
        catalogue::GradeBook& grades = TheProxyLists().grades;
        if (result) {
            grades.Put(address, *result);
        } else {
            grades.Remove(address);
        }
        grades_changed = true;
    };
    if (run->Apply(TheProxyLists().tested, hooks))
        ui::ShowMessage(parent(), "MyProxies.txt could not be written: " + catalogue::TestedFilePath());
    if (grades_changed && !SaveGrades())
        ui::ShowMessage(parent(), "The grades could not be written: " + catalogue::GradeFilePath());
}

// The rows tested so far keep their outcome; the rest stay as they were.
void TestedListPage::OnCancelTestAll() {
    if (!run_) return;
    run_->Cancel();
    EndTestAll();
}

// ---------------------------------------------------------------------------------------------

AddProxyPage::AddProxyPage(HWND main_window) : MessageMap(IDD_ADD_PROXY, main_window) {}

std::span<const ui::CommandEntry<AddProxyPage>> AddProxyPage::Commands() {
    static constexpr ui::CommandEntry<AddProxyPage> kCommands[] = {
        {IDC_ADD_PROXY_APPLY, &AddProxyPage::OnApply}};
    return kCommands;
}

// A typo is told apart from a dead proxy: only an address:port is tested.
void AddProxyPage::OnApply() {
    const std::string text = ItemText(hwnd(), IDC_ADD_PROXY_EDIT);
    if (!catalogue::IsProxyAddressText(text)) {
        ui::ShowMessage(parent(), std::string(kWriteProxyAsAddress));
        return;
    }
    TestAndAdoptFrom(parent(), text, false);
}

// ---------------------------------------------------------------------------------------------

ListUpdatePage::ListUpdatePage(HWND main_window) : MessageMap(IDD_LIST_UPDATE, main_window) {}

std::span<const ui::MessageEntry<ListUpdatePage>> ListUpdatePage::Messages() {
    static constexpr ui::MessageEntry<ListUpdatePage> kMessages[] = {{WM_TIMER, &ListUpdatePage::OnTimer}};
    return kMessages;
}

std::span<const ui::CommandEntry<ListUpdatePage>> ListUpdatePage::Commands() {
    static constexpr ui::CommandEntry<ListUpdatePage> kCommands[] = {
        {IDOK, &ListUpdatePage::OnStart},
        {IDC_LIST_UPDATE_SOURCE_ADD, &ListUpdatePage::OnAddSource},
        {IDC_LIST_UPDATE_SOURCE_REMOVE, &ListUpdatePage::OnRemoveSource}};
    return kCommands;
}

ListUpdatePage::~ListUpdatePage() { TheProxyLists().sources_changed = nullptr; }

bool ListUpdatePage::OnInitDialog() {
    PlainPage::OnInitDialog();
    ::SendMessageA(hwnd(), DM_SETDEFID, IDOK, 0);
    HWND main_window = parent();
    progress_ = std::make_unique<RefreshProgress>(
        hwnd(), IDC_LIST_UPDATE_PROGRESS, AnonymityUiFor(main_window), [this, main_window](bool updated) {
            std::string text(updated ? kListUpdated : kListNotDownloaded);
            if (!progress_->failed_sources().empty()) text += " " + progress_->failed_sources();
            ui::ShowMessage(main_window, text);
            ::SendDlgItemMessageA(hwnd(), IDC_LIST_UPDATE_PROGRESS, PBM_SETPOS, 0, 0);
            ::EnableWindow(Item(IDOK), TRUE);
        });
    HWND list = Item(IDC_LIST_UPDATE_SOURCES);
    ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddColumn(list, 0, "List address", 296);
    AddColumn(list, 1, "Proxies", 60);
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
    for (const std::string& url : catalogue::ReadListSources()) {
        std::string count = "not read yet";
        for (const catalogue::SourceOutcome& outcome : outcomes) {
            if (outcome.url == url) count = outcome.ok ? std::to_string(outcome.lines.size()) : "failed";
        }
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<char*>(url.c_str());
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

// Only an http address is kept: the lists are read with a plain GET, and anything else would only
// fail at every update.
void ListUpdatePage::OnAddSource() {
    std::string text = ItemText(hwnd(), IDC_LIST_UPDATE_SOURCE_EDIT);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    text.erase(0, text.find_first_not_of(" \t"));
    std::string scheme = text.substr(0, 7);
    for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (scheme != "http://" || !platform::http::ParseUrl(text)) {
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
    urls.erase(std::remove(urls.begin(), urls.end(), url), urls.end());
    StoreSources(urls);
}

void ListUpdatePage::OnStart() {
    if (!progress_ || progress_->Running()) return;
    if (progress_->Start()) ::EnableWindow(Item(IDOK), FALSE);
}

ui::Result ListUpdatePage::OnTimer(const ui::Message& message) {
    if (progress_ && progress_->OnTimer(message.wparam)) return 0;
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------

SubPage MakeAnonymityPage(int template_id, HWND main_window) {
    switch (template_id) {
        case IDD_WIZARD:
            return {std::make_unique<WizardPage>(main_window), nullptr};
        case IDD_CURRENT_PROXY: {
            auto page = std::make_unique<CurrentProxyPage>(main_window);
            CurrentProxyPage* current = page.get();
            return {std::move(page), [current] { current->ShowCurrentProxy(); }};
        }
        case IDD_NEW_LIST:
            return {std::make_unique<NewListPage>(main_window), nullptr};
        case IDD_TESTED_LIST:
            return {std::make_unique<TestedListPage>(main_window), nullptr};
        case IDD_ADD_PROXY:
            return {std::make_unique<AddProxyPage>(main_window), nullptr};
        case IDD_LIST_UPDATE:
            return {std::make_unique<ListUpdatePage>(main_window), nullptr};
        default:
            return {};
    }
}

}  // namespace vestrel::app
