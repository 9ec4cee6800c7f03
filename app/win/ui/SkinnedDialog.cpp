// Background painting, colours, dragging and help for every skinned window; the message dialog.
#include "app/win/ui/SkinnedDialog.h"

#include <algorithm>

#include "ArtworkIds.h"
#include "app/ShellTexts.h"
#include "app/win/ui/Shell.h"
#include "app/win/ui/SkinnedButton.h"

namespace vestrel::app::ui {

SkinnedDialog::SkinnedDialog(int template_id, HWND parent) : MessageMap(template_id, parent) {}

std::span<const MessageEntry<SkinnedDialog>> SkinnedDialog::Messages() {
    static constexpr MessageEntry<SkinnedDialog> kMessages[] = {
        {WM_ERASEBKGND, &SkinnedDialog::OnEraseBackground},
        {WM_SIZE, &SkinnedDialog::OnSize},
        {WM_CTLCOLORSTATIC, &SkinnedDialog::OnColour},
        {WM_CTLCOLORDLG, &SkinnedDialog::OnColour},
        {WM_CTLCOLORBTN, &SkinnedDialog::OnColour},
        {WM_CTLCOLOREDIT, &SkinnedDialog::OnColour},
        {WM_CTLCOLORLISTBOX, &SkinnedDialog::OnColour},
        {WM_LBUTTONDOWN, &SkinnedDialog::OnLeftButtonDown},
        {WM_HELP, &SkinnedDialog::OnHelp},
        {WM_DPICHANGED, &SkinnedDialog::OnDpiChanged},
    };
    return kMessages;
}

bool SkinnedDialog::SetBackground(int bitmap_id) {
    background_id_ = bitmap_id;
    if (!LoadBackground()) return false;
    if (hwnd() != nullptr && background_) {
        if (fit_to_background_) FitToBackground();
        ::InvalidateRect(hwnd(), nullptr, TRUE);
    }
    return true;
}

bool SkinnedDialog::LoadBackground() {
    Bitmap picture = LoadPicture(background_id_, dpi());
    if (!picture) return true;  // a missing picture keeps the default erase
    const SIZE size = PictureSize(picture.get());
    if (size.cx == 0 || size.cy == 0) {
        background_.reset();
        background_size_ = SIZE{0, 0};
        return false;
    }
    background_ = std::move(picture);
    background_size_ = size;
    return true;
}

void SkinnedDialog::FitToBackground() {
    RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + ((work.right - work.left) - background_size_.cx) / 2;
    const int y = work.top + ((work.bottom - work.top) - background_size_.cy) / 2;
    ::SetWindowPos(hwnd(), nullptr, x, y, background_size_.cx, background_size_.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void SkinnedDialog::PlaceItem(int id, int x, int y, int width, int height) {
    if (HWND item = Item(id)) Place(item, x, y, width, height);
}

void SkinnedDialog::Place(HWND window, int x, int y, int width, int height, UINT flags, HWND insert_after) {
    if (window == nullptr) return;
    const UINT scale = dpi();
    ::SetWindowPos(window, insert_after, Scaled(x, scale), Scaled(y, scale), Scaled(width, scale),
                   Scaled(height, scale), flags);
    const Placed place{window, x, y, width, height, (flags & SWP_NOSIZE) != 0};
    for (Placed& known : placed_) {
        if (known.window == window) {
            known = place;
            return;
        }
    }
    placed_.push_back(place);
}

void SkinnedDialog::UseCaptionFont(int id) {
    if (std::find(caption_items_.begin(), caption_items_.end(), id) == caption_items_.end())
        caption_items_.push_back(id);
    ::SendDlgItemMessageA(hwnd(), id, WM_SETFONT, reinterpret_cast<WPARAM>(CaptionFont(dpi())), TRUE);
}

void SkinnedDialog::Rescale() {
    LoadBackground();
    const UINT scale = dpi();
    for (const int id : caption_items_) {
        ::SendDlgItemMessageA(hwnd(), id, WM_SETFONT, reinterpret_cast<WPARAM>(CaptionFont(scale)), TRUE);
    }
    for (const Placed& place : placed_) {
        if (!::IsWindow(place.window)) continue;
        ::SetWindowPos(place.window, nullptr, Scaled(place.x, scale), Scaled(place.y, scale),
                       Scaled(place.width, scale), Scaled(place.height, scale),
                       SWP_NOZORDER | SWP_NOACTIVATE | (place.keep_size ? SWP_NOSIZE : 0));
    }
}

void SkinnedDialog::RescaleTree() {
    Rescale();
    ::EnumChildWindows(
        hwnd(),
        [](HWND child, LPARAM) -> BOOL {
            if (auto* dialog = dynamic_cast<SkinnedDialog*>(Dialog::FromHandle(child))) dialog->Rescale();
            if (auto* button = dynamic_cast<SkinnedButton*>(Control::FromHandle(child))) button->Rescale();
            return TRUE;
        },
        0);
    ::RedrawWindow(hwnd(), nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
}

Result SkinnedDialog::OnDpiChanged(const Message& message) {
    // The system's suggested place keeps the window where it was on the new monitor; a skinned
    // window takes its new picture's size there.
    const RECT suggested = *reinterpret_cast<const RECT*>(message.lparam);
    SetWindowDpi(hwnd(), LOWORD(message.wparam));
    LoadBackground();
    int width = suggested.right - suggested.left;
    int height = suggested.bottom - suggested.top;
    if (fit_to_background_ && background_) {
        width = background_size_.cx;
        height = background_size_.cy;
    }
    ::SetWindowPos(hwnd(), nullptr, suggested.left, suggested.top, width, height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    RescaleTree();
    return 0;
}

void SkinnedDialog::InitPopup(SkinnedButton& button, int button_id, int normal, int pressed) {
    ::SetWindowTextA(hwnd(), std::string(kWindowTitle).c_str());
    SetBackground(IDB_POPUP_BACKGROUND);
    if (button.hwnd() != nullptr || button.AttachItem(hwnd(), button_id)) button.SetPictures(normal, pressed);
    PlaceItem(button_id, 171, 196, 90, 30);
    ApplyLayeredShape(hwnd());
}

Result SkinnedDialog::OnEraseBackground(const Message& message) {
    HDC dc = reinterpret_cast<HDC>(message.wparam);
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    // The default erase: the brush our colour rule (or the dialog manager) gives the dialog. Pages
    // answer with a hollow brush over white, which we paint as white so that a page shown over
    // another never keeps the old one's pixels.
    HBRUSH brush = reinterpret_cast<HBRUSH>(
        ::SendMessageA(hwnd(), WM_CTLCOLORDLG, message.wparam, reinterpret_cast<LPARAM>(hwnd())));
    if (colour_rule_ == ColourRule::Page) {
        ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    } else if (brush != nullptr && brush != static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH))) {
        ::FillRect(dc, &client, brush);
    }
    if (background_) {
        MemoryDc memory(::CreateCompatibleDC(dc));
        if (memory) {
            SelectScope select(memory.get(), background_.get());
            ::BitBlt(dc, 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
        }
    }
    return TRUE;
}

Result SkinnedDialog::OnSize(const Message&) {
    if (background_) ::InvalidateRect(hwnd(), nullptr, TRUE);
    return std::nullopt;
}

Result SkinnedDialog::OnColour(const Message& message) { return ApplyColourRule(colour_rule_, message); }

Result SkinnedDialog::OnLeftButtonDown(const Message& message) {
    if (!moves_by_body_) return std::nullopt;
    StartBodyDrag(hwnd(), message.lparam);
    return std::nullopt;
}

Result SkinnedDialog::OnHelp(const Message&) {
    ShowPageHelp();
    return TRUE;
}

// ---------------------------------------------------------------------------------------------

MessageDialog::MessageDialog(HWND parent, std::string text)
    : MessageMap(kTemplate, parent), message(std::move(text)) {
    colour_rule_ = ColourRule::GreyStatics;
    moves_by_body_ = true;
    fit_to_background_ = true;
}

std::span<const CommandEntry<MessageDialog>> MessageDialog::Commands() {
    static constexpr CommandEntry<MessageDialog> kCommands[] = {{IDOK, &MessageDialog::OnOk}};
    return kCommands;
}

bool MessageDialog::OnInitDialog() {
    InitPopup(ok_, IDOK, IDB_OK, IDB_OK_PRESSED);
    PlaceItem(kTextId, 24, 70, 384, 110);
    SetItemText(hwnd(), kTextId, message);
    return true;
}

void MessageDialog::OnOk() { EndDialog(IDOK); }

void ShowMessage(HWND parent, std::string text) {
    MessageDialog dialog(parent, std::move(text));
    dialog.DoModal();
}

}  // namespace vestrel::app::ui
