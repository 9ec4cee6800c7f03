// Drives a started Vestrel.exe from outside, as a person would, through window messages: finding
// its windows, reading their texts, clicking. The process is ended by its handle when the driver goes.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "resources/ids/DialogIds.h"
#include "resources/ids/MainWindowIds.h"
#include "tests/support/WindowDriving.h"

namespace vestrel::app::testing {

using namespace std::chrono_literals;

using ::vestrel::testing::TopLevelWindows;
using ::vestrel::testing::WaitUntil;

inline std::string Text(HWND window) { return ::vestrel::testing::WindowText(window); }

// A click as the button gets it from the mouse; posted, because some clicks open modal dialogs.
inline void Click(HWND button) { ::PostMessageA(button, BM_CLICK, 0, 0); }

inline void Command(HWND window, int id) {
    ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

// A count a control answers without parameters (LVM_GETITEMCOUNT, CB_GETCOUNT).
inline int Count(HWND window, UINT message) {
    return static_cast<int>(::SendMessageA(window, message, 0, 0));
}

inline std::string ProgramPath(const char* name) { return ::vestrel::testing::BinFolder() + name; }

inline std::string ClassName(HWND window) {
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof(name));
    return name;
}

// The visible popup menu of a process, if one is open.
inline HWND OpenMenu(DWORD process) {
    const std::vector<HWND> menus = TopLevelWindows(
        process, [](HWND window) { return ::IsWindowVisible(window) && ClassName(window) == "#32768"; });
    return menus.empty() ? nullptr : menus.back();
}

inline void RightClick(HWND window, int x, int y) {
    ::PostMessageA(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, y));
    ::PostMessageA(window, WM_RBUTTONUP, 0, MAKELPARAM(x, y));
}

// Copies `block` into a fresh allocation in another process (after `prepare` saw its address there),
// runs `use` with that address and copies the block back: list view messages that fill a structure
// need it in the list's own process.
template <typename Block, typename Prepare, typename Use>
bool ThroughRemoteMemory(DWORD process, Block& block, Prepare prepare, Use use) {
    HANDLE handle = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
    if (handle == nullptr) return false;
    bool done = false;
    if (auto* remote = static_cast<char*>(
            ::VirtualAllocEx(handle, nullptr, sizeof(block), MEM_COMMIT, PAGE_READWRITE))) {
        prepare(remote);
        ::WriteProcessMemory(handle, remote, &block, sizeof(block), nullptr);
        use(remote);
        done = ::ReadProcessMemory(handle, remote, &block, sizeof(block), nullptr) != FALSE;
        ::VirtualFreeEx(handle, remote, 0, MEM_RELEASE);
    }
    ::CloseHandle(handle);
    return done;
}

// The bounds of a list view's row in another process.
inline RECT RowRect(DWORD process, HWND list, int row) {
    RECT rect{LVIR_BOUNDS, 0, 0, 0};
    ThroughRemoteMemory(
        process, rect, [](char*) {},
        [&](char* remote) { ::SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(remote)); });
    return rect;
}

// The text of one cell of a list view in another process.
inline std::string CellText(DWORD process, HWND list, int row, int column) {
    struct Block {
        LVITEMA item;
        char text[256];
    } block{};
    const bool read = ThroughRemoteMemory(
        process, block,
        [&](char* remote) {
            block.item.iSubItem = column;
            block.item.pszText = remote + offsetof(Block, text);
            block.item.cchTextMax = sizeof(block.text);
        },
        [&](char* remote) { ::SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(remote)); });
    block.text[sizeof(block.text) - 1] = '\0';
    return read ? block.text : "<unread>";
}

// The cells of one column of a list view in another process, top to bottom.
inline std::vector<std::string> ColumnTexts(DWORD process, HWND list, int column) {
    std::vector<std::string> cells;
    for (int row = 0; row < Count(list, LVM_GETITEMCOUNT); ++row)
        cells.push_back(CellText(process, list, row, column));
    return cells;
}

// Visible top-level dialogs of one process.
inline std::vector<HWND> VisibleDialogs(DWORD process) {
    return TopLevelWindows(
        process, [](HWND window) { return ::IsWindowVisible(window) && ClassName(window) == "#32770"; });
}

// One started Vestrel.exe; ended by its handle when the object goes.
class Program {
  public:
    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() { End(); }

    bool Start() {
        std::string command = "\"" + ProgramPath("Vestrel.exe") + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info)) {
            return false;
        }
        ::CloseHandle(info.hThread);
        process_ = info.hProcess;
        id_ = info.dwProcessId;
        return true;
    }

    // The main window: the top-level window of this process titled "Vestrel" with the navigation panel.
    HWND WaitForMainWindow(std::chrono::milliseconds timeout = 30s) {
        WaitUntil(
            [&] {
                main_ = nullptr;
                for (HWND window : AllTopLevel()) {
                    if (::GetDlgItem(window, IDD_NAVIGATION_PANEL) != nullptr) main_ = window;
                }
                return main_ != nullptr && ::IsWindowVisible(main_);
            },
            timeout);
        return main_;
    }

    // Starts the program and waits for its main window, brought to the front: the window, nullptr when
    // the program did not start or showed none.
    HWND Launch() {
        if (!Start()) return nullptr;
        HWND main = WaitForMainWindow();
        if (main != nullptr) ::SetForegroundWindow(main);
        return main;
    }

    bool WaitForExit(std::chrono::milliseconds timeout = 15s) {
        return process_ != nullptr &&
               ::WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
    }

    DWORD ExitCode() const {
        DWORD code = 0;
        ::GetExitCodeProcess(process_, &code);
        return code;
    }

    void End() {
        if (process_ == nullptr) return;
        if (::WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
            ::TerminateProcess(process_, 1);
            ::WaitForSingleObject(process_, 10000);
        }
        ::CloseHandle(process_);
        process_ = nullptr;
    }

    DWORD id() const { return id_; }
    HWND main() const { return main_; }

    std::vector<HWND> AllTopLevel() const {
        return TopLevelWindows(id_, [](HWND window) {
            char title[32] = {};
            ::GetWindowTextA(window, title, sizeof(title));
            return std::string(title) == "Vestrel";
        });
    }

    // A visible dialog of this process other than the main window that holds control `id`.
    HWND WaitForDialogWith(int id, std::chrono::milliseconds timeout = 10s) const {
        HWND found = nullptr;
        WaitUntil(
            [&] {
                for (HWND window : VisibleDialogs(id_)) {
                    if (window != main_ && ::GetDlgItem(window, id) != nullptr) found = window;
                }
                return found != nullptr;
            },
            timeout);
        return found;
    }

    // Reads control `text_id` of the next dialog that holds it, presses `button` and waits for the dialog
    // to close: the text, "" when no dialog came.
    std::string CloseDialogWith(int text_id, int button, std::chrono::milliseconds timeout = 10s) const {
        HWND dialog = WaitForDialogWith(text_id, timeout);
        if (dialog == nullptr) return "";
        const std::string text = Text(::GetDlgItem(dialog, text_id));
        Click(::GetDlgItem(dialog, button));
        WaitUntil([&] { return !::IsWindow(dialog); });
        return text;
    }
    // Dismisses the message dialog: its text, "" when none came.
    std::string Acknowledge(std::chrono::milliseconds timeout = 10s) const {
        return CloseDialogWith(IDC_MESSAGE_TEXT, IDOK, timeout);
    }

  private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    HWND main_ = nullptr;
};

}  // namespace vestrel::app::testing
