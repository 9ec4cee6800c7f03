// The main window's small modal dialogs: About and the minimise hint.
#pragma once

#include <windows.h>

#include <span>

#include "app/win/ui/SkinnedButton.h"
#include "app/win/ui/SkinnedDialog.h"
#include "resources/ids/DialogIds.h"

namespace vestrel::app {

class AboutDialog : public ui::MessageMap<AboutDialog, ui::SkinnedDialog> {
  public:
    static constexpr int kTemplate = IDD_ABOUT;
    explicit AboutDialog(HWND parent);

  protected:
    bool OnInitDialog() override;

  private:
    ui::SkinnedButton ok_;
};

// Tells the user that minimising puts the program into the tray.
class MinimiseHintDialog : public ui::MessageMap<MinimiseHintDialog, ui::SkinnedDialog> {
  public:
    static constexpr int kTemplate = IDD_MINIMISE_HINT;
    static constexpr int kDoNotShowAgain = IDC_MINIMISE_HINT_DO_NOT_SHOW;
    static constexpr int kConfirm = IDC_MINIMISE_HINT_CONFIRM;

    explicit MinimiseHintDialog(HWND parent);
    int do_not_show_again = 0;

    static std::span<const ui::CommandEntry<MinimiseHintDialog>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnConfirm();
    ui::SkinnedButton confirm_;
};

}  // namespace vestrel::app
