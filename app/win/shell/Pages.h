// The pages of the main window that need no subsystem: a plain sub-page and the tips panel.
#pragma once

#include <windows.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/win/ui/SkinnedButton.h"
#include "app/win/ui/SkinnedDialog.h"
#include "resources/ids/MainWindowIds.h"

namespace vestrel::app {

// A sub-page with the page colours, F1 help and Escape hiding the main window.
class PlainPage : public ui::MessageMap<PlainPage, ui::SkinnedDialog> {
  public:
    PlainPage(int template_id, HWND main_window);
    static std::span<const ui::CommandEntry<PlainPage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnOk() {}
    void OnCancel();

    std::vector<std::unique_ptr<ui::SkinnedButton>> buttons_;
};

// The panel under the navigation that shows the tip of the button under the pointer.
class TipsPanel : public ui::MessageMap<TipsPanel, ui::SkinnedDialog> {
  public:
    static constexpr int kTemplate = IDD_TIPS_PANEL;
    static constexpr int kTextId = IDC_TIPS_TEXT;

    explicit TipsPanel(HWND main_window);
    void SetTip(const std::string& text);
    std::string Tip() const;
};

// Escape on any page hides the main window to the tray, as the main window's own Escape does.
void HideMainWindowToTray(HWND page);

}  // namespace vestrel::app
