// The page of the proxy in use, or of the real address while anonymity is off.
#pragma once

#include <windows.h>

#include <span>

#include "app/win/shell/Pages.h"

namespace vestrel::app {

// The proxy in use, or the real address while anonymity is off.
class CurrentProxyPage : public ui::MessageMap<CurrentProxyPage, PlainPage> {
  public:
    explicit CurrentProxyPage(HWND main_window);
    // Computes and shows the text again; run each time the section shows the page.
    void ShowCurrentProxy();

    static std::span<const ui::CommandEntry<CurrentProxyPage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnChangeProxy();
};

}  // namespace vestrel::app
