// The dialog procedure shared by every dialog of the program: it finds the object, reflects
// control notifications, runs the class chain's tables and keeps exceptions out of user32.
#include "app/win/ui/Dialog.h"

#include "app/win/ui/Control.h"
#include "app/win/ui/WindowText.h"

namespace vestrel::app::ui {

namespace {

// Messages whose dialog-procedure return value is the result itself rather than TRUE/FALSE with the
// result in DWLP_MSGRESULT (see the DialogProc documentation).
bool ReturnsResultDirectly(UINT id) {
    switch (id) {
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_INITDIALOG:
            return true;
        default:
            return false;
    }
}

// The control a notification to the dialog is about, for reflection.
HWND NotifyingControl(HWND dialog, const Message& message) {
    switch (message.id) {
        case WM_DRAWITEM:
            return reinterpret_cast<const DRAWITEMSTRUCT*>(message.lparam)->hwndItem;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<HWND>(message.lparam);
        case WM_COMMAND:
            return message.lparam != 0 ? reinterpret_cast<HWND>(message.lparam) : nullptr;
        default:
            (void)dialog;
            return nullptr;
    }
}

}  // namespace

Dialog::Dialog(int template_id, HWND parent) : template_id_(template_id), parent_(parent) {}

Dialog::~Dialog() {
    // A modeless window outliving its object would call into freed memory.
    if (hwnd_ != nullptr && !modal_) {
        ::SetWindowLongPtrA(hwnd_, DWLP_USER, 0);
        ::DestroyWindow(hwnd_);
    }
}

HINSTANCE Dialog::Instance() { return ::GetModuleHandleA(nullptr); }

INT_PTR Dialog::DoModal() {
    modal_ = true;
    const INT_PTR result = ::DialogBoxParamA(Instance(), MAKEINTRESOURCEA(template_id_), parent_,
                                             &Dialog::DialogProcedure, reinterpret_cast<LPARAM>(this));
    modal_ = false;
    return result;
}

bool Dialog::Create() {
    modal_ = false;
    HWND window = ::CreateDialogParamA(Instance(), MAKEINTRESOURCEA(template_id_), parent_,
                                       &Dialog::DialogProcedure, reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

void Dialog::EndDialog(INT_PTR result) {
    if (hwnd_ == nullptr) return;
    if (modal_) {
        ::EndDialog(hwnd_, result);
    } else {
        ::DestroyWindow(hwnd_);
    }
}

void Dialog::Destroy() {
    if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
}

void Dialog::BindCheck(int id, int& value) { bindings_.push_back({id, &value}); }
void Dialog::BindText(int id, std::string& value) { bindings_.push_back({id, &value}); }

void Dialog::UpdateData(bool save) {
    if (hwnd_ == nullptr) return;
    for (const Binding& binding : bindings_) {
        if (auto* const* number = std::get_if<int*>(&binding.target)) {
            if (save) {
                **number = ::IsDlgButtonChecked(hwnd_, binding.id) == BST_CHECKED ? 1 : 0;
            } else {
                ::CheckDlgButton(hwnd_, binding.id, **number != 0 ? BST_CHECKED : BST_UNCHECKED);
            }
        } else if (auto* const* text = std::get_if<std::string*>(&binding.target)) {
            if (save) {
                **text = ItemText(hwnd_, binding.id);
            } else {
                SetItemText(hwnd_, binding.id, **text);
            }
        }
    }
}

std::string Dialog::ComboSelection(HWND box) {
    return ComboBoxRow(box, ::SendMessageA(box, CB_GETCURSEL, 0, 0));
}

std::string Dialog::WindowText(HWND window) { return ui::WindowText(window); }

std::string Dialog::ItemText(HWND dialog, int id) { return WindowText(::GetDlgItem(dialog, id)); }

void Dialog::SetItemText(HWND dialog, int id, std::string_view text) {
    const std::string copy(text);
    ::SetDlgItemTextA(dialog, id, copy.c_str());
}

Dialog* Dialog::FromHandle(HWND window) {
    char class_name[16] = {};
    if (window == nullptr || ::GetClassNameA(window, class_name, sizeof(class_name)) == 0) return nullptr;
    // DWLP_USER is ours only on dialog windows.
    if (::lstrcmpA(class_name, "#32770") != 0) return nullptr;
    return reinterpret_cast<Dialog*>(::GetWindowLongPtrA(window, DWLP_USER));
}

INT_PTR CALLBACK Dialog::DialogProcedure(HWND window, UINT id, WPARAM wparam, LPARAM lparam) {
    try {
        Dialog* self = nullptr;
        if (id == WM_INITDIALOG) {
            self = reinterpret_cast<Dialog*>(lparam);
            ::SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
            self->hwnd_ = window;
        } else {
            self = reinterpret_cast<Dialog*>(::GetWindowLongPtrA(window, DWLP_USER));
        }
        if (self == nullptr) return FALSE;
        return self->Handle(id, wparam, lparam);
    } catch (...) {
        // Nothing may unwind through the dialog manager; the message counts as not handled.
        return FALSE;
    }
}

INT_PTR Dialog::Handle(UINT id, WPARAM wparam, LPARAM lparam) {
    const Message message{id, wparam, lparam};
    if (id == WM_INITDIALOG) return OnInitDialog() ? TRUE : FALSE;
    if (id == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd_, DWLP_USER, 0);
        hwnd_ = nullptr;
        return FALSE;
    }
    Result result;
    if (HWND control = NotifyingControl(hwnd_, message)) {
        if (Control* owner = Control::FromHandle(control)) result = owner->Reflect(message);
    }
    if (!result) result = Dispatch(message);
    if (!result && modal_ && id == WM_COMMAND && HIWORD(wparam) == BN_CLICKED &&
        (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        // A modal dialog that does not handle OK or Cancel itself ends with that result.
        EndDialog(LOWORD(wparam));
        return TRUE;
    }
    if (!result) return FALSE;
    if (ReturnsResultDirectly(id)) return static_cast<INT_PTR>(*result);
    if (hwnd_ != nullptr) ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, static_cast<LONG_PTR>(*result));
    return TRUE;
}

}  // namespace vestrel::app::ui
