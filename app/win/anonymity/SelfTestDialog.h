// The verdict of "Am I hidden?" in the program's small dialog, with a link to the address-check web
// page for a second opinion.
#pragma once

#include <windows.h>

#include <span>
#include <string>

#include "app/win/ui/SkinnedButton.h"
#include "app/win/ui/SkinnedDialog.h"
#include "resources/ids/DialogIds.h"

namespace vestrel::app {

class SelfTestDialog : public ui::MessageMap<SelfTestDialog, ui::SkinnedDialog> {
  public:
    static constexpr int kTemplate = IDD_SELF_TEST;

    SelfTestDialog(HWND parent, std::string verdict);
    std::string verdict;

    static std::span<const ui::CommandEntry<SelfTestDialog>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnOk() { EndDialog(IDOK); }
    void OnCancel() { EndDialog(IDCANCEL); }
    ui::SkinnedButton ok_;
    ui::Hyperlink link_;
};

// Shows `verdict` modally.
void ShowSelfTestVerdict(HWND parent, std::string verdict);

}  // namespace vestrel::app
