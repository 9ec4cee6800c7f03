// What the skinned windows share: the layered colour key, moving a caption-less window by its body,
// the colour rules for statics, and loading pictures from the resources.
#pragma once

#include <windows.h>

#include "app/win/ui/Handles.h"
#include "app/win/ui/MessageMap.h"

namespace vestrel::app::ui {

// Pixels of this colour in a skin are see-through and let clicks pass.
inline constexpr COLORREF kKeyColour = RGB(229, 27, 255);
inline constexpr COLORREF kGreyText = RGB(80, 80, 80);
inline constexpr COLORREF kWhite = RGB(255, 255, 255);

// Makes the window's key-coloured pixels transparent when the system has layered windows
// (SetLayeredWindowAttributes, looked up at run time so that older systems stay rectangular).
bool ApplyLayeredShape(HWND window);

// Starts a caption drag from a press at `lparam` (client coordinates).
void StartBodyDrag(HWND window, LPARAM lparam);

// A picture of the skin drawn for `dpi` (the nearest of the drawn scales), decoded from the PNG in
// the resources; empty when it does not load.
Bitmap LoadPicture(int id, UINT dpi);
SIZE PictureSize(HBITMAP bitmap);
// A greyed, lightened copy of a picture (key-coloured pixels kept), for a button that is disabled
// and has no picture of its own for that state; empty when `picture` is not one LoadPicture made.
Bitmap FadedPicture(HBITMAP picture);

// How a dialog answers WM_CTLCOLOR* for itself and its statics.
enum class ColourRule {
    Default,      // the dialog manager's colours
    GreyStatics,  // statics grey on a transparent background
    Page,         // grey statics; the dialog white with a hollow brush
    MainWindow,   // statics black on a transparent background
    TipsPanel,    // grey statics; the dialog hollow so that the skin behind shows
};
Result ApplyColourRule(ColourRule rule, const Message& message);

// A static with a transparent background keeps its old pixels when its text changes; this repaints
// the parent's area under it first.
void RedrawTransparent(HWND control);
void SetTransparentText(HWND dialog, int id, const char* text);

}  // namespace vestrel::app::ui
