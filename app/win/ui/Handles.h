// Owning wrappers for the window system's handles: GDI objects, menus, icons, modules, kernel
// objects and device-context selections. Each frees its handle exactly once.
#pragma once

#include <windows.h>

#include <utility>

#include "platform/win32/UniqueHandle.h"

namespace vestrel::app::ui {

using platform::KernelHandle;
using platform::UniqueHandle;

inline void DeleteGdiObject(HGDIOBJ object) { ::DeleteObject(object); }
inline void DestroyMenuHandle(HMENU menu) { ::DestroyMenu(menu); }
inline void DestroyIconHandle(HICON icon) { ::DestroyIcon(icon); }
inline void ReleaseModule(HMODULE module) { ::FreeLibrary(module); }
inline void DeleteMemoryDc(HDC dc) { ::DeleteDC(dc); }

using Bitmap = UniqueHandle<HBITMAP, DeleteGdiObject>;
using Font = UniqueHandle<HFONT, DeleteGdiObject>;
using Brush = UniqueHandle<HBRUSH, DeleteGdiObject>;
using Menu = UniqueHandle<HMENU, DestroyMenuHandle>;
using Icon = UniqueHandle<HICON, DestroyIconHandle>;
using Module = UniqueHandle<HMODULE, ReleaseModule>;
using MemoryDc = UniqueHandle<HDC, DeleteMemoryDc>;

// Selects an object into a device context for the life of the scope.
class SelectScope {
  public:
    SelectScope(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~SelectScope() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }
    SelectScope(const SelectScope&) = delete;
    SelectScope& operator=(const SelectScope&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A window's device context from GetDC, released at the end of the scope.
class WindowDc {
  public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// BeginPaint/EndPaint.
class PaintScope {
  public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = ::BeginPaint(window, &paint_); }
    ~PaintScope() { ::EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC get() const { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

}  // namespace vestrel::app::ui
