// Ends a running Vestrel: through its own "Exit" command first, so that the browsers are set back
// before it goes, and by termination only when it has not gone within a grace period.
#pragma once

#include <windows.h>

#include <optional>
#include <string_view>

namespace vestrel::stop {

// What the stop utility knows of the main program: its window title and its file name.
inline constexpr char kMainWindowTitle[] = "Vestrel";
inline constexpr char kProgramFileName[] = "Vestrel.exe";
// The main window's tray-menu "Exit": switches anonymity off when it is on, then ends the program.
inline constexpr WORD kExitCommand = 32777;
// How long Vestrel gets to leave through "Exit" before it is terminated.
inline constexpr DWORD kExitGraceMilliseconds = 10000;

// The first process in the system's snapshot whose file name is `file_name`, ignoring case.
std::optional<DWORD> FindProcess(std::string_view file_name);

// The running Vestrel's main window: top-level, titled "Vestrel", owned by no other window, and
// belonging to a "Vestrel.exe" process. Null when there is none.
HWND FindMainWindow();

// Asks Vestrel to exit, waits for it up to the grace period, then terminates the first "Vestrel.exe"
// still running. Returns when that process has gone or cannot be ended; never reports anything.
void StopVestrel();

}  // namespace vestrel::stop
