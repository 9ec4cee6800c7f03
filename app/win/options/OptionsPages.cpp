// Which class makes each page of the options section.
#include "app/win/options/OptionsPages.h"

#include "app/win/options/BrowserPage.h"
#include "app/win/options/StartUpPage.h"

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
        default:
            return SubPage{};
    }
}

}  // namespace vestrel::app
