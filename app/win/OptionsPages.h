// The pages of the options and privacy sections that have behaviour of their own.
#pragma once

#include <windows.h>

#include "app/win/Integration.h"

namespace vestrel::app {

// The page for `template_id` when it is one of the browser, start-up, blocking and cleaning pages;
// a sub-page without dialog otherwise.
SubPage MakeOptionsPage(int template_id, HWND main_window);

}  // namespace vestrel::app
