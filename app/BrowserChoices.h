// The browser page's rules without its window: which boxes show ticked and enabled, how the paired
// boxes follow each other, and applying the boxes to the browser flags and the browsers' settings.
#pragma once

#include <functional>
#include <string>

namespace vestrel::app {

// One value per box of the page, 0 or 1.
struct BrowserBoxes {
    int internet_explorer = 0;
    int netscape = 0;
    int opera = 0;
    int mozilla = 0;
    int firefox = 0;
    int avant = 0;
};

// Which browsers the installed tests find (Internet Explorer always is), and the Netscape kind.
struct InstalledBrowserSet {
    bool netscape = false;
    bool opera = false;
    bool mozilla = false;
    bool firefox = false;
    bool avant = false;
    unsigned netscape_kind = 0;
};
InstalledBrowserSet FindInstalledBrowsers();

// Each box set when its flag is non-zero and its browser is installed; all clear without the
// program's key.
BrowserBoxes BoxesFromFlags(const InstalledBrowserSet& installed);

// The ties between boxes after a click on `clicked` (the box's new value is already in `boxes`):
// Internet Explorer and Avant (Avant follows only when installed), Netscape and Mozilla while
// Netscape 6 is present.
enum class BrowserBox { InternetExplorer, Netscape, Opera, Mozilla, Firefox, Avant };
void FollowTies(BrowserBox clicked, BrowserBoxes& boxes, const InstalledBrowserSet& installed);

// Applies each changed box, in the order Internet Explorer, Netscape, Firefox, Mozilla, Opera, Avant:
// the browser pointed at the relay or set back, then its flag written. The system connection changes
// only to follow UseProxy. A Gecko browser that is running is not edited and keeps its flag; a file
// step that fails leaves its browser's flag as it was and the browsers after it are still applied.
// `tell` gets the text for the user of each such case.
void ApplyBrowserChoices(const BrowserBoxes& boxes, const std::function<void(const std::string&)>& tell);

}  // namespace vestrel::app
