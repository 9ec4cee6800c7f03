// Opening the program's web pages and its help file.
#pragma once

#include <string_view>

namespace vestrel::app {

// The address in the user's default browser (the shell's "open" of the address itself), maximised:
// help menu, tray and buttons.
void OpenWebPage(std::string_view address);
// The same shown normally, as the hyperlinks do.
void OpenWebPageNormal(std::string_view address);
// F1: the help file of the program folder opened by its own handler, maximised.
void OpenHelpFile();

// The HTML Help viewer on the introduction topic: contents, index, or the search for "lesson".
enum class HelpView { Contents, Index, Search };
void ShowHelp(HelpView view);

// Hyperlinks open their address normally, F1 opens the help file.
void ConnectShellHandlers();

}  // namespace vestrel::app
