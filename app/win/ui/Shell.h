// Starting other programs, and what the kit's controls ask of the application: a hyperlink's click
// and F1 on a page. Every start goes through one replaceable launcher so that tests can see the call
// without a browser or help viewer appearing.
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

// The application decides how a hyperlink's address is opened and what F1 shows; until it says, both
// do nothing.
struct ShellHandlers {
    std::function<void(std::string_view address)> open_link;
    std::function<void()> show_help;
};
void SetShellHandlers(ShellHandlers handlers);
void OpenLink(std::string_view address);
void ShowPageHelp();

}  // namespace vestrel::app::ui
