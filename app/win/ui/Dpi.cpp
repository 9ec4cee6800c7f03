// Window DPI, looked up at run time so that the program still starts on systems without the
// per-monitor functions, and the rounding shared with the artwork.
#include "app/win/ui/Dpi.h"

#include <cstdlib>
#include <iterator>

#include "ArtworkIds.h"

namespace vestrel::app::ui {

namespace {

constexpr char kDpiProperty[] = "VestrelDpi";
constexpr int kScales[] = {VESTREL_PICTURE_SCALE_LIST};

template <typename Function>
Function User32Function(const char* name) {
    HMODULE user32 = ::GetModuleHandleA("user32");
    if (user32 == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

}  // namespace

UINT SystemDpi() {
    HDC screen = ::GetDC(nullptr);
    if (screen == nullptr) return kBaseDpi;
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

UINT WindowDpi(HWND window) {
    if (window != nullptr) {
        HWND top = ::GetAncestor(window, GA_ROOT);
        if (top == nullptr) top = window;
        if (HANDLE told = ::GetPropA(top, kDpiProperty))
            return static_cast<UINT>(reinterpret_cast<UINT_PTR>(told));
        using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
        static const auto get_dpi_for_window = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
        if (get_dpi_for_window != nullptr) {
            if (const UINT dpi = get_dpi_for_window(window); dpi != 0) return dpi;
        }
    }
    return SystemDpi();
}

void SetWindowDpi(HWND top_level, UINT dpi) {
    if (top_level != nullptr && dpi != 0)
        ::SetPropA(top_level, kDpiProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(dpi)));
}

int PictureScaleIndex(UINT dpi) {
    const int percent = static_cast<int>((dpi * 100 + kBaseDpi / 2) / kBaseDpi);
    int best = 0;
    for (int i = 1; i < static_cast<int>(std::size(kScales)); ++i) {
        if (std::abs(kScales[i] - percent) < std::abs(kScales[best] - percent)) best = i;
    }
    return best;
}

int PictureScalePercent(UINT dpi) { return kScales[PictureScaleIndex(dpi)]; }

int Scaled(int length, UINT dpi) {
    const int percent = PictureScalePercent(dpi);
    if (percent == 100) return length;
    return length >= 0 ? (length * percent + 50) / 100 : -((-length * percent + 50) / 100);
}

int SystemMetric(int index, UINT dpi) {
    using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);
    static const auto for_dpi = User32Function<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi");
    if (for_dpi != nullptr) return for_dpi(index, dpi);
    return ::GetSystemMetrics(index);
}

}  // namespace vestrel::app::ui
