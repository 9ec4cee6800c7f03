// Layered shape, body dragging, picture loading and the shared colour rules.
#include "app/win/ui/Skin.h"

#include "app/win/ui/Dialog.h"

namespace vestrel::app::ui {

bool ApplyLayeredShape(HWND window) {
    using SetLayeredFunction = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    HMODULE user32 = ::GetModuleHandleA("user32");
    if (user32 == nullptr) return false;
    auto set_layered = reinterpret_cast<SetLayeredFunction>(
        reinterpret_cast<void*>(::GetProcAddress(user32, "SetLayeredWindowAttributes")));
    if (set_layered == nullptr) return false;
    ::SetWindowLongPtrA(window, GWL_EXSTYLE, ::GetWindowLongPtrA(window, GWL_EXSTYLE) | WS_EX_LAYERED);
    return set_layered(window, kKeyColour, 255, LWA_COLORKEY) != FALSE;
}

void StartBodyDrag(HWND window, LPARAM lparam) {
    ::PostMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, lparam);
}

Bitmap LoadPicture(int id) {
    if (id == 0) return Bitmap{};
    return Bitmap(static_cast<HBITMAP>(
        ::LoadImageA(Dialog::Instance(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
}

SIZE PictureSize(HBITMAP bitmap) {
    BITMAP info{};
    if (bitmap == nullptr || ::GetObjectA(bitmap, sizeof(info), &info) == 0) return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

Result ApplyColourRule(ColourRule rule, const Message& message) {
    if (rule == ColourRule::Default) return std::nullopt;
    HDC dc = reinterpret_cast<HDC>(message.wparam);
    HBRUSH hollow = static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
    if (message.id == WM_CTLCOLORSTATIC) {
        HWND control = reinterpret_cast<HWND>(message.lparam);
        char class_name[16] = {};
        ::GetClassNameA(control, class_name, sizeof(class_name));
        // Check boxes report as statics' colour too, and a hollow brush behind them leaves stale
        // pixels; only true static texts go transparent.
        if (::lstrcmpiA(class_name, "Static") != 0) {
            // Every skin behind our check boxes is white.
            if (rule == ColourRule::Page || rule == ColourRule::GreyStatics) {
                ::SetBkColor(dc, kWhite);
                return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
            }
            return std::nullopt;
        }
        ::SetTextColor(dc, rule == ColourRule::MainWindow ? RGB(0, 0, 0) : kGreyText);
        ::SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(hollow);
    }
    if (message.id == WM_CTLCOLORDLG) {
        if (rule == ColourRule::Page) {
            ::SetBkColor(dc, kWhite);
            return reinterpret_cast<LRESULT>(hollow);
        }
        if (rule == ColourRule::TipsPanel) return reinterpret_cast<LRESULT>(hollow);
    }
    return std::nullopt;
}

void RedrawTransparent(HWND control) {
    HWND parent = ::GetParent(control);
    if (parent == nullptr) return;
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    ::RedrawWindow(parent, &rect, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void SetTransparentText(HWND dialog, int id, const char* text) {
    ::SetDlgItemTextA(dialog, id, text);
    if (HWND control = ::GetDlgItem(dialog, id)) RedrawTransparent(control);
}

}  // namespace vestrel::app::ui
