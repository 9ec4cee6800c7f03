// Which section pages, sub-pages and navigation buttons of the main window are shown and enabled.
// The window code applies this state to its child windows; keeping it apart lets it be checked
// without a window system.
#pragma once

#include <array>
#include <vector>

namespace vestrel::app {

class Navigation {
  public:
    static constexpr int kSections = 4;

    // The number of section buttons (and sub-pages beside the introduction) of each section; the
    // status section has none, its one sub-page being the status hint panel.
    explicit Navigation(const std::array<int, kSections>& section_buttons);

    // A click on the main panel's button of `section` (1 to 4). Disabled buttons send no clicks,
    // so a click on the current section's button is ignored.
    void ClickMain(int section);
    // A click on section button `index` (0-based) of `section`'s own panel.
    void ClickSection(int section, int index);

    int current() const { return current_; }
    bool SectionVisible(int section) const;
    // `index` of a sub-page: 0 .. count-1 for those of the section buttons, count for the introduction.
    bool SubPageVisible(int section, int index) const;
    bool MainButtonEnabled(int section) const;
    bool SectionButtonEnabled(int section, int index) const;
    int SectionButtons(int section) const;

  private:
    struct Section {
        bool visible = false;
        bool main_enabled = true;
        std::vector<bool> sub_visible;     // section buttons' pages, then the introduction
        std::vector<bool> button_enabled;  // section buttons
    };
    bool Valid(int section) const { return section >= 1 && section <= kSections; }
    void Reset();
    void ShowSection(int section);

    std::array<Section, kSections> sections_;
    int current_ = 1;
};

}  // namespace vestrel::app
