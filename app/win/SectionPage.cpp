// Building a section: its panel, its buttons 200 x 40 at x = 11, y = 53 + 50 j, and its sub-pages.
#include "app/win/SectionPage.h"

namespace vestrel::app {

const std::array<SectionSpec, 3>& Sections() {
    static const std::array<SectionSpec, 3> kSections{{
        {2,
         151,
         163,
         284,
         {{1111, {212, 214, 213, 214}, 165},
          {1112, {215, 217, 216, 217}, 169},
          {1113, {218, 220, 219, 220}, 174},
          {1114, {221, 223, 222, 223}, 175},
          // The last three share their id; the panel tells them apart by their registration.
          {1114, {224, 226, 225, 226}, 176},
          {1114, {227, 229, 228, 229}, 177}}},
        {3, 152, 178, 285, {{1111, {231, 233, 232, 233}, 179}, {1112, {234, 230, 235, 230}, 180}}},
        {4, 161, 183, 286, {{1111, {236, 238, 237, 238}, 181}, {1112, {239, 241, 240, 241}, 182}}},
    }};
    return kSections;
}

SectionPage::SectionPage(const SectionSpec& section_layout, HWND main_window, NavigationHost& host)
    : MessageMap(section_layout.page_template, main_window), layout_(section_layout), host_(host) {
    colour_rule_ = ui::ColourRule::Page;
}

std::span<const ui::CommandEntry<SectionPage>> SectionPage::Commands() {
    static constexpr ui::CommandEntry<SectionPage> kCommands[] = {{IDOK, &SectionPage::OnOk},
                                                                  {IDCANCEL, &SectionPage::OnCancel}};
    return kCommands;
}

void SectionPage::OnCancel() {
    if (HWND main_window = parent()) ::SendMessageA(main_window, WM_COMMAND, IDCANCEL, 0);
}

bool SectionPage::Build(HWND main_button) {
    if (!Create()) return false;
    ::SetWindowLongPtrA(hwnd(), GWLP_ID, layout_.page_template);
    HWND main_window = parent();

    panel_ = std::make_unique<NavigationPanel>(layout_.panel_template, hwnd(), layout_.section, host_);
    if (!panel_->Create()) return false;
    ::SetWindowLongPtrA(panel_->hwnd(), GWLP_ID, layout_.panel_template);
    panel_->SetBackground(194);
    ::SetWindowPos(panel_->hwnd(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);

    int top = 53;
    for (const SectionButtonSpec& button_layout : layout_.buttons) {
        auto button = std::make_unique<ui::SkinnedButton>();
        if (!button->Create(panel_->hwnd(), button_layout.id, 11, top, 200, 40)) return false;
        button->SetPictures(button_layout.pictures[0], button_layout.pictures[1], button_layout.pictures[2],
                            button_layout.pictures[3]);
        top += 50;

        SubPage page = MakeSubPage(button_layout.sub_page_template, main_window);
        if (!page.dialog || !page.dialog->Create()) return false;
        ::SetWindowLongPtrA(page.dialog->hwnd(), GWLP_ID, button_layout.sub_page_template);
        ::SetWindowPos(page.dialog->hwnd(), nullptr, 340, 100, 410, 360, SWP_NOZORDER | SWP_HIDEWINDOW);
        panel_->Register(page.dialog->hwnd(), button->hwnd());
        buttons_.push_back(std::move(button));
        sub_pages_.push_back(std::move(page));
    }

    // The introduction goes last, paired with the main panel's button of this section.
    SubPage intro = MakeSubPage(layout_.intro_template, main_window);
    if (!intro.dialog || !intro.dialog->Create()) return false;
    ::SetWindowLongPtrA(intro.dialog->hwnd(), GWLP_ID, layout_.intro_template);
    ::SetWindowPos(intro.dialog->hwnd(), nullptr, 340, 100, 410, 360, SWP_NOZORDER | SWP_HIDEWINDOW);
    panel_->Register(intro.dialog->hwnd(), main_button);
    sub_pages_.push_back(std::move(intro));

    ::SetWindowPos(hwnd(), nullptr, 150, 100, 200, 350, SWP_NOZORDER | SWP_HIDEWINDOW);
    return true;
}

}  // namespace vestrel::app
