// Which class makes each sub-page of the anonymity section: the wizard, the current proxy, the New
// list, the Tested list, Add proxy and List update, each in a file of its own. Every download and test
// they start runs on a worker; the controls that would start a second one are disabled until it is over.
#pragma once

#include <windows.h>

#include "app/win/shell/Integration.h"

namespace vestrel::app {

// The page of an anonymity sub-page template; an empty SubPage for any other template.
SubPage MakeAnonymityPage(int template_id, HWND main_window);

}  // namespace vestrel::app
