// A section of the main window (anonymity, privacy, options): a page holding the section's panel and
// buttons, and the sub-pages those buttons show.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <span>
#include <vector>

#include "app/win/shell/Integration.h"
#include "app/win/shell/NavigationPanel.h"
#include "app/win/ui/SkinnedButton.h"
#include "app/win/ui/SkinnedDialog.h"

namespace vestrel::app {

struct SectionButtonSpec {
    int id;
    std::array<int, 4> pictures;  // normal, pressed, hover, disabled
    int sub_page_template;
};

struct SectionSpec {
    int section;  // 2 to 4, also the kind of its panel
    int page_template;
    int panel_template;
    int intro_template;
    std::vector<SectionButtonSpec> buttons;
};

// The three sections in the order of the main panel's buttons 2 to 4.
const std::array<SectionSpec, 3>& Sections();

class SectionPage : public ui::MessageMap<SectionPage, ui::SkinnedDialog> {
  public:
    SectionPage(const SectionSpec& section_layout, HWND main_window, NavigationHost& host);

    // Makes the page, its panel and buttons, and every sub-page (hidden); false at the first failure.
    bool Build(HWND main_button);

    const SectionSpec& layout() const { return layout_; }
    NavigationPanel& panel() { return *panel_; }
    // The sub-pages of the section buttons in order, then the introduction.
    std::vector<SubPage>& sub_pages() { return sub_pages_; }
    // The section's button `index`, or null when the build stopped before making it.
    ui::SkinnedButton* button(int index) {
        return index < static_cast<int>(buttons_.size()) ? buttons_[index].get() : nullptr;
    }

    static std::span<const ui::CommandEntry<SectionPage>> Commands();

  private:
    void OnOk() {}
    void OnCancel();

    const SectionSpec& layout_;
    NavigationHost& host_;
    std::unique_ptr<NavigationPanel> panel_;
    std::vector<std::unique_ptr<ui::SkinnedButton>> buttons_;
    std::vector<SubPage> sub_pages_;
};

}  // namespace vestrel::app
