// The blocking and cleaning panels.
#include "app/win/privacy/PrivacyPages.h"

#include <memory>
#include <optional>

#include "app/OptionsRules.h"
#include "settings/RegDwordSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {
namespace {

struct TaskBox {
    int id;
    const settings::DwordSettingSpec& setting;
};
constexpr TaskBox kTaskBoxes[CleaningPage::kTasks] = {
    {IDC_CLEAN_HISTORY, settings::kClearHistory},
    {IDC_CLEAN_TYPED_URLS, settings::kClearTypedUrls},
    {IDC_CLEAN_TEMPORARY_FILES, settings::kClearTemporaryFiles},
    {IDC_CLEAN_COOKIES, settings::kClearCookies},
    {IDC_CLEAN_FORMS, settings::kClearFormEntries},
    {IDC_CLEAN_PASSWORDS, settings::kClearPasswords},
    {IDC_CLEAN_FAVORITES, settings::kClearFavorites}};

int Ticked(const settings::DwordSettingSpec& setting) {
    return settings::RegDwordSetting(setting).get() == 1 ? 1 : 0;
}

// Writes the box's value only when it differs from the stored one.
void StoreBox(const settings::DwordSettingSpec& setting, int box) {
    settings::RegDwordSetting stored(setting);
    stored.get();
    stored.set(box != 0 ? 1 : 0);
}

}  // namespace

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

CleaningPage::CleaningPage(HWND main_window) : MessageMap(kTemplate, main_window) {}

std::span<const ui::CommandEntry<CleaningPage>> CleaningPage::Commands() {
    static constexpr ui::CommandEntry<CleaningPage> kCommands[] = {
        {IDC_CLEANING_SAVE, &CleaningPage::OnSave}};
    return kCommands;
}

bool CleaningPage::OnInitDialog() {
    PlainPage::OnInitDialog();
    for (int i = 0; i < kTasks; ++i) {
        tasks_[i] = Ticked(kTaskBoxes[i].setting);
        BindCheck(kTaskBoxes[i].id, tasks_[i]);
    }
    minutes_ = settings::RegDwordSetting(settings::kSleep).get();
    minutes_text_ = std::to_string(minutes_);
    BindText(IDC_CLEANING_MINUTES, minutes_text_);
    UpdateData(false);
    return true;
}

void CleaningPage::OnSave() {
    UpdateData(true);
    if (const std::optional<std::uint32_t> minutes = ParseWholeNumber(minutes_text_)) {
        minutes_ = *minutes;
    } else {
        // The boxes are still stored, with the interval as it was.
        ui::ShowMessage(parent(), std::string(kEnterInteger));
    }
    for (int i = 0; i < kTasks; ++i) StoreBox(kTaskBoxes[i].setting, tasks_[i]);
    if (IntervalAccepted(minutes_)) {
        settings::RegDwordSetting(settings::kSleep, true).set(minutes_);
        return;
    }
    ui::ShowMessage(parent(), std::string(kIntervalOutOfRange));
    minutes_ = kFallbackInterval;
    minutes_text_ = std::to_string(minutes_);
    UpdateData(false);
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
