// The privacy section's two panels: blocking scripts and ActiveX objects in relayed pages (here), and
// the cleaning tasks (CleaningPage.h).
#pragma once

#include <windows.h>

#include <span>

#include "app/win/shell/Integration.h"
#include "app/win/shell/Pages.h"
#include "resources/ids/PrivacyIds.h"

namespace vestrel::app {

class BlockingPage : public ui::MessageMap<BlockingPage, PlainPage> {
  public:
    static constexpr int kTemplate = IDD_INVASIVE_CODE;
    explicit BlockingPage(HWND main_window);

    static std::span<const ui::CommandEntry<BlockingPage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnSave();

    int block_scripts_ = 0;
    int block_activex_ = 0;
};

// The page of a privacy sub-page template (blocking, cleaning); an empty SubPage for any other.
SubPage MakePrivacyPage(int template_id, HWND main_window);

}  // namespace vestrel::app
