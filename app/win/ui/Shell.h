// Opening web pages and the help file. Every start of another program goes through one replaceable
// launcher so that tests can see the call without a browser or help viewer appearing.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace vestrel::app::ui {

struct ShellRequest {
    std::string verb;
    std::string file;
    std::string parameters;
    int show = SW_SHOWNORMAL;
};

using Launcher = std::function<void(const ShellRequest&)>;

// Replaces the launcher (ShellExecuteA by default); an empty function restores the default.
void SetLauncher(Launcher launcher);
void Launch(const ShellRequest& request);

// "iexplore.exe" with the address as its parameter, maximised (help menu, tray and buttons).
void OpenWebPage(std::string_view address);
// The same shown normally, as the hyperlinks do.
void OpenWebPageNormal(std::string_view address);
// F1: the help file of the program folder opened by its own handler, maximised.
void OpenHelpFile();

// The HTML Help viewer on the introduction topic: contents, index, or the search for "lesson".
enum class HelpView { Contents, Index, Search };
void ShowHelp(HelpView view);

}  // namespace vestrel::app::ui
