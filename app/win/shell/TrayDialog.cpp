// The notification-area icon of a dialog and its popup menu.
#include "app/win/shell/TrayDialog.h"

#include <algorithm>
#include <cstring>

#include "app/ShellTexts.h"
#include "app/win/ui/Dpi.h"

namespace vestrel::app {
namespace {

// Sent to every top-level window when the shell's notification area (re)starts, empty.
UINT TaskbarCreatedMessage() {
    static const UINT id = ::RegisterWindowMessageA("TaskbarCreated");
    return id;
}

}  // namespace

TrayDialog::TrayDialog(int template_id, HWND parent) : MessageMap(template_id, parent) {
    // The second form of the record: icon, tip, callback message and the balloon's texts.
    data_.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data_.uID = kIconId;
    data_.uFlags = NIF_MESSAGE;
    data_.uCallbackMessage = kCallbackMessage;
}

std::span<const ui::MessageEntry<TrayDialog>> TrayDialog::Messages() {
    static constexpr ui::MessageEntry<TrayDialog> kMessages[] = {
        {kCallbackMessage, &TrayDialog::OnTrayCallback},
        {WM_SYSCOMMAND, &TrayDialog::OnSystemCommand},
        {WM_DESTROY, &TrayDialog::OnDestroy},
    };
    return kMessages;
}

bool TrayDialog::SetTrayIcon(int icon_id) {
    // The notification area shows small icons at the window's DPI; the icon resource has each size.
    HICON icon = static_cast<HICON>(::LoadImageA(ui::Dialog::Instance(), MAKEINTRESOURCEA(icon_id),
                                                 IMAGE_ICON, ui::SystemMetric(SM_CXSMICON, dpi()),
                                                 ui::SystemMetric(SM_CYSMICON, dpi()), 0));
    if (icon == nullptr) return false;
    icon_id_ = icon_id;
    icon_.reset(icon);
    data_.hIcon = icon;
    data_.uFlags |= NIF_ICON;
    return true;
}

void TrayDialog::SetTrayTip(std::string_view tip) {
    const std::string cut = app::TrayTip(tip);
    std::memset(data_.szTip, 0, sizeof(data_.szTip));
    std::memcpy(data_.szTip, cut.data(), std::min(cut.size(), sizeof(data_.szTip) - 1));
    data_.uFlags |= NIF_TIP;
}

void TrayDialog::Rescale() {
    SkinnedDialog::Rescale();
    if (icon_id_ == 0 || !SetTrayIcon(icon_id_)) return;
    if (icon_shown_) ::Shell_NotifyIconA(NIM_MODIFY, &data_);
}

bool TrayDialog::SetTrayMenu(int menu_id) {
    menu_.reset(::LoadMenuA(ui::Dialog::Instance(), MAKEINTRESOURCEA(menu_id)));
    return static_cast<bool>(menu_);
}

ui::Result TrayDialog::Dispatch(const ui::Message& message) {
    // A shell that started again (Explorer ended and came back) has lost the icon: it goes back.
    if (message.id != 0 && message.id == TaskbarCreatedMessage()) {
        if (icon_shown_) AddToShell();
        return 0;
    }
    return MessageMap::Dispatch(message);
}

bool TrayDialog::AddToShell() {
    data_.hWnd = hwnd();
    // A busy shell can take the icon and still report a failure (a time-out): a change that
    // succeeds shows the icon is there.
    return ::Shell_NotifyIconA(NIM_ADD, &data_) || ::Shell_NotifyIconA(NIM_MODIFY, &data_);
}

bool TrayDialog::ShowIcon() {
    if (icon_shown_) return false;
    icon_shown_ = AddToShell();
    return icon_shown_;
}

bool TrayDialog::ShowBalloon(std::string_view title, std::string_view text) {
    const auto copy = [](char* to, std::size_t room, std::string_view from) {
        std::memset(to, 0, room);
        std::memcpy(to, from.data(), std::min(from.size(), room - 1));
    };
    copy(data_.szInfoTitle, sizeof(data_.szInfoTitle), title);
    copy(data_.szInfo, sizeof(data_.szInfo), text);
    data_.dwInfoFlags = NIIF_INFO;
    data_.uTimeout = 10000;
    data_.uFlags |= NIF_INFO;
    bool shown = false;
    if (!icon_shown_) {
        shown = ShowIcon();
    } else {
        // The shell may have lost the icon without saying so: it is added again with the balloon.
        shown = ::Shell_NotifyIconA(NIM_MODIFY, &data_) || AddToShell();
    }
    // Later additions and changes of the icon do not show the same balloon again.
    data_.uFlags &= ~static_cast<UINT>(NIF_INFO);
    data_.szInfo[0] = '\0';
    return shown;
}

bool TrayDialog::HideIcon() {
    if (!icon_shown_) return false;
    if (!::Shell_NotifyIconA(NIM_DELETE, &data_)) return false;
    icon_shown_ = false;
    return true;
}

void TrayDialog::OnTrayLeftDoubleClick(POINT) {
    if (minimise_to_tray_ && HideIcon()) ::ShowWindow(hwnd(), SW_SHOW);
}

void TrayDialog::OnTrayRightDown(POINT cursor) {
    if (!menu_) return;
    HMENU popup = ::GetSubMenu(menu_.get(), 0);
    if (popup == nullptr) return;
    // Without being the foreground window first, the menu would not close when the user clicks elsewhere.
    ::SetForegroundWindow(hwnd());
    ::TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, hwnd(), nullptr);
    ::SetMenuDefaultItem(popup, default_item_, TRUE);
}

void TrayDialog::HideToTray() {
    if (!ShowIcon()) ShowIcon();
    ::ShowWindow(hwnd(), SW_HIDE);
}

ui::Result TrayDialog::OnTrayCallback(const ui::Message& message) {
    if (message.wparam != kIconId) return 0;
    POINT cursor{};
    ::GetCursorPos(&cursor);
    switch (static_cast<UINT>(message.lparam)) {
        case WM_RBUTTONDOWN:
        case WM_CONTEXTMENU:
            OnTrayRightDown(cursor);
            break;
        case WM_LBUTTONDBLCLK:
            OnTrayLeftDoubleClick(cursor);
            break;
        case WM_LBUTTONDOWN:
            OnTrayLeftDown(cursor);
            break;
        case WM_RBUTTONDBLCLK:
            OnTrayRightDoubleClick(cursor);
            break;
        case WM_MOUSEMOVE:
            OnTrayMouseMove(cursor);
            break;
        default:
            break;
    }
    return 0;
}

ui::Result TrayDialog::OnSystemCommand(const ui::Message& message) {
    const UINT command = static_cast<UINT>(message.wparam) & 0xFFF0;
    if (minimise_to_tray_ && (command == SC_MINIMIZE || command == SC_CLOSE)) {
        HideToTray();
        return 0;
    }
    return std::nullopt;
}

ui::Result TrayDialog::OnDestroy(const ui::Message&) {
    if (data_.hWnd != nullptr && data_.uID != 0 && icon_shown_) HideIcon();
    return std::nullopt;
}

}  // namespace vestrel::app
