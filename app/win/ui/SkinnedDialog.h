// The base of every page, panel and dialog of the program: painted from a background picture,
// optionally caption-less and dragged by its body, with the shared colour rules and F1 help.
#pragma once

#include <windows.h>

#include <span>
#include <string>
#include <vector>

#include "app/win/ui/Dialog.h"
#include "app/win/ui/Dpi.h"
#include "app/win/ui/Handles.h"
#include "app/win/ui/Skin.h"
#include "app/win/ui/SkinnedButton.h"
#include "resources/ids/DialogIds.h"

namespace vestrel::app::ui {

class SkinnedDialog : public MessageMap<SkinnedDialog, Dialog> {
  public:
    SkinnedDialog(int template_id, HWND parent);

    // Loads the background picture; false only when its size cannot be read (it is then dropped).
    bool SetBackground(int bitmap_id);
    bool HasBackground() const { return static_cast<bool>(background_); }
    SIZE BackgroundSize() const { return background_size_; }

    // Places a control in client pixels of the 96-DPI layout, scaled to the window's DPI, whatever the
    // dialog font makes of the template's units; the place is kept and taken again at a new DPI.
    void PlaceItem(int id, int x, int y, int width, int height);
    // The same for any window placed by this one (its pages, panels, a sibling page's position).
    // With SWP_NOSIZE only the position is set and kept.
    void Place(HWND window, int x, int y, int width, int height, UINT flags = SWP_NOZORDER | SWP_NOACTIVATE,
               HWND insert_after = nullptr);
    UINT dpi() const { return WindowDpi(hwnd()); }
    // Gives a control the caption font of the window's DPI, and again at a new DPI.
    void UseCaptionFont(int id);

    // Draws the window again for the DPI its top-level window has now: its background, the places it
    // gave, then the same for every skinned dialog and button inside it.
    void RescaleTree();

    static std::span<const MessageEntry<SkinnedDialog>> Messages();

  protected:
    // Set by the derived classes before the window is made.
    ColourRule colour_rule_ = ColourRule::Default;
    bool moves_by_body_ = false;
    // Top-level skinned windows take the size of their picture and open centred.
    bool fit_to_background_ = false;

    Result OnEraseBackground(const Message& message);
    Result OnSize(const Message& message);
    Result OnColour(const Message& message);
    Result OnLeftButtonDown(const Message& message);
    Result OnHelp(const Message& message);
    Result OnDpiChanged(const Message& message);

    // This window's part of RescaleTree: background and places; derived classes add their fonts.
    virtual void Rescale();

    // What the caption-less popups share (About, minimise hint, messages, progress): the title
    // "Vestrel", the popup background, the layered shape, and their one button at the bottom centre.
    void InitPopup(SkinnedButton& button, int button_id, int normal, int pressed);

  private:
    void FitToBackground();
    bool LoadBackground();

    struct Placed {
        HWND window;
        int x, y, width, height;
        bool keep_size;
    };

    int background_id_ = 0;
    Bitmap background_;
    SIZE background_size_{0, 0};
    std::vector<Placed> placed_;
    std::vector<int> caption_items_;
};

// The program's message dialog: a centred text and an OK button.
class MessageDialog : public MessageMap<MessageDialog, SkinnedDialog> {
  public:
    static constexpr int kTemplate = IDD_MESSAGE;
    static constexpr int kTextId = IDC_MESSAGE_TEXT;

    explicit MessageDialog(HWND parent, std::string message = {});
    std::string message;

    static std::span<const CommandEntry<MessageDialog>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnOk();
    SkinnedButton ok_;
};

// Shows `text` in the message dialog, modally.
void ShowMessage(HWND parent, std::string text);

}  // namespace vestrel::app::ui
