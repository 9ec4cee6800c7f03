// The shell's joins to the other subsystems: the cleaner's schedule thread and the anonymity switch's
// disable path are the real ones; until the catalogue's pages land, the list refresh does nothing and
// every sub-page is a plain page of its template.
#include "app/win/Integration.h"

#include "app/win/Pages.h"
#include "browsers/ConnectionOptions.h"
#include "cleaner/CleaningWorker.h"
#include "cleaner/win/WindowsCleaningSystem.h"
#include "relay/LocalRelay.h"
#include "settings/RegDwordSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

void StartCleaningThread() {
    // The thread runs for the life of the process and the process exit ends it, so the worker is never
    // destroyed: a destructor run at exit would wait for a cleaning run in progress.
    static auto* worker = new cleaner::CleaningWorker(cleaner::PlatformCleaningSystem());
    if (worker->Started()) return;
    worker->argument = 0;
    worker->Start();
}

void SwitchAnonymityOff() {
    try {
        browsers::DisableConnectionProxy("DefaultConnectionSettings");
        settings::RegDwordSetting(settings::kUseProxy).set(0);
        relay::LocalRelay& local_relay = relay::TheLocalRelay();
        if (local_relay.isRunning()) local_relay.stop();
    } catch (...) {
        // Switching off goes on to the exit whatever failed on the way.
    }
}

void RefreshAndReenable() {}

SubPage MakeSubPage(int template_id, HWND main_window) {
    return SubPage{std::make_unique<PlainPage>(template_id, main_window), nullptr};
}

}  // namespace vestrel::app
