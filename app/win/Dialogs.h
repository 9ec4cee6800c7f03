// The main window's small modal dialogs: About, the minimise hint and the anonymity progress.
#pragma once

#include <windows.h>

#include <memory>
#include <span>

#include "app/win/RefreshProgress.h"
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

// Refreshes the proxy list and switches anonymity back on, showing the progress.
class AnonymityProgressDialog : public ui::MessageMap<AnonymityProgressDialog, ui::SkinnedDialog> {
  public:
    static constexpr int kTemplate = IDD_ANONYMITY_PROGRESS;
    static constexpr int kProgress = IDC_ANONYMITY_PROGRESS_BAR;

    explicit AnonymityProgressDialog(HWND parent);

    static std::span<const ui::MessageEntry<AnonymityProgressDialog>> Messages();
    static std::span<const ui::CommandEntry<AnonymityProgressDialog>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnButton();
    void OnCancel();
    void OnRefreshed(bool updated);
    ui::Result OnTimer(const ui::Message& message);

    ui::SkinnedButton button_;
    std::unique_ptr<RefreshProgress> progress_;
    bool ran_ = false;
};

}  // namespace vestrel::app
