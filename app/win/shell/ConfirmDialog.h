// The message dialog with a question: OK goes ahead, Cancel (or Escape) does not.
#pragma once

#include <windows.h>

#include <span>
#include <string>

#include "app/win/ui/SkinnedButton.h"
#include "app/win/ui/SkinnedDialog.h"

namespace vestrel::app {

class ConfirmDialog : public ui::MessageMap<ConfirmDialog, ui::SkinnedDialog> {
  public:
    ConfirmDialog(HWND parent, std::string question);
    std::string question;

    static std::span<const ui::CommandEntry<ConfirmDialog>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnOk() { EndDialog(IDOK); }
    void OnCancel() { EndDialog(IDCANCEL); }
    ui::SkinnedButton ok_;
    ui::SkinnedButton cancel_;
};

// True when the user answered OK.
bool Confirm(HWND parent, std::string question);

}  // namespace vestrel::app
