// The main window's small modal dialogs: About, the minimise hint and the anonymity progress.
#pragma once

#include <windows.h>

#include <span>

#include "app/win/ui/SkinnedButton.h"
#include "app/win/ui/SkinnedDialog.h"

namespace vestrel::app {

class AboutDialog : public ui::MessageMap<AboutDialog, ui::SkinnedDialog> {
  public:
    static constexpr int kTemplate = 100;
    explicit AboutDialog(HWND parent);

  protected:
    bool OnInitDialog() override;

  private:
    ui::SkinnedButton ok_;
};

// Tells the user that minimising puts the program into the tray.
class MinimiseHintDialog : public ui::MessageMap<MinimiseHintDialog, ui::SkinnedDialog> {
  public:
    static constexpr int kTemplate = 287;
    static constexpr int kDoNotShowAgain = 1023;
    static constexpr int kConfirm = 1055;

    explicit MinimiseHintDialog(HWND parent);
    int do_not_show_again = 0;

    static std::span<const ui::CommandEntry<MinimiseHintDialog>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnConfirm();
    ui::SkinnedButton confirm_;
};

// Refreshes the proxy list and switches anonymity back on, showing the progress.
class AnonymityProgressDialog : public ui::MessageMap<AnonymityProgressDialog, ui::SkinnedDialog> {
  public:
    static constexpr int kTemplate = 186;
    static constexpr int kProgress = 1021;

    explicit AnonymityProgressDialog(HWND parent);

    static std::span<const ui::CommandEntry<AnonymityProgressDialog>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnButton();
    ui::SkinnedButton button_;
    bool ran_ = false;
};

}  // namespace vestrel::app
