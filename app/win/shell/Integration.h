// Where the shell meets the subsystems that plug into it: the cleaning thread, the anonymity
// operations' voice, the proxy lists and the sub-pages of the sections. Each is one function, so that joining
// a subsystem to the main window changes only this file's implementation.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "app/Anonymity.h"
#include "app/win/ui/Dialog.h"

namespace vestrel::app {

// Starts the privacy cleaner's schedule thread for the life of the process (argument 0).
void StartCleaningThread();

// How the anonymity operations speak to the user from the main window: the message dialog, the
// "ERROR" box, and the status line for the address in use.
AnonymityUi AnonymityUiFor(HWND main_window);

// The proxy lists read from MyProxies.txt; the worker threads' way back to this thread.
void LoadProxyLists();

// One sub-page of a section: its dialog (not yet created) and what to run each time it is shown.
struct SubPage {
    std::unique_ptr<ui::Dialog> dialog;
    std::function<void()> on_show;
};

// The page class for a sub-page template, as a modeless child of the main window.
SubPage MakeSubPage(int template_id, HWND main_window);

}  // namespace vestrel::app
