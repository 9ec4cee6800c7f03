// The run-at-logon entry: the value "Vestrel" of the system's Run key, holding the program's path.
// It goes under HKEY_LOCAL_MACHINE, for every user, when that key may be written, and under
// HKEY_CURRENT_USER otherwise, so that the option works for a user who is not an administrator.
#pragma once

#include <string>

namespace vestrel::app {

enum class RunEntryPlace { None, LocalMachine, CurrentUser };

// Where a non-empty entry is stored, the machine's key first.
RunEntryPlace StoredRunEntry();

// Writes `command` under the machine's key, or under the user's when the machine's refuses; a copy
// under the user's key is emptied once the machine's holds it. None when neither could be written.
RunEntryPlace WriteRunEntry(const std::string& command);

// Empties the entry wherever it holds text (the value stays, empty). True when none is left.
bool ClearRunEntry();

// The start-up page's apply for its check box: the entry written (with AppFullPath, or
// `running_program` when that is empty) or cleared, and RunAtStartup set to what is now really
// stored. Returns whether the entry is stored.
bool ApplyRunAtStartup(bool wanted, const std::string& running_program);

// What the check box shows: RunAtStartup is 1 and the entry is there.
bool RunAtStartupOn();

}  // namespace vestrel::app
