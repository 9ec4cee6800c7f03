// The Add proxy page: a typed proxy, checked for its form, tested and adopted.
#pragma once

#include <windows.h>

#include <span>

#include "app/win/shell/Pages.h"

namespace vestrel::app {

// A typed proxy, checked for its form, tested and adopted.
class AddProxyPage : public ui::MessageMap<AddProxyPage, PlainPage> {
  public:
    explicit AddProxyPage(HWND main_window);
    static std::span<const ui::CommandEntry<AddProxyPage>> Commands();

  private:
    void OnApply();
};

}  // namespace vestrel::app
