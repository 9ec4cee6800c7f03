// Skinned button drawing and mouse handling, the menu button, the label and the hyperlink.
#include "app/win/ui/SkinnedButton.h"

#include "app/win/ui/Dialog.h"
#include "app/win/ui/Dpi.h"
#include "app/win/ui/Shell.h"
#include "app/win/ui/Skin.h"

namespace vestrel::app::ui {

namespace {

HoverSink*& CurrentHoverSink() {
    static HoverSink* sink = nullptr;
    return sink;
}

HCURSOR HandCursor() {
    // Shared resource cursors are owned by the system; they are never destroyed.
    return ::LoadCursorA(Dialog::Instance(), MAKEINTRESOURCEA(SkinnedButton::kHandCursor));
}

bool TrackLeave(HWND window, DWORD flags) {
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof(track);
    track.dwFlags = flags;
    track.hwndTrack = window;
    track.dwHoverTime = 0;
    return ::TrackMouseEvent(&track) != FALSE;
}

}  // namespace

SkinnedButton::SkinnedButton() : cursor_(HandCursor()), text_colour_(::GetSysColor(COLOR_BTNTEXT)) {}

void SkinnedButton::SetHoverSink(HoverSink* sink) { CurrentHoverSink() = sink; }

std::span<const MessageEntry<SkinnedButton>> SkinnedButton::Messages() {
    static constexpr MessageEntry<SkinnedButton> kMessages[] = {
        {WM_MOUSEMOVE, &SkinnedButton::OnMouseMove},
        {WM_MOUSELEAVE, &SkinnedButton::OnMouseLeave},
        {WM_LBUTTONDOWN, &SkinnedButton::OnLeftButtonDown},
        {WM_LBUTTONDBLCLK, &SkinnedButton::OnLeftButtonDown},
        {WM_LBUTTONUP, &SkinnedButton::OnLeftButtonUp},
        {WM_KILLFOCUS, &SkinnedButton::OnKillFocus},
        {WM_SETCURSOR, &SkinnedButton::OnSetCursor},
        {WM_ERASEBKGND, &SkinnedButton::OnEraseBackground},
    };
    return kMessages;
}

bool SkinnedButton::Create(HWND parent, int id, int x, int y, int width, int height, bool enabled) {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
    if (!enabled) style |= WS_DISABLED;
    const UINT dpi = WindowDpi(parent);
    HWND window = ::CreateWindowExA(
        0, "BUTTON", "", style, Scaled(x, dpi), Scaled(y, dpi), Scaled(width, dpi), Scaled(height, dpi),
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Dialog::Instance(), nullptr);
    if (window == nullptr) return false;
    if (!Attach(window)) {
        ::DestroyWindow(window);
        return false;
    }
    made_at_ = RECT{x, y, x + width, y + height};
    return true;
}

void SkinnedButton::OnAttached() {
    // Templates may carry BS_OWNERDRAW already; buttons made elsewhere get it here.
    LONG_PTR style = ::GetWindowLongPtrA(hwnd(), GWL_STYLE);
    if ((style & BS_TYPEMASK) != BS_OWNERDRAW) {
        ::SetWindowLongPtrA(hwnd(), GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    }
}

void SkinnedButton::SetPictures(int normal, int pressed, int hover, int disabled) {
    picture_ids_ = {normal, pressed, hover, disabled};
    LoadPictures();
    FitTemplateButton();
    if (hwnd() != nullptr) ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void SkinnedButton::LoadPictures() {
    const UINT dpi = WindowDpi(hwnd());
    for (std::size_t i = 0; i < pictures_.size(); ++i) pictures_[i] = LoadPicture(picture_ids_[i], dpi);
    // Without a picture of its own, a disabled button shows its normal one faded, so that a button
    // that cannot be pressed never looks as if it could.
    if (!pictures_[kDisabled]) pictures_[kDisabled] = FadedPicture(pictures_[kNormal].get());
    if (!pictures_[kDisabled]) pictures_[kDisabled] = LoadPicture(picture_ids_[kNormal], dpi);
}

void SkinnedButton::FitTemplateButton() {
    // A template's button is as large as the dialog font makes its units, which grows differently
    // from the pictures between scales; it takes its picture's size, so that no picture is cut.
    if (hwnd() == nullptr || made_at_.right > made_at_.left || !pictures_[kNormal]) return;
    const SIZE size = PictureSize(pictures_[kNormal].get());
    RECT now{};
    ::GetClientRect(hwnd(), &now);
    if (size.cx > 0 && size.cy > 0 && (now.right != size.cx || now.bottom != size.cy))
        ::SetWindowPos(hwnd(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SkinnedButton::Rescale() {
    const UINT dpi = WindowDpi(hwnd());
    LoadPictures();
    if (made_at_.right > made_at_.left) {
        ::SetWindowPos(hwnd(), nullptr, Scaled(made_at_.left, dpi), Scaled(made_at_.top, dpi),
                       Scaled(made_at_.right - made_at_.left, dpi),
                       Scaled(made_at_.bottom - made_at_.top, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    FitTemplateButton();
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

Result SkinnedButton::Reflect(const Message& message) {
    if (message.id != WM_DRAWITEM) return std::nullopt;
    Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(message.lparam));
    return TRUE;
}

bool SkinnedButton::FollowCapture() {
    if (!capture_ || ::GetCapture() != hwnd()) return false;
    POINT cursor{};
    ::GetCursorPos(&cursor);
    const bool over = ::WindowFromPoint(cursor) == hwnd();
    const bool shown_pressed = (::SendMessageA(hwnd(), BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
    if (over == shown_pressed) return false;
    ::SendMessageA(hwnd(), BM_SETSTATE, over ? TRUE : FALSE, 0);
    return true;
}

void SkinnedButton::DrawPicture(HDC dc, HBITMAP picture, const RECT& rect) const {
    if (picture == nullptr) {
        ::FillRect(dc, &rect, ::GetSysColorBrush(COLOR_BTNFACE));
        return;
    }
    MemoryDc memory(::CreateCompatibleDC(dc));
    if (!memory) return;
    SelectScope select(memory.get(), picture);
    ::BitBlt(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, memory.get(), 0, 0,
             SRCCOPY);
}

void SkinnedButton::Draw(const DRAWITEMSTRUCT& item) {
    // The state change repaints the button, which then draws the new state.
    if (FollowCapture()) return;
    HDC dc = item.hDC;
    RECT text_rect = item.rcItem;
    text_rect.left += 2;
    text_rect.right -= 2;
    ::SetBkMode(dc, TRANSPARENT);
    const std::string text = Dialog::WindowText(hwnd());
    if ((item.itemState & ODS_DISABLED) != 0) {
        DrawPicture(dc, pictures_[kDisabled].get(), item.rcItem);
        if (!text.empty()) {
            ::SetTextColor(dc, ::GetSysColor(COLOR_3DHILIGHT));
            ::DrawTextA(dc, text.c_str(), -1, &text_rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            ::OffsetRect(&text_rect, -1, -1);
            ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
            ::DrawTextA(dc, text.c_str(), -1, &text_rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
        return;
    }
    if ((item.itemState & ODS_SELECTED) != 0) {
        DrawPicture(dc, pictures_[kPressed].get(), item.rcItem);
        ::OffsetRect(&text_rect, 1, 1);
    } else {
        HBITMAP picture = (hover_ && pictures_[kHover]) ? pictures_[kHover].get() : pictures_[kNormal].get();
        DrawPicture(dc, picture, item.rcItem);
    }
    if (!text.empty()) {
        ::SetTextColor(dc, text_colour_);
        ::DrawTextA(dc, text.c_str(), -1, &text_rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
}

Result SkinnedButton::OnMouseMove(const Message& message) {
    if (capture_ && ::GetCapture() == hwnd()) {
        if (FollowCapture()) ::InvalidateRect(hwnd(), nullptr, FALSE);
        return Default(message);
    }
    if (!hover_ && TrackLeave(hwnd(), TME_LEAVE)) {
        if (HoverSink* sink = CurrentHoverSink()) sink->OnButtonHover(*this, true);
        hover_ = true;
        ::InvalidateRect(hwnd(), nullptr, FALSE);
    }
    return Default(message);
}

Result SkinnedButton::OnMouseLeave(const Message& message) {
    hover_ = false;
    if (HoverSink* sink = CurrentHoverSink()) sink->OnButtonHover(*this, false);
    ::InvalidateRect(hwnd(), nullptr, FALSE);
    return Default(message);
}

Result SkinnedButton::OnLeftButtonDown(const Message& message) {
    if (hover_ && TrackLeave(hwnd(), TME_CANCEL | TME_LEAVE)) hover_ = false;
    // The button's own handling takes the capture and shows it pressed.
    const LRESULT result = Default({WM_LBUTTONDOWN, message.wparam, message.lparam});
    capture_ = true;
    return result;
}

Result SkinnedButton::OnLeftButtonUp(const Message& message) {
    capture_ = false;
    return Default(message);  // sends the click
}

Result SkinnedButton::OnKillFocus(const Message& message) {
    if (::GetCapture() == hwnd()) ::ReleaseCapture();
    capture_ = false;
    return Default(message);
}

Result SkinnedButton::OnSetCursor(const Message&) {
    if (cursor_ == nullptr) return std::nullopt;
    ::SetCursor(cursor_);
    return TRUE;
}

Result SkinnedButton::OnEraseBackground(const Message&) { return TRUE; }

// ---------------------------------------------------------------------------------------------

MenuButton::MenuButton() : menu_(::CreatePopupMenu()) {}

std::span<const MessageEntry<MenuButton>> MenuButton::Messages() {
    static constexpr MessageEntry<MenuButton> kMessages[] = {
        {WM_LBUTTONDOWN, &MenuButton::OnLeftButtonDown},
        {WM_COMMAND, &MenuButton::OnCommand},
    };
    return kMessages;
}

bool MenuButton::AddItem(int id, const char* text, UINT flags) {
    if (!menu_) return false;
    const UINT_PTR item = (flags & MF_SEPARATOR) != 0 ? static_cast<UINT_PTR>(-1) : static_cast<UINT_PTR>(id);
    if (!::AppendMenuA(menu_.get(), flags, item, (flags & MF_SEPARATOR) != 0 ? nullptr : text)) return false;
    has_items_ = true;
    return true;
}

Result MenuButton::OnLeftButtonDown(const Message& message) {
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    const POINT press{static_cast<short>(LOWORD(message.lparam)), static_cast<short>(HIWORD(message.lparam))};
    if (has_items_ && ::PtInRect(&client, press)) {
        ::SetFocus(hwnd());
        ::InvalidateRect(hwnd(), nullptr, FALSE);
        POINT corner{0, client.bottom};
        ::ClientToScreen(hwnd(), &corner);
        ::TrackPopupMenu(menu_.get(), TPM_LEFTALIGN | TPM_LEFTBUTTON, corner.x, corner.y, 0, hwnd(), nullptr);
        return 0;
    }
    ::InvalidateRect(hwnd(), nullptr, FALSE);
    return std::nullopt;  // the skinned button's own press handling
}

Result MenuButton::OnCommand(const Message& message) {
    if (message.lparam != 0 || !on_command_) return std::nullopt;  // only our menu's items
    on_command_(static_cast<int>(LOWORD(message.wparam)));
    return 0;
}

// ---------------------------------------------------------------------------------------------

std::span<const MessageEntry<Label>> Label::Messages() {
    static constexpr MessageEntry<Label> kMessages[] = {{WM_PAINT, &Label::OnPaint}};
    return kMessages;
}

void Label::OnAttached() {
    ::SetWindowLongPtrA(hwnd(), GWL_STYLE, ::GetWindowLongPtrA(hwnd(), GWL_STYLE) | SS_NOTIFY);
}

COLORREF Label::TextColour() const {
    switch (colour_mode) {
        case 1:
            return kGreen;
        case 2:
            return kRed;
        default:
            return colour;
    }
}

Result Label::OnPaint(const Message&) {
    PaintScope paint(hwnd());
    HDC dc = paint.get();
    ::SetTextColor(dc, TextColour());
    ::SetBkMode(dc, TRANSPARENT);
    Font font(::CreateFontA(Scaled(font_height, WindowDpi(hwnd())), 0, 0, 0, bold ? 900 : 400, italic,
                            underline, strike_out, DEFAULT_CHARSET, OUT_CHARACTER_PRECIS,
                            CLIP_CHARACTER_PRECIS, antialias ? ANTIALIASED_QUALITY : DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, face_name.c_str()));
    if (!font) {
        // Once per label: closing the box repaints the label, and telling again on every paint
        // would bring the box back for ever.
        if (!font_failure_reported_) {
            font_failure_reported_ = true;
            ::MessageBoxA(hwnd(), "Font could not be created!", nullptr, MB_OK);
        }
        return 0;
    }
    SelectScope select(dc, font.get());
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    UINT format = DT_NOPREFIX | DT_WORDBREAK;
    if (centre) format |= DT_CENTER;
    if (right) format |= DT_RIGHT;
    const std::string text = Dialog::WindowText(hwnd());
    ::DrawTextA(dc, text.c_str(), -1, &client, format);
    return 0;
}

// ---------------------------------------------------------------------------------------------

Hyperlink::Hyperlink() : cursor_(HandCursor()) {}

std::span<const MessageEntry<Hyperlink>> Hyperlink::Messages() {
    static constexpr MessageEntry<Hyperlink> kMessages[] = {
        {WM_NCHITTEST, &Hyperlink::OnHitTest},
        {WM_SETCURSOR, &Hyperlink::OnSetCursor},
        {WM_LBUTTONDOWN, &Hyperlink::OnLeftButtonDown},
    };
    return kMessages;
}

void Hyperlink::OnAttached() {
    HFONT font = reinterpret_cast<HFONT>(::SendMessageA(hwnd(), WM_GETFONT, 0, 0));
    if (font == nullptr) font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTA description{};
    if (::GetObjectA(font, sizeof(description), &description) != 0) {
        description.lfUnderline = TRUE;
        underlined_.reset(::CreateFontIndirectA(&description));
        if (underlined_)
            ::SendMessageA(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(underlined_.get()), TRUE);
    }
}

Result Hyperlink::Reflect(const Message& message) {
    if (message.id != WM_CTLCOLORSTATIC) return std::nullopt;
    HDC dc = reinterpret_cast<HDC>(message.wparam);
    ::SetTextColor(dc, RGB(0, 0, 255));
    ::SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
}

Result Hyperlink::OnHitTest(const Message&) { return HTCLIENT; }

Result Hyperlink::OnSetCursor(const Message&) {
    if (cursor_ == nullptr) return std::nullopt;
    ::SetCursor(cursor_);
    return TRUE;
}

Result Hyperlink::OnLeftButtonDown(const Message&) {
    if (target_.empty()) target_ = Dialog::WindowText(hwnd());
    OpenLink(target_);
    return 0;
}

}  // namespace vestrel::app::ui
