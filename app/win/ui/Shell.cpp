// The launcher and the application's handlers for the kit's links and F1.
#include "app/win/ui/Shell.h"

#include <shellapi.h>

namespace vestrel::app::ui {

namespace {

Launcher& CurrentLauncher() {
    static Launcher launcher;
    return launcher;
}

ShellHandlers& CurrentHandlers() {
    static ShellHandlers handlers;
    return handlers;
}

}  // namespace

void SetLauncher(Launcher launcher) { CurrentLauncher() = std::move(launcher); }

void Launch(const ShellRequest& request) {
    if (CurrentLauncher()) {
        CurrentLauncher()(request);
        return;
    }
    // The result is not checked: a missing browser or viewer simply shows nothing.
    ::ShellExecuteA(nullptr, request.verb.c_str(), request.file.c_str(),
                    request.parameters.empty() ? nullptr : request.parameters.c_str(), nullptr, request.show);
}

void SetShellHandlers(ShellHandlers handlers) { CurrentHandlers() = std::move(handlers); }

void OpenLink(std::string_view address) {
    if (CurrentHandlers().open_link) CurrentHandlers().open_link(address);
}

void ShowPageHelp() {
    if (CurrentHandlers().show_help) CurrentHandlers().show_help();
}

}  // namespace vestrel::app::ui
