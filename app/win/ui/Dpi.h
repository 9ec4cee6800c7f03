// The display scale of a window: which of the skin's picture sets it shows, and the pixel lengths,
// font heights and icon sizes that go with it.
#pragma once

#include <windows.h>

namespace vestrel::app::ui {

inline constexpr UINT kBaseDpi = 96;

// The DPI a window is drawn for: the one its top-level window was last told by WM_DPICHANGED, else
// the window's own (GetDpiForWindow, Windows 10 1607 and later), else the system's.
UINT WindowDpi(HWND window);
UINT SystemDpi();
// Records the DPI a top-level window moved to, for it and every child.
void SetWindowDpi(HWND top_level, UINT dpi);

// The picture set for a DPI: the index of the nearest drawn scale and its percent of 96 DPI.
int PictureScaleIndex(UINT dpi);
int PictureScalePercent(UINT dpi);

// A length of the 96-DPI layout at the scale of the pictures chosen for `dpi`, rounded as the
// artwork script rounds picture sizes, so that controls and their pictures keep matching.
int Scaled(int length, UINT dpi);

// GetSystemMetricsForDpi where the system has it (Windows 10 1607), else GetSystemMetrics.
int SystemMetric(int index, UINT dpi);

}  // namespace vestrel::app::ui
