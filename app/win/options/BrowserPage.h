// The browser page of the options section: one box per browser, enabled for the browsers found
// installed, applied to the browser flags and the browsers at once.
#pragma once

#include <windows.h>

#include <span>

#include "app/BrowserChoices.h"
#include "app/win/shell/Pages.h"
#include "resources/ids/OptionsIds.h"

namespace vestrel::app {

class BrowserPage : public ui::MessageMap<BrowserPage, PlainPage> {
  public:
    static constexpr int kTemplate = IDD_BROWSERS;
    explicit BrowserPage(HWND main_window);

    // The boxes from the flags and the installed tests again; run each time the section shows the page.
    void RefreshBrowserBoxes();

    static std::span<const ui::CommandEntry<BrowserPage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void EnableBrowserBoxes();
    void Clicked(BrowserBox box);
    void OnInternetExplorer() { Clicked(BrowserBox::InternetExplorer); }
    void OnNetscape() { Clicked(BrowserBox::Netscape); }
    void OnMozilla() { Clicked(BrowserBox::Mozilla); }
    void OnAvant() { Clicked(BrowserBox::Avant); }
    void OnApply();

    BrowserBoxes boxes_;
    InstalledBrowserSet installed_;
};

}  // namespace vestrel::app
