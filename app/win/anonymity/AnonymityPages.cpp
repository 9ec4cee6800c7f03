// Which class makes each sub-page of the anonymity section.
#include "app/win/anonymity/AnonymityPages.h"

#include <memory>

#include "app/win/anonymity/AddProxyPage.h"
#include "app/win/anonymity/CurrentProxyPage.h"
#include "app/win/anonymity/ListUpdatePage.h"
#include "app/win/anonymity/NewListPage.h"
#include "app/win/anonymity/TestedListPage.h"
#include "app/win/anonymity/WizardPage.h"
#include "resources/ids/AnonymityIds.h"

namespace vestrel::app {

SubPage MakeAnonymityPage(int template_id, HWND main_window) {
    switch (template_id) {
        case IDD_WIZARD:
            return {std::make_unique<WizardPage>(main_window), nullptr};
        case IDD_CURRENT_PROXY: {
            auto page = std::make_unique<CurrentProxyPage>(main_window);
            CurrentProxyPage* current = page.get();
            return {std::move(page), [current] { current->ShowCurrentProxy(); }};
        }
        case IDD_NEW_LIST:
            return {std::make_unique<NewListPage>(main_window), nullptr};
        case IDD_TESTED_LIST:
            return {std::make_unique<TestedListPage>(main_window), nullptr};
        case IDD_ADD_PROXY:
            return {std::make_unique<AddProxyPage>(main_window), nullptr};
        case IDD_LIST_UPDATE:
            return {std::make_unique<ListUpdatePage>(main_window), nullptr};
        default:
            return {};
    }
}

}  // namespace vestrel::app
