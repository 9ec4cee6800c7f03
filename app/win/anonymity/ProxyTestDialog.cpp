// The proxy test dialog.
#include "app/win/anonymity/ProxyTestDialog.h"

#include <commctrl.h>

#include <cstdio>
#include <utility>

#include "ArtworkIds.h"
#include "app/Anonymity.h"
#include "app/ShellTexts.h"
#include "catalogue/ProxyText.h"

namespace vestrel::app {

ProxyTestDialog::ProxyTestDialog(HWND parent, std::string host, std::string source_text, std::int32_t port)
    : MessageMap(IDD_PROXY_TEST, parent),
      host_(std::move(host)),
      source_text_(std::move(source_text)),
      port_(port) {
    colour_rule_ = ui::ColourRule::GreyStatics;
    moves_by_body_ = true;
    fit_to_background_ = true;
}

std::span<const ui::CommandEntry<ProxyTestDialog>> ProxyTestDialog::Commands() {
    static constexpr ui::CommandEntry<ProxyTestDialog> kCommands[] = {
        {IDC_PROXY_TEST_START, &ProxyTestDialog::OnStart},
        {IDC_PROXY_TEST_OK, &ProxyTestDialog::OnOk},
        {IDC_PROXY_TEST_CANCEL, &ProxyTestDialog::OnCancel},
        {IDOK, &ProxyTestDialog::OnOk},
        {IDCANCEL, &ProxyTestDialog::OnCancel},
    };
    return kCommands;
}

bool ProxyTestDialog::OnInitDialog() {
    ::SetWindowTextA(hwnd(), std::string(kWindowTitle).c_str());
    SetBackground(IDB_PROXY_TEST_BACKGROUND);
    start_.AttachItem(hwnd(), IDC_PROXY_TEST_START);
    start_.SetPictures(IDB_START, IDB_START_PRESSED);
    ok_.AttachItem(hwnd(), IDC_PROXY_TEST_OK);
    ok_.SetPictures(IDB_PROXY_TEST_OK, IDB_PROXY_TEST_OK_PRESSED);
    cancel_.AttachItem(hwnd(), IDC_PROXY_TEST_CANCEL);
    cancel_.SetPictures(IDB_CANCEL, IDB_CANCEL_PRESSED);
    // The task list holds its header and five rows without a scroll bar.
    PlaceItem(IDC_PROXY_TEST_DETAILS, 32, 58, 368, 16);
    PlaceItem(IDC_PROXY_TEST_TASKS, 32, 76, 368, 112);
    PlaceItem(IDC_PROXY_TEST_PROGRESS, 32, 192, 368, 10);
    PlaceItem(IDC_PROXY_TEST_START, 32, 208, 90, 30);
    PlaceItem(IDC_PROXY_TEST_OK, 214, 208, 90, 30);
    PlaceItem(IDC_PROXY_TEST_CANCEL, 310, 208, 90, 30);
    ui::ApplyLayeredShape(hwnd());

    HWND list = Item(IDC_PROXY_TEST_TASKS);
    ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    struct Column {
        const char* title;
        int width;
    };
    static constexpr Column kColumns[] = {{"Task Description", 170}, {"Response", 170}};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<char*>(kColumns[i].title);
        column.cx = kColumns[i].width;
        column.iSubItem = i;
        ::SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    char details[300];
    std::snprintf(details, sizeof(details), "Proxy details: %s:%d (%s)", host_.c_str(),
                  static_cast<int>(port_),
                  std::string(catalogue::ProtocolName(catalogue::ProxyProtocolOf(source_text_))).c_str());
    SetItemText(hwnd(), IDC_PROXY_TEST_DETAILS, details);
    return true;
}

void ProxyTestDialog::AddRow(const std::string& description, const std::string& response) {
    HWND list = Item(IDC_PROXY_TEST_TASKS);
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<char*>(description.c_str());
    const int index =
        static_cast<int>(::SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) return;
    LVITEMA cell{};
    cell.iSubItem = 1;
    cell.pszText = const_cast<char*>(response.c_str());
    ::SendMessageA(list, LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&cell));
    ::SendMessageA(list, LVM_ENSUREVISIBLE, index, FALSE);
}

void ProxyTestDialog::OnStart() {
    if (testing_) return;
    testing_ = true;
    passed_ = false;
    // One test at a time: Start and OK wait for this one's answer; Cancel stays available.
    ::EnableWindow(start_.hwnd(), FALSE);
    ::EnableWindow(ok_.hwnd(), FALSE);
    ::SendMessageA(Item(IDC_PROXY_TEST_PROGRESS), PBM_SETPOS, 0, 0);
    const LifeToken::Watch watch = life_.Watcher();
    StartBackgroundWork([this, watch, host = host_, port = port_,
                         route = catalogue::ProxyRouteOf(source_text_), cancel = cancel_test_]() -> UiStep {
        const std::uint32_t connect_ms = catalogue::ConnectTime(host, port);
        std::optional<catalogue::JudgeResult> judged;
        if (connect_ms != 0 && !*cancel) {
            catalogue::JudgeOptions options;
            options.cancel = cancel.get();
            judged = catalogue::JudgeProxy(route, catalogue::TheRealAddress().Addresses(options), options);
        }
        return [this, watch, connect_ms, judged]() {
            if (watch.Alive()) ShowOutcome(connect_ms, judged);
        };
    });
}

void ProxyTestDialog::ShowOutcome(std::uint32_t connect_ms,
                                  const std::optional<catalogue::JudgeResult>& judged) {
    const catalogue::TestOutcome outcome = catalogue::RecordTestResult(connect_ms, source_text_, judged);
    judged_text_ = judged ? catalogue::TextAsJudged(source_text_, *judged) : std::string();
    // Filed under the tested list's address of the proxy in the protocol it answered in: the protocol
    // and the credentials are part of it.
    if (judged && !RecordGrade(catalogue::ProxyAddressOf(judged_text_), *judged))
        ui::ShowMessage(hwnd(), "The grade could not be written to " + catalogue::GradeFilePath() + ".");
    for (const catalogue::TaskRow& row : outcome.rows) AddRow(row.description, row.response);
    if (outcome.progress_full)
        ::SendMessageA(Item(IDC_PROXY_TEST_PROGRESS), PBM_SETPOS, ui::kProgressFull, 0);
    passed_ = connect_ms != 0;
    testing_ = false;
    ::EnableWindow(start_.hwnd(), TRUE);
    ::EnableWindow(ok_.hwnd(), TRUE);
}

void ProxyTestDialog::OnOk() {
    if (testing_) return;
    UpdateData(true);
    *cancel_test_ = true;
    EndDialog(1);
}

void ProxyTestDialog::OnCancel() {
    *cancel_test_ = true;
    EndDialog(2);
}

std::optional<catalogue::RecordedResult> ProxyTestDialog::Run() {
    if (DoModal() != 1 || !passed_) return std::nullopt;
    catalogue::RecordedResult result = catalogue::ReadRecordedResult();
    if (!result.passed) return std::nullopt;
    result.proxy_text = judged_text_;
    return result;
}

std::optional<catalogue::RecordedResult> RunProxyTestDialog(HWND parent, const std::string& host,
                                                            const std::string& source_text,
                                                            std::int32_t port) {
    ProxyTestDialog dialog(parent, host, source_text, port);
    return dialog.Run();
}

}  // namespace vestrel::app
