// Entry point of VestrelStop.exe: it takes no arguments and writes no settings.
#include <windows.h>

#include "PollDialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    try {
        vestrel::stop::PollDialog dialog;
        dialog.Run(instance);
        return 0;
    } catch (...) {
        return 1;
    }
}
