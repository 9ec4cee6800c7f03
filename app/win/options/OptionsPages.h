// The pages of the options section that have behaviour of their own.
#pragma once

#include <windows.h>

#include "app/win/shell/Integration.h"

namespace vestrel::app {

// The page for `template_id` when it is the browser or the start-up page;
// a sub-page without dialog otherwise.
SubPage MakeOptionsPage(int template_id, HWND main_window);

}  // namespace vestrel::app
