// Entry point of Vestrel.exe.
#include <windows.h>

#include "app/win/shell/Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        return vestrel::app::Application::Current().Run();
    } catch (...) {
        return 1;
    }
}
