// Building a section: its panel, its buttons 200 x 40 at x = 11, y = 53 + 50 j, and its sub-pages.
#include "app/win/shell/SectionPage.h"

#include "ArtworkIds.h"
#include "resources/ids/AnonymityIds.h"
#include "resources/ids/OptionsIds.h"
#include "resources/ids/PrivacyIds.h"

namespace vestrel::app {

const std::array<SectionSpec, 3>& Sections() {
    static const std::array<SectionSpec, 3> kSections{{
        {2,
         IDD_ANONYMITY_SECTION,
         IDD_ANONYMITY_PANEL,
         IDD_ANONYMITY_INTRO,
         {{IDC_WIZARD_BUTTON,
           {IDB_SECTION_WIZARD, IDB_SECTION_WIZARD_PRESSED, IDB_SECTION_WIZARD_HOVER,
            IDB_SECTION_WIZARD_PRESSED},
           IDD_WIZARD},
          {IDC_CURRENT_PROXY_BUTTON,
           {IDB_SECTION_CURRENT_PROXY, IDB_SECTION_CURRENT_PROXY_PRESSED, IDB_SECTION_CURRENT_PROXY_HOVER,
            IDB_SECTION_CURRENT_PROXY_PRESSED},
           IDD_CURRENT_PROXY},
          {IDC_NEW_LIST_BUTTON,
           {IDB_SECTION_NEW_LIST, IDB_SECTION_NEW_LIST_PRESSED, IDB_SECTION_NEW_LIST_HOVER,
            IDB_SECTION_NEW_LIST_PRESSED},
           IDD_NEW_LIST},
          // The last three share their id; the panel tells them apart by their registration.
          {IDC_TESTED_LIST_BUTTON,
           {IDB_SECTION_TESTED_LIST, IDB_SECTION_TESTED_LIST_PRESSED, IDB_SECTION_TESTED_LIST_HOVER,
            IDB_SECTION_TESTED_LIST_PRESSED},
           IDD_TESTED_LIST},
          {IDC_ADD_PROXY_BUTTON,
           {IDB_SECTION_ADD_PROXY, IDB_SECTION_ADD_PROXY_PRESSED, IDB_SECTION_ADD_PROXY_HOVER,
            IDB_SECTION_ADD_PROXY_PRESSED},
           IDD_ADD_PROXY},
          {IDC_LIST_UPDATE_BUTTON,
           {IDB_SECTION_LIST_UPDATE, IDB_SECTION_LIST_UPDATE_PRESSED, IDB_SECTION_LIST_UPDATE_HOVER,
            IDB_SECTION_LIST_UPDATE_PRESSED},
           IDD_LIST_UPDATE}}},
        {3,
         IDD_PRIVACY_SECTION,
         IDD_PRIVACY_PANEL,
         IDD_PRIVACY_INTRO,
         {{IDC_INVASIVE_CODE_BUTTON,
           {IDB_SECTION_INVASIVE_CODE, IDB_SECTION_INVASIVE_CODE_PRESSED, IDB_SECTION_INVASIVE_CODE_HOVER,
            IDB_SECTION_INVASIVE_CODE_PRESSED},
           IDD_INVASIVE_CODE},
          {IDC_CLEANING_BUTTON,
           {IDB_SECTION_CLEANING, IDB_SECTION_CLEANING_PRESSED, IDB_SECTION_CLEANING_HOVER,
            IDB_SECTION_CLEANING_PRESSED},
           IDD_CLEANING}}},
        {4,
         IDD_OPTIONS_SECTION,
         IDD_OPTIONS_PANEL,
         IDD_OPTIONS_INTRO,
         {{IDC_BROWSERS_BUTTON,
           {IDB_SECTION_BROWSERS, IDB_SECTION_BROWSERS_PRESSED, IDB_SECTION_BROWSERS_HOVER,
            IDB_SECTION_BROWSERS_PRESSED},
           IDD_BROWSERS},
          {IDC_START_UP_BUTTON,
           {IDB_SECTION_START_UP, IDB_SECTION_START_UP_PRESSED, IDB_SECTION_START_UP_HOVER,
            IDB_SECTION_START_UP_PRESSED},
           IDD_START_UP}}},
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
    panel_->SetBackground(IDB_SECTION_PANEL);
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
