// The cleaning panel.
#include "app/win/privacy/CleaningPage.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "app/OptionsRules.h"
#include "app/win/privacy/StoredBox.h"
#include "app/win/ui/WindowText.h"
#include "cleaner/CleaningWorker.h"
#include "cleaner/win/WindowsCleaningSystem.h"
#include "settings/RegMultiStringSetting.h"

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

constexpr std::string_view kCounting = "Counting what the ticked boxes would remove...";
constexpr std::string_view kCleaning = "Cleaning...";
constexpr std::string_view kNothingTicked = "Tick what to clean first.";
constexpr std::string_view kNoBrowsers =
    "No profile of Edge, Chrome, Brave, Vivaldi, Opera or Firefox was found.";
constexpr std::string_view kWriteSiteAsName = "Write the site as its name, such as example.com.";
constexpr std::string_view kSiteAlreadyKept = "The cookies of this site are kept already.";
constexpr std::string_view kPickSiteFirst = "Pick a site in the list first.";

std::vector<std::string> KeptSites() { return settings::RegMultiStringSetting(settings::kKeepCookies).get(); }

// The static control breaks lines at CR LF.
std::string WithWindowsLines(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

std::string PreviewText(const std::vector<cleaner::ProfileResult>& results) {
    if (results.empty()) return std::string(kNoBrowsers);
    return "Preview:\n" + cleaner::ProfileLines(results);
}

std::string CleanedText(const std::vector<cleaner::ProfileResult>& results) {
    if (results.empty()) return "Cleaned. " + std::string(kNoBrowsers);
    std::string text = "Cleaned. " + cleaner::FiguresSummary(results);
    if (const std::string notice = cleaner::OpenBrowsersNotice(results); !notice.empty())
        text += "\n" + notice;
    return text;
}

CleaningPage::CleaningPage(HWND main_window) : MessageMap(kTemplate, main_window) {}

std::span<const ui::CommandEntry<CleaningPage>> CleaningPage::Commands() {
    static constexpr ui::CommandEntry<CleaningPage> kCommands[] = {
        {IDC_CLEANING_SAVE, &CleaningPage::OnSave},
        {IDC_CLEANING_PREVIEW, &CleaningPage::OnPreview},
        {IDC_CLEANING_CLEAN_NOW, &CleaningPage::OnCleanNow},
        {IDC_KEEP_COOKIES_ADD, &CleaningPage::OnAddSite},
        {IDC_KEEP_COOKIES_REMOVE, &CleaningPage::OnRemoveSite}};
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
    FillKeepList();
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

cleaner::BrowserBoxes CleaningPage::TickedBoxes() {
    UpdateData(true);
    cleaner::BrowserBoxes boxes;
    boxes.history = tasks_[0] != 0;
    boxes.typed_addresses = tasks_[1] != 0;
    boxes.temporary_files = tasks_[2] != 0;
    boxes.cookies = tasks_[3] != 0;
    boxes.form_entries = tasks_[4] != 0;
    boxes.passwords = tasks_[5] != 0;
    return boxes;
}

void CleaningPage::ShowResult(std::string_view text) {
    // The text is see-through, so the skin behind it must be painted again before the new text: hiding
    // and showing the control does exactly that.
    HWND result = Item(IDC_CLEANING_RESULT);
    ::ShowWindow(result, SW_HIDE);
    SetItemText(hwnd(), IDC_CLEANING_RESULT, WithWindowsLines(std::string(text)));
    ::ShowWindow(result, SW_SHOW);
}

void CleaningPage::SetRunning(bool running, const std::string& text) {
    ::EnableWindow(Item(IDC_CLEANING_PREVIEW), running ? FALSE : TRUE);
    ::EnableWindow(Item(IDC_CLEANING_CLEAN_NOW), running ? FALSE : TRUE);
    ShowResult(text);
}

void CleaningPage::OnPreview() {
    const cleaner::BrowserBoxes boxes = TickedBoxes();
    if (!boxes.Any()) {
        ShowResult(kNothingTicked);
        return;
    }
    SetRunning(true, std::string(kCounting));
    StartBackgroundWork([this, watch = life_.Watcher(), boxes]() -> UiStep {
        const std::string text = PreviewText(
            cleaner::CleanBrowsers(cleaner::PlatformCleaningSystem(), boxes, cleaner::CleaningMode::Preview));
        return [this, watch, text] {
            if (watch.Alive()) SetRunning(false, text);
        };
    });
}

void CleaningPage::OnCleanNow() {
    UpdateData(true);
    if (std::none_of(std::begin(tasks_), std::end(tasks_), [](int ticked) { return ticked != 0; })) {
        ShowResult(kNothingTicked);
        return;
    }
    // The clean runs what the boxes say, as a scheduled one would: they are stored first.
    for (int i = 0; i < kTasks; ++i) StoreBox(kTaskBoxes[i].setting, tasks_[i]);
    SetRunning(true, std::string(kCleaning));
    StartBackgroundWork([this, watch = life_.Watcher()]() -> UiStep {
        const std::string text = CleanedText(cleaner::RunCleaningTasks(cleaner::PlatformCleaningSystem()));
        return [this, watch, text] {
            if (watch.Alive()) SetRunning(false, text);
        };
    });
}

void CleaningPage::FillKeepList() {
    HWND list = Item(IDC_KEEP_COOKIES_LIST);
    ::SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& site : KeptSites()) {
        ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(site.c_str()));
    }
}

void CleaningPage::OnAddSite() {
    const std::vector<std::string> site =
        cleaner::NormaliseKeepList({ItemText(hwnd(), IDC_KEEP_COOKIES_EDIT)});
    if (site.empty()) {
        ui::ShowMessage(parent(), std::string(kWriteSiteAsName));
        return;
    }
    std::vector<std::string> sites = KeptSites();
    if (std::find(sites.begin(), sites.end(), site.front()) != sites.end()) {
        ui::ShowMessage(parent(), std::string(kSiteAlreadyKept));
        return;
    }
    sites.push_back(site.front());
    if (settings::RegMultiStringSetting(settings::kKeepCookies).set(sites)) return;
    SetItemText(hwnd(), IDC_KEEP_COOKIES_EDIT, "");
    FillKeepList();
}

void CleaningPage::OnRemoveSite() {
    HWND list = Item(IDC_KEEP_COOKIES_LIST);
    const LRESULT row = ::SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (row == LB_ERR) {
        ui::ShowMessage(parent(), std::string(kPickSiteFirst));
        return;
    }
    const std::string site = ui::ListBoxRow(list, row);
    std::vector<std::string> sites = KeptSites();
    sites.erase(std::remove(sites.begin(), sites.end(), site), sites.end());
    if (settings::RegMultiStringSetting(settings::kKeepCookies).set(sites)) return;
    FillKeepList();
}

}  // namespace vestrel::app
