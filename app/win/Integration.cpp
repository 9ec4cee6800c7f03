// The shell's joins to the other subsystems. Until the cleaner, the catalogue and the pages of the
// sections are joined here, the cleaning thread is the plain WorkerThread, the anonymity switch only
// clears the flag, and every sub-page is a plain page of its template.
#include "app/win/Integration.h"

#include "app/thread/WorkerThread.h"
#include "app/win/Pages.h"
#include "settings/RegDwordSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

void StartCleaningThread() {
    // Lives for the process; its destructor at exit ends the thread if it still runs.
    static WorkerThread worker;
    if (worker.Started()) return;
    worker.argument = 0;
    worker.Start();
}

void SwitchAnonymityOff() { settings::RegDwordSetting(settings::kUseProxy).set(0); }

void RefreshAndReenable() {}

SubPage MakeSubPage(int template_id, HWND main_window) {
    return SubPage{std::make_unique<PlainPage>(template_id, main_window), nullptr};
}

}  // namespace vestrel::app
