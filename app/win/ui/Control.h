// A control of a dialog that we subclass to handle some of its messages ourselves. Notifications
// that the system sends to the dialog about the control (owner drawing, colours) are reflected back to it.
#pragma once

#include <windows.h>

#include "app/win/ui/MessageMap.h"

namespace vestrel::app::ui {

// Progress bars keep the control's own range, 0 to this.
inline constexpr int kProgressFull = 100;

class Control {
  public:
    Control() = default;
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // Takes over a window; false when it already belongs to another object or cannot be subclassed.
    bool Attach(HWND window);
    bool AttachItem(HWND dialog, int id) { return Attach(::GetDlgItem(dialog, id)); }
    void Detach();
    HWND hwnd() const { return hwnd_; }

    static Control* FromHandle(HWND window);

    // Reflected WM_DRAWITEM, WM_CTLCOLOR* and WM_COMMAND from the parent; nothing means the parent goes on.
    virtual Result Reflect(const Message&) { return std::nullopt; }

  protected:
    virtual Result Dispatch(const Message&) { return std::nullopt; }
    virtual void OnAttached() {}
    LRESULT Default(const Message& message);

  private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT id, WPARAM wparam, LPARAM lparam);

    HWND hwnd_ = nullptr;
    WNDPROC previous_ = nullptr;
};

}  // namespace vestrel::app::ui
