// Steps through the anonymity section of a started Vestrel.exe, shared by the whole-program tests:
// showing the section, its buttons and sub-pages, the Tested list's context menu, the question dialog
// and the proxy test dialog.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "resources/ids/AnonymityIds.h"
#include "resources/ids/DialogIds.h"
#include "resources/ids/MainWindowIds.h"
#include "tests/app/ProgramDriver.h"
#include "tests/app/Screenshot.h"

namespace vestrel::app::testing {

// Clicks the navigation panel's anonymity button and waits for the section's introduction.
inline bool ShowAnonymitySection(const Program& program) {
    Click(::GetDlgItem(::GetDlgItem(program.main(), IDD_NAVIGATION_PANEL), IDC_NAV_ANONYMITY));
    return WaitUntil(
        [&] { return ::IsWindowVisible(::GetDlgItem(program.main(), IDD_ANONYMITY_INTRO)) != FALSE; });
}

// The section's button `index`, counted from the top: the last three share their id, so they are told
// apart by where they stand.
inline HWND SectionButton(const Program& program, int index) {
    HWND panel = ::GetDlgItem(::GetDlgItem(program.main(), IDD_ANONYMITY_SECTION), IDD_ANONYMITY_PANEL);
    std::vector<std::pair<LONG, HWND>> buttons;
    for (HWND child = ::GetWindow(panel, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        const int id = ::GetDlgCtrlID(child);
        if (id < IDC_WIZARD_BUTTON || id > IDC_LIST_UPDATE_BUTTON) continue;
        RECT rect{};
        ::GetWindowRect(child, &rect);
        buttons.emplace_back(rect.top, child);
    }
    std::sort(buttons.begin(), buttons.end());
    return index < static_cast<int>(buttons.size()) ? buttons[index].second : nullptr;
}

// Shows a sub-page by its section button and waits for it.
inline HWND OpenSectionPage(const Program& program, int index, int page_id) {
    Click(SectionButton(program, index));
    HWND page = ::GetDlgItem(program.main(), page_id);
    WaitUntil([&] { return ::IsWindowVisible(page) != FALSE; });
    return page;
}

// Right-clicks row `row` of a list view and picks the menu's command number `command` (1 to 4), saving
// the open menu as `screenshot` when one is named.
inline bool PickFromMenu(const Program& program, HWND list, int row, int command,
                         const char* screenshot = nullptr) {
    const RECT bounds = RowRect(program.id(), list, row);
    RightClick(list, 20, (bounds.top + bounds.bottom) / 2);
    HWND menu = nullptr;
    if (!WaitUntil([&] { return (menu = OpenMenu(program.id())) != nullptr; })) return false;
    if (screenshot != nullptr) SaveScreenshot(program.main(), screenshot);
    for (int i = 0; i < command; ++i) ::PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    ::PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    return WaitUntil([&] { return OpenMenu(program.id()) == nullptr; });
}

// Answers the question dialog with OK (yes) or Cancel (no): its text, "" when none came.
inline std::string AnswerQuestion(const Program& program, bool yes,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return program.CloseDialogWith(IDC_CONFIRM_TEXT, yes ? IDOK : IDCANCEL, timeout);
}

// Presses Start in the proxy test dialog and waits up to `timeout` for the test (and the judge): the
// task list's rows as "description=response", the dialog left open.
inline std::vector<std::string> StartProxyTest(const Program& program, HWND dialog,
                                               std::chrono::milliseconds timeout) {
    HWND tasks = ::GetDlgItem(dialog, IDC_PROXY_TEST_TASKS);
    HWND start = ::GetDlgItem(dialog, IDC_PROXY_TEST_START);
    Click(start);
    WaitUntil([&] { return Count(tasks, LVM_GETITEMCOUNT) > 0 && ::IsWindowEnabled(start); }, timeout);
    std::vector<std::string> rows;
    for (int row = 0; row < Count(tasks, LVM_GETITEMCOUNT); ++row)
        rows.push_back(CellText(program.id(), tasks, row, 0) + "=" + CellText(program.id(), tasks, row, 1));
    return rows;
}

// Runs the next proxy test dialog through: Start, its rows, a screenshot when named, then OK. The
// number of rows: five for a proxy that answered (its grade and HTTPS last), one for one that did not;
// -1 when no dialog came.
inline int TestInDialog(const Program& program, const char* screenshot = nullptr,
                        std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
    HWND dialog = program.WaitForDialogWith(IDC_PROXY_TEST_TASKS);
    if (dialog == nullptr) return -1;
    const int rows = static_cast<int>(StartProxyTest(program, dialog, timeout).size());
    if (screenshot != nullptr) SaveScreenshot(dialog, screenshot);
    Click(::GetDlgItem(dialog, IDC_PROXY_TEST_OK));
    WaitUntil([&] { return !::IsWindow(dialog); });
    return rows;
}

}  // namespace vestrel::app::testing
