// Where the shell meets the subsystems that plug into it: the cleaning thread, the anonymity switch,
// the list refresh and the sub-pages of the sections. Each is one function, so that joining a
// subsystem to the main window changes only this file's implementation.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "app/win/ui/Dialog.h"

namespace vestrel::app {

// Starts the privacy cleaner's schedule thread for the life of the process (argument 0).
void StartCleaningThread();

// The anonymity switch's disable path: browsers set back, relay stopped, `UseProxy` 0.
void SwitchAnonymityOff();

// Refreshes the proxy list and switches anonymity back on (quick anonymity, "Live Update").
void RefreshAndReenable();

// One sub-page of a section: its dialog (not yet created) and what to run each time it is shown.
struct SubPage {
    std::unique_ptr<ui::Dialog> dialog;
    std::function<void()> on_show;
};

// The page class for a sub-page template, as a modeless child of the main window.
SubPage MakeSubPage(int template_id, HWND main_window);

}  // namespace vestrel::app
