// Start-up: common controls, the single-instance mutex, the anonymity reset and the main window.
#include "app/win/shell/Application.h"

#include <commctrl.h>

#include <string>

#include "app/Anonymity.h"
#include "app/JudgeSocks.h"
#include "app/ShellTexts.h"
#include "app/win/anonymity/FailoverNotice.h"
#include "app/win/shell/Help.h"
#include "app/win/shell/MainWindow.h"
#include "browsers/ConnectionOptions.h"
#include "settings/RegDwordSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

Application& Application::Current() {
    static Application application;
    return application;
}

bool Application::HandOverToRunningInstance() {
    const std::string name(kInstanceMutexName);
    HANDLE mutex = ::CreateMutexA(nullptr, TRUE, name.c_str());
    const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
    if (mutex != nullptr) {
        // Only the name matters; ownership is not kept.
        ::ReleaseMutex(mutex);
        instance_mutex_.reset(mutex);
    }
    if (!existed) return false;
    const std::string title(kWindowTitle);
    HWND running = ::FindWindowA(nullptr, title.c_str());
    // No window yet (still starting, or closing): run as a first instance.
    if (running == nullptr) return false;
    ::ShowWindow(running, SW_SHOWDEFAULT);
    ::BringWindowToTop(running);
    ::SetForegroundWindow(running);
    return true;
}

int Application::Run() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);

    if (HandOverToRunningInstance()) return 0;
    ConnectShellHandlers();
    UseRelaySocksInChecks();

    // Every start begins with anonymity off, whatever the last run left. A run that ended with it on
    // (killed, crashed, power lost) left the browsers pointed at a relay that no longer listens: what
    // it saved is put back first, or the system's settings are set direct if they still point here.
    try {
        static_cast<void>(browsers::RecoverConnectionOptions(RelayServer()));
    } catch (...) {
        // Start-up goes on; the next switch-off tries again.
    }
    settings::RegDwordSetting(settings::kUseProxy).set(0);

    MainWindow main_window;
    main_window_ = &main_window;
    main_window.DoModal();
    StopFailoverWatch();
    main_window_ = nullptr;
    return 0;
}

}  // namespace vestrel::app
