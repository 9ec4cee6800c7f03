// The base of every page, panel and dialog of the program: painted from a background picture,
// optionally caption-less and dragged by its body, with the shared colour rules and F1 help.
#pragma once

#include <windows.h>

#include <span>
#include <string>

#include "app/win/ui/Dialog.h"
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

    // Places a control in client pixels, whatever the dialog font makes of the template's units.
    void PlaceItem(int id, int x, int y, int width, int height) const;

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

    // What the caption-less popups share (About, minimise hint, messages, progress): the title
    // "Vestrel", the popup background, the layered shape, and their one button at the bottom centre.
    void InitPopup(SkinnedButton& button, int button_id, int normal, int pressed);

  private:
    void FitToBackground();

    Bitmap background_;
    SIZE background_size_{0, 0};
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
