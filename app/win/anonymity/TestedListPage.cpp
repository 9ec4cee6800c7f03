// The Tested list page: the tested proxies, their right-click menu and Test All Proxies.
#include "app/win/anonymity/TestedListPage.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "ArtworkIds.h"
#include "app/Anonymity.h"
#include "app/win/anonymity/PageHelpers.h"
#include "app/win/anonymity/ProxyTestDialog.h"
#include "app/win/shell/ConfirmDialog.h"
#include "app/win/shell/Integration.h"
#include "catalogue/ProxyText.h"
#include "catalogue/TestedFile.h"
#include "resources/ids/AnonymityIds.h"

namespace vestrel::app {

namespace {

// The list view's columns: the tested list's own, by their index, and after them the proxy's type,
// which the address column already says and the view shows apart, second from the left.
constexpr std::size_t kTypeColumn = catalogue::kTypeViewColumn;
constexpr std::size_t kViewColumnCount = catalogue::kTestedColumnCount + 1;
// Left to right on the screen.
constexpr std::array<int, kViewColumnCount> kViewOrder = {
    catalogue::kAddressColumn,      static_cast<int>(kTypeColumn),   catalogue::kCountryColumn,
    catalogue::kResponseTimeColumn, catalogue::kDownloadSpeedColumn, catalogue::kGradeColumn};

std::string_view HeaderOf(std::size_t column) {
    return column == kTypeColumn ? catalogue::kTypeHeader : catalogue::kTestedColumnHeaders[column];
}

// Makes each column as wide as its header's text in the header's own font (the Type column as wide as
// its widest value), with the room a header keeps around its text, so that no header is cut; the
// rightmost column takes what is left.
void FitColumnsToHeaders(HWND list) {
    HWND header = reinterpret_cast<HWND>(::SendMessageA(list, LVM_GETHEADER, 0, 0));
    HDC dc = ::GetDC(header);
    if (dc == nullptr) return;
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(header, WM_GETFONT, 0, 0)));
    // A header keeps three edge widths on each side of its text.
    const int margin = 6 * ::GetSystemMetrics(SM_CXEDGE) + 1;
    const auto width_of = [dc](std::string_view text) {
        SIZE size{};
        ::GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx);
    };
    int used = 0;
    for (std::size_t position = 0; position + 1 < kViewColumnCount; ++position) {
        const auto column = static_cast<std::size_t>(kViewOrder[position]);
        int width = width_of(HeaderOf(column));
        if (column == kTypeColumn) width = std::max(width, width_of("SOCKS5"));
        ::SendMessageA(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width + margin, 0));
        used += width + margin;
    }
    // The rightmost on the screen is not the last by index, so it is given the rest by hand.
    RECT client{};
    ::GetClientRect(list, &client);
    const int last = std::max<int>(width_of(HeaderOf(kViewOrder.back())) + margin, client.right - used);
    ::SendMessageA(list, LVM_SETCOLUMNWIDTH, kViewOrder.back(), MAKELPARAM(last, 0));
    ::SelectObject(dc, old);
    ::ReleaseDC(header, dc);
}

// What the view shows of a row's cell: the address without its scheme, which the Type column says.
std::string ViewText(const catalogue::TestedList& tested, std::size_t index, std::size_t column) {
    const std::string& address = tested.Cell(index, catalogue::kAddressColumn);
    if (column == kTypeColumn)
        return std::string(catalogue::ProtocolName(catalogue::ProxyProtocolOf(address)));
    if (column == catalogue::kAddressColumn) {
        const std::size_t scheme = address.find("://");
        return scheme == std::string::npos ? address : address.substr(scheme + 3);
    }
    return tested.Cell(index, column);
}

constexpr std::string_view kRemoveAllQuestion =
    "Remove every proxy from the list?\n\nMyProxies.txt is emptied too.";

}  // namespace

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
    for (std::size_t c = 0; c < kViewColumnCount; ++c)
        AddColumn(list, static_cast<int>(c), std::string(HeaderOf(c)).c_str(), 0);
    ::SendMessageA(list, LVM_SETCOLUMNORDERARRAY, kViewOrder.size(),
                   reinterpret_cast<LPARAM>(kViewOrder.data()));
    LOGFONTA face{};
    if (::GetObjectA(reinterpret_cast<HGDIOBJ>(::SendMessageA(list, WM_GETFONT, 0, 0)), sizeof(face),
                     &face) != 0) {
        face.lfHeight = face.lfHeight * 13 / 16;
        face.lfWidth = 0;
        list_font_.reset(::CreateFontIndirectA(&face));
        if (list_font_) ::SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(list_font_.get()), TRUE);
    }
    FitColumnsToHeaders(list);
    catalogue::TestedList& tested = TheProxyLists().tested;
    for (std::size_t i = 0; i < tested.RowCount(); ++i) RowInserted(i);
    tested.SetObserver(this);
    return true;
}

void TestedListPage::SetRowText(std::size_t index, std::size_t column, bool insert) {
    const std::string text = ViewText(TheProxyLists().tested, index, column);
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
    for (std::size_t c = 1; c < kViewColumnCount; ++c) SetRowText(index, c, false);
}

void TestedListPage::RowDeleted(std::size_t index) {
    ::SendMessageA(Item(IDC_TESTED_LIST_VIEW), LVM_DELETEITEM, index, 0);
}

void TestedListPage::CellChanged(std::size_t index, std::size_t column) {
    SetRowText(index, column, false);
    if (column == catalogue::kAddressColumn) SetRowText(index, kTypeColumn, false);
}

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

// The view's rows are the list's, in its order; the list has the whole address, scheme included.
void TestedListPage::OnUseProxy() {
    const int row = SelectedRow();
    const catalogue::TestedList& tested = TheProxyLists().tested;
    if (row < 0 || static_cast<std::size_t>(row) >= tested.RowCount()) return;
    const auto index = static_cast<std::size_t>(row);
    UseTestedProxy(tested.Cell(index, catalogue::kAddressColumn),
                   tested.Cell(index, catalogue::kCountryColumn), AnonymityUiFor(parent()));
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
    // A proxy that now answers only in another protocol comes back under that protocol's address.
    const std::string retested =
        result->proxy_text.empty() ? address : catalogue::ProxyAddressOf(result->proxy_text);
    if (!AdoptRetestedProxy(retested, country, *result, AnonymityUiFor(main_window)))
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
        const catalogue::JudgeFunction judge = [](const catalogue::ProxyRoute& proxy,
                                                  const std::atomic<bool>& cancel) {
            catalogue::JudgeOptions options;
            options.cancel = &cancel;
            return catalogue::JudgeProxy(proxy, catalogue::TheRealAddress().Addresses(options), options);
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

}  // namespace vestrel::app
