// Which class makes each page of the options and privacy sections.
#include "app/win/OptionsPages.h"

#include "app/win/BrowserPage.h"
#include "app/win/PrivacyPages.h"
#include "app/win/StartUpPage.h"

namespace vestrel::app {

SubPage MakeOptionsPage(int template_id, HWND main_window) {
    switch (template_id) {
        case BrowserPage::kTemplate: {
            auto page = std::make_unique<BrowserPage>(main_window);
            BrowserPage* shown = page.get();
            return SubPage{std::move(page), [shown] { shown->RefreshBrowserBoxes(); }};
        }
        case StartUpPage::kTemplate:
            return SubPage{std::make_unique<StartUpPage>(main_window), nullptr};
        case BlockingPage::kTemplate:
            return SubPage{std::make_unique<BlockingPage>(main_window), nullptr};
        case CleaningPage::kTemplate:
            return SubPage{std::make_unique<CleaningPage>(main_window), nullptr};
        default:
            return SubPage{};
    }
}

}  // namespace vestrel::app
