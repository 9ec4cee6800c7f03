// A skinned dialog that hides into the notification area instead of minimising: its icon, tip and
// menu, and the icon's mouse messages.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <span>
#include <string_view>

#include "app/win/ui/Handles.h"
#include "app/win/ui/SkinnedDialog.h"

namespace vestrel::app {

class TrayDialog : public ui::MessageMap<TrayDialog, ui::SkinnedDialog> {
  public:
    static constexpr UINT kCallbackMessage = WM_USER + 1;
    static constexpr UINT kIconId = 1;

    TrayDialog(int template_id, HWND parent);

    // Set-up, before the icon is first shown.
    bool SetTrayIcon(int icon_id);
    void SetTrayTip(std::string_view tip);
    bool SetTrayMenu(int menu_id);

    // Adds the icon; false when it was already shown or the shell refused it.
    bool ShowIcon();
    // Removes the icon; false when it was not shown or the shell refused.
    bool HideIcon();
    bool IconShown() const { return icon_shown_; }
    // A notice in a balloon over the icon; the icon is added first when it is not shown, and stays
    // until the window is restored from it. False when the shell refused.
    bool ShowBalloon(std::string_view title, std::string_view text);
    std::string_view TrayTip() const { return data_.szTip; }

    static std::span<const ui::MessageEntry<TrayDialog>> Messages();

  protected:
    // The icon's mouse messages, with the cursor position in screen coordinates.
    virtual void OnTrayLeftDown(POINT) {}
    virtual void OnTrayLeftDoubleClick(POINT);
    virtual void OnTrayRightDown(POINT);
    virtual void OnTrayRightDoubleClick(POINT) {}
    virtual void OnTrayMouseMove(POINT) {}

    // Hides to the tray as the system menu's minimise and close do.
    void HideToTray();

    bool minimise_to_tray_ = true;

    ui::Result OnTrayCallback(const ui::Message& message);
    ui::Result OnSystemCommand(const ui::Message& message);
    ui::Result OnDestroy(const ui::Message& message);
    // The shell's "TaskbarCreated", whose number is only known at run time, then the tables.
    ui::Result Dispatch(const ui::Message& message) override;
    // The icon again at the small-icon size of the new DPI.
    void Rescale() override;

  private:
    bool AddToShell();

    bool icon_shown_ = false;
    NOTIFYICONDATAA data_{};
    ui::Icon icon_;
    int icon_id_ = 0;
    ui::Menu menu_;
    UINT default_item_ = 0;
};

}  // namespace vestrel::app
