// The main window's navigation rule: one section visible, its main button disabled; inside a section,
// one sub-page visible with its button disabled.
#include "app/Navigation.h"

namespace vestrel::app {

Navigation::Navigation(const std::array<int, kSections>& section_buttons) {
    for (int s = 0; s < kSections; ++s) {
        const int count = section_buttons[s] < 0 ? 0 : section_buttons[s];
        sections_[s].sub_visible.assign(count + 1, false);
        sections_[s].button_enabled.assign(count, true);
    }
    // The window starts on the status section.
    ShowSection(1);
}

void Navigation::Reset() {
    for (auto& section : sections_) {
        section.visible = false;
        section.main_enabled = true;
        section.sub_visible.assign(section.sub_visible.size(), false);
        section.button_enabled.assign(section.button_enabled.size(), true);
    }
}

void Navigation::ShowSection(int section) {
    Reset();
    Section& s = sections_[section - 1];
    s.visible = true;
    s.main_enabled = false;
    s.sub_visible.back() = true;  // the introduction
    current_ = section;
}

void Navigation::ClickMain(int section) {
    if (!Valid(section) || !MainButtonEnabled(section)) return;
    ShowSection(section);
}

void Navigation::ClickSection(int section, int index) {
    if (!Valid(section) || index < 0 || index >= SectionButtons(section)) return;
    if (!SectionButtonEnabled(section, index)) return;
    if (current_ != section) ShowSection(section);
    Section& s = sections_[section - 1];
    s.sub_visible.assign(s.sub_visible.size(), false);
    s.button_enabled.assign(s.button_enabled.size(), true);
    s.sub_visible[index] = true;
    s.button_enabled[index] = false;
}

bool Navigation::SectionVisible(int section) const {
    return Valid(section) && sections_[section - 1].visible;
}

bool Navigation::SubPageVisible(int section, int index) const {
    if (!Valid(section)) return false;
    const auto& pages = sections_[section - 1].sub_visible;
    return index >= 0 && index < static_cast<int>(pages.size()) && pages[index];
}

bool Navigation::MainButtonEnabled(int section) const {
    return Valid(section) && sections_[section - 1].main_enabled;
}

bool Navigation::SectionButtonEnabled(int section, int index) const {
    if (!Valid(section)) return false;
    const auto& buttons = sections_[section - 1].button_enabled;
    return index >= 0 && index < static_cast<int>(buttons.size()) && buttons[index];
}

int Navigation::SectionButtons(int section) const {
    return Valid(section) ? static_cast<int>(sections_[section - 1].button_enabled.size()) : 0;
}

}  // namespace vestrel::app
