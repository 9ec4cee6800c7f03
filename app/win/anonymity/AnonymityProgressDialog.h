// The quick anonymity button's dialog: the list refresh with its progress, then anonymity back on.
#pragma once

#include <windows.h>

#include <memory>
#include <span>

#include "app/win/anonymity/RefreshProgress.h"
#include "app/win/ui/SkinnedButton.h"
#include "app/win/ui/SkinnedDialog.h"
#include "resources/ids/DialogIds.h"

namespace vestrel::app {

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
