// The relay's watch over the proxy in use, connected to the main window: a proxy that stops
// answering is replaced by the fastest working one of the Tested list, and the tray says so.
#pragma once

#include "app/win/shell/TrayDialog.h"

namespace vestrel::app {

// From now on, reports of the relay's watch lead to a move, told through `window`'s tray icon.
void StartFailoverWatch(TrayDialog& window);
// No further reports reach the window; call before it goes.
void StopFailoverWatch();

}  // namespace vestrel::app
