// The application object: the start-up sequence with the single-instance check, and the pointer
// through which other parts reach the main window while it runs.
#pragma once

#include <windows.h>

#include "app/win/ui/Handles.h"

namespace vestrel::app {

class MainWindow;

class Application {
  public:
    static Application& Current();

    // Runs the program: one instance, anonymity off, the main window modally. Returns the exit code.
    int Run();

    MainWindow* main_window() const { return main_window_; }

  private:
    // True when another instance owns the name and its window was brought forward.
    bool HandOverToRunningInstance();

    MainWindow* main_window_ = nullptr;
    // Held for the whole run: the name exists exactly as long as this first instance runs.
    ui::KernelHandle instance_mutex_;
};

}  // namespace vestrel::app
