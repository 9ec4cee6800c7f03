// Owner-drawn buttons painted from up to four pictures, with hover tracking and the menu button
// built on them; a custom-painted label; and a hyperlink static.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <span>
#include <string>

#include "ArtworkIds.h"
#include "app/win/ui/Control.h"
#include "app/win/ui/Handles.h"

namespace vestrel::app::ui {

class SkinnedButton;

// Told when the pointer enters or leaves a named button (the tips and the status hints).
class HoverSink {
  public:
    virtual void OnButtonHover(SkinnedButton& button, bool entered) = 0;

  protected:
    ~HoverSink() = default;
};

class SkinnedButton : public MessageMap<SkinnedButton, Control> {
  public:
    enum Picture { kNormal, kPressed, kHover, kDisabled };
    static constexpr int kHandCursor = IDCUR_HAND;

    SkinnedButton();

    // Makes an owner-drawn child button of `parent`.
    bool Create(HWND parent, int id, int x, int y, int width, int height, bool enabled = true);
    // Resource ids, 0 for none; without a disabled picture the normal one stands in.
    void SetPictures(int normal, int pressed, int hover = 0, int disabled = 0);
    void SetName(std::string name) { name_ = std::move(name); }
    const std::string& name() const { return name_; }
    bool hovering() const { return hover_; }

    static void SetHoverSink(HoverSink* sink);

    // Takes the pictures (and the place, for a button made by Create) for the window's DPI now.
    void Rescale();

    Result Reflect(const Message& message) override;
    static std::span<const MessageEntry<SkinnedButton>> Messages();

  protected:
    void OnAttached() override;
    Result OnMouseMove(const Message& message);
    Result OnMouseLeave(const Message& message);
    Result OnLeftButtonDown(const Message& message);
    Result OnLeftButtonUp(const Message& message);
    Result OnKillFocus(const Message& message);
    Result OnSetCursor(const Message& message);
    Result OnEraseBackground(const Message& message);

  private:
    // While the button holds the capture, shows it pressed exactly when the pointer is over it;
    // true when that changed the state.
    bool FollowCapture();
    void LoadPictures();
    void FitTemplateButton();
    void Draw(const DRAWITEMSTRUCT& item);
    void DrawPicture(HDC dc, HBITMAP picture, const RECT& rect) const;

    std::string name_;
    HCURSOR cursor_ = nullptr;
    bool hover_ = false;
    bool capture_ = false;
    std::array<Bitmap, 4> pictures_;
    std::array<int, 4> picture_ids_{};
    // Where Create put the button, in the 96-DPI layout; empty for a template's button.
    RECT made_at_{0, 0, 0, 0};
    COLORREF text_colour_;
};

class MenuButton : public MessageMap<MenuButton, SkinnedButton> {
  public:
    MenuButton();
    // flags MF_STRING or MF_SEPARATOR (id -1 for a separator).
    bool AddItem(int id, const char* text, UINT flags = MF_STRING);
    // Where the chosen commands go; the menu is owned by the button, so they reach it first.
    void SetCommandHandler(std::function<void(int)> handler) { on_command_ = std::move(handler); }
    HMENU menu() const { return menu_.get(); }

    static std::span<const MessageEntry<MenuButton>> Messages();

  protected:
    Result OnLeftButtonDown(const Message& message);
    Result OnCommand(const Message& message);

  private:
    Menu menu_;
    bool has_items_ = false;
    std::function<void(int)> on_command_;
};

// A static painted by us: font flags, alignment and a colour mode (1 green, 2 red, 0 custom).
class Label : public MessageMap<Label, Control> {
  public:
    static constexpr COLORREF kGreen = RGB(67, 166, 95);
    static constexpr COLORREF kRed = RGB(225, 43, 39);

    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike_out = false;
    bool antialias = false;
    bool centre = false;
    bool right = false;
    std::string face_name = "MS Sans Serif";
    int font_height = 8;
    COLORREF colour = RGB(0, 0, 0);
    int colour_mode = 0;

    COLORREF TextColour() const;
    static std::span<const MessageEntry<Label>> Messages();

  protected:
    void OnAttached() override;
    Result OnPaint(const Message& message);

  private:
    bool font_failure_reported_ = false;
};

// A static that opens a web page when clicked.
class Hyperlink : public MessageMap<Hyperlink, Control> {
  public:
    Hyperlink();
    void SetTarget(std::string target) { target_ = std::move(target); }
    const std::string& target() const { return target_; }

    Result Reflect(const Message& message) override;
    static std::span<const MessageEntry<Hyperlink>> Messages();

  protected:
    void OnAttached() override;
    Result OnHitTest(const Message& message);
    Result OnSetCursor(const Message& message);
    Result OnLeftButtonDown(const Message& message);

  private:
    std::string target_;
    Font underlined_;
    HCURSOR cursor_ = nullptr;
};

}  // namespace vestrel::app::ui
