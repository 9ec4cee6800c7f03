// The blocking panel, and the privacy section's pages by template.
#include "app/win/privacy/PrivacyPages.h"

#include <memory>

#include "app/win/privacy/CleaningPage.h"
#include "app/win/privacy/StoredBox.h"

namespace vestrel::app {
BlockingPage::BlockingPage(HWND main_window) : MessageMap(kTemplate, main_window) {}

std::span<const ui::CommandEntry<BlockingPage>> BlockingPage::Commands() {
    static constexpr ui::CommandEntry<BlockingPage> kCommands[] = {
        {IDC_INVASIVE_CODE_SAVE, &BlockingPage::OnSave}};
    return kCommands;
}

bool BlockingPage::OnInitDialog() {
    PlainPage::OnInitDialog();
    block_scripts_ = Ticked(settings::kEnableJS);
    block_activex_ = Ticked(settings::kEnableActiveX);
    BindCheck(IDC_BLOCK_JAVASCRIPT, block_scripts_);
    BindCheck(IDC_BLOCK_ACTIVEX, block_activex_);
    UpdateData(false);
    return true;
}

// The relay reads both switches for each connection, so the next request already follows them.
void BlockingPage::OnSave() {
    UpdateData(true);
    StoreBox(settings::kEnableJS, block_scripts_);
    StoreBox(settings::kEnableActiveX, block_activex_);
}

SubPage MakePrivacyPage(int template_id, HWND main_window) {
    switch (template_id) {
        case BlockingPage::kTemplate:
            return SubPage{std::make_unique<BlockingPage>(main_window), nullptr};
        case CleaningPage::kTemplate:
            return SubPage{std::make_unique<CleaningPage>(main_window), nullptr};
        default:
            return SubPage{};
    }
}

}  // namespace vestrel::app
