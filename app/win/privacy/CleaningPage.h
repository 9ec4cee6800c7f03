// The cleaning panel: the seven tasks and their interval, the sites whose cookies stay, and Preview and
// Clean now, which run on a worker and say what they found below the buttons.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/win/shell/BackgroundWork.h"
#include "app/win/shell/Pages.h"
#include "cleaner/BrowserCleaning.h"
#include "resources/ids/PrivacyIds.h"

namespace vestrel::app {

class CleaningPage : public ui::MessageMap<CleaningPage, PlainPage> {
  public:
    static constexpr int kTemplate = IDD_CLEANING;
    static constexpr int kTasks = 7;
    explicit CleaningPage(HWND main_window);

    static std::span<const ui::CommandEntry<CleaningPage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnSave();
    void OnPreview();
    void OnCleanNow();
    void OnAddSite();
    void OnRemoveSite();

    // The browsers' boxes as ticked on the page now.
    cleaner::BrowserBoxes TickedBoxes();
    void FillKeepList();
    // Preview and Clean now are one run at a time: both are off while either runs.
    void SetRunning(bool running, const std::string& text);
    void ShowResult(std::string_view text);

    int tasks_[kTasks] = {};
    std::string minutes_text_;
    // The interval as last read or accepted; kept when the edit holds no number.
    std::uint32_t minutes_ = 0;
    LifeToken life_;
};

// What the page shows after a preview and after a clean.
std::string PreviewText(const std::vector<cleaner::ProfileResult>& results);
std::string CleanedText(const std::vector<cleaner::ProfileResult>& results);

}  // namespace vestrel::app
