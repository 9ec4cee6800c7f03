// Subclassing of a control's window procedure, with the object found through a window property.
#include "app/win/ui/Control.h"

namespace vestrel::app::ui {

namespace {
constexpr const char* kProperty = "VestrelControl";
}

Control::~Control() { Detach(); }

Control* Control::FromHandle(HWND window) {
    if (window == nullptr) return nullptr;
    return static_cast<Control*>(::GetPropA(window, kProperty));
}

bool Control::Attach(HWND window) {
    if (window == nullptr || hwnd_ != nullptr || FromHandle(window) != nullptr) return false;
    if (!::SetPropA(window, kProperty, this)) return false;
    hwnd_ = window;
    previous_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Control::WindowProcedure)));
    if (previous_ == nullptr) {
        ::RemovePropA(window, kProperty);
        hwnd_ = nullptr;
        return false;
    }
    OnAttached();
    return true;
}

void Control::Detach() {
    if (hwnd_ == nullptr) return;
    ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
    ::RemovePropA(hwnd_, kProperty);
    hwnd_ = nullptr;
}

LRESULT Control::Default(const Message& message) {
    return ::CallWindowProcA(previous_, hwnd_, message.id, message.wparam, message.lparam);
}

LRESULT CALLBACK Control::WindowProcedure(HWND window, UINT id, WPARAM wparam, LPARAM lparam) {
    Control* self = FromHandle(window);
    if (self == nullptr) return ::DefWindowProcA(window, id, wparam, lparam);
    const Message message{id, wparam, lparam};
    try {
        if (id == WM_NCDESTROY) {
            WNDPROC previous = self->previous_;
            self->Detach();
            return ::CallWindowProcA(previous, window, id, wparam, lparam);
        }
        if (Result result = self->Dispatch(message)) return *result;
    } catch (...) {
        // Fall through to the control's own procedure: nothing unwinds through user32.
    }
    return self->Default(message);
}

}  // namespace vestrel::app::ui
