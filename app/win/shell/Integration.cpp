// The shell's joins to the other subsystems. Sub-pages without a class of their own are plain pages of
// their template.
#include "app/win/shell/Integration.h"

#include "app/win/anonymity/AnonymityPages.h"
#include "app/win/options/OptionsPages.h"
#include "app/win/privacy/PrivacyPages.h"
#include "app/win/shell/ConfirmDialog.h"
#include "app/win/shell/Pages.h"
#include "app/win/ui/SkinnedDialog.h"
#include "catalogue/TestedFile.h"
#include "cleaner/CleaningWorker.h"
#include "cleaner/win/WindowsCleaningSystem.h"
#include "resources/ids/AnonymityIds.h"
#include "resources/ids/MainWindowIds.h"

namespace vestrel::app {

void StartCleaningThread() {
    // The thread runs for the life of the process and the process exit ends it, so the worker is never
    // destroyed: a destructor run at exit would wait for a cleaning run in progress.
    static auto* worker = new cleaner::CleaningWorker(cleaner::PlatformCleaningSystem());
    if (worker->Started()) return;
    worker->argument = 0;
    worker->Start();
}

AnonymityUi AnonymityUiFor(HWND main_window) {
    AnonymityUi ui;
    ui.message = [main_window](const std::string& text) { ui::ShowMessage(main_window, text); };
    ui.error_box = [main_window](const std::string& text) {
        ::MessageBoxA(main_window, text.c_str(), std::string(kErrorCaption).c_str(),
                      MB_OK | MB_ICONINFORMATION);
    };
    ui.confirm = [main_window](const std::string& question) { return Confirm(main_window, question); };
    ui.address_in_use = [main_window](const std::string& text) {
        ui::Dialog::SetItemText(main_window, IDC_MAIN_ADDRESS_IN_USE, text);
        ::RedrawWindow(main_window, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
    };
    return ui;
}

void LoadProxyLists() {
    ProxyLists& lists = TheProxyLists();
    const std::string path = catalogue::TestedFilePath();
    lists.tested.DeleteAllRows();
    catalogue::LoadTestedFile(lists.tested, path);
    lists.tested_box.Fill(catalogue::ReadTestedLines(path));
    LoadGrades();
}

SubPage MakeSubPage(int template_id, HWND main_window) {
    if (SubPage page = MakeAnonymityPage(template_id, main_window); page.dialog) return page;
    if (SubPage page = MakePrivacyPage(template_id, main_window); page.dialog) return page;
    if (SubPage page = MakeOptionsPage(template_id, main_window); page.dialog) return page;
    return SubPage{std::make_unique<PlainPage>(template_id, main_window), nullptr};
}

}  // namespace vestrel::app
