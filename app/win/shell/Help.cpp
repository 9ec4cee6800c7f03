// Web pages through the shell's handler for their addresses, and the help file through HTML Help bound at
// first use.
#include "app/win/shell/Help.h"

#include <windows.h>

#include <htmlhelp.h>

#include <string>

#include "app/Links.h"
#include "app/win/ui/Shell.h"
#include "platform/registry/Registry.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::app {

namespace {

std::string AppPath() { return settings::RegStringSetting(settings::kAppPath).get(); }

using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

// Where the HTML Help control is registered, else its usual name; the module stays loaded for the run.
HtmlHelpFunction BindHtmlHelp() {
    static HtmlHelpFunction function = []() -> HtmlHelpFunction {
        namespace reg = platform::registry;
        std::string location = "hhctrl.ocx";
        reg::Key key;
        if (reg::OpenKey(reg::Hive::ClassesRoot,
                         "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", reg::kKeyRead,
                         key) == reg::kSuccess) {
            char buffer[MAX_PATH] = {};
            std::uint32_t size = sizeof(buffer) - 1;
            std::uint32_t type = 0;
            if (key.QueryValue("", &type, buffer, &size) == reg::kSuccess &&
                (type == reg::kTypeString || type == reg::kTypeExpandString) && buffer[0] != '\0') {
                char expanded[MAX_PATH] = {};
                const DWORD length = ::ExpandEnvironmentStringsA(buffer, expanded, sizeof(expanded));
                location = (length > 0 && length <= sizeof(expanded)) ? expanded : buffer;
            }
        }
        HMODULE module = ::LoadLibraryA(location.c_str());
        if (module == nullptr && location != "hhctrl.ocx") module = ::LoadLibraryA("hhctrl.ocx");
        if (module == nullptr) return nullptr;
        return reinterpret_cast<HtmlHelpFunction>(
            reinterpret_cast<void*>(::GetProcAddress(module, "HtmlHelpA")));
    }();
    return function;
}

}  // namespace

// The address itself is what the shell opens: its handler for the scheme is the browser the user chose
// (a named browser program would open whatever that program is, or nothing where it is gone).
void OpenWebPage(std::string_view address) {
    ui::Launch({"open", std::string(address), "", SW_SHOWMAXIMIZED});
}

void OpenWebPageNormal(std::string_view address) {
    ui::Launch({"open", std::string(address), "", SW_SHOWNORMAL});
}

void OpenHelpFile() { ui::Launch({"open", links::HelpFilePath(AppPath()), "", SW_SHOWMAXIMIZED}); }

void ShowHelp(HelpView view) {
    HtmlHelpFunction html_help = BindHtmlHelp();
    if (html_help == nullptr) return;
    const std::string name = links::HelpTopicPath(AppPath());
    switch (view) {
        case HelpView::Contents:
            html_help(nullptr, name.c_str(), HH_DISPLAY_TOC, 0);
            break;
        case HelpView::Index:
            html_help(nullptr, name.c_str(), HH_DISPLAY_INDEX, 0);
            break;
        case HelpView::Search: {
            static const std::string search_text(links::kHelpSearchText);
            HH_FTS_QUERY query{};
            query.cbStruct = sizeof(query);
            query.fUniCodeStrings = FALSE;
            query.pszSearchQuery = search_text.c_str();
            query.iProximity = HH_FTS_DEFAULT_PROXIMITY;
            query.fStemmedSearch = FALSE;
            query.fTitleOnly = FALSE;
            query.fExecute = TRUE;
            query.pszWindow = nullptr;
            html_help(nullptr, name.c_str(), HH_DISPLAY_SEARCH, reinterpret_cast<DWORD_PTR>(&query));
            break;
        }
    }
}

void ConnectShellHandlers() {
    ui::SetShellHandlers({[](std::string_view address) { OpenWebPageNormal(address); }, OpenHelpFile});
}

}  // namespace vestrel::app
