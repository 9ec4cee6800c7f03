// The start-up page of the options section: run at logon, and the local relay's port with its test.
#pragma once

#include <windows.h>

#include <span>
#include <string>

#include "app/win/shell/BackgroundWork.h"
#include "app/win/shell/Pages.h"
#include "resources/ids/OptionsIds.h"

namespace vestrel::app {

class StartUpPage : public ui::MessageMap<StartUpPage, PlainPage> {
  public:
    static constexpr int kTemplate = IDD_START_UP;
    explicit StartUpPage(HWND main_window);

    static std::span<const ui::MessageEntry<StartUpPage>> Messages();
    static std::span<const ui::CommandEntry<StartUpPage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnTestPort();
    void OnApply() { Apply(); }
    ui::Result OnClose(const ui::Message& message);
    // Stores the box and the port; false, with nothing stored, when the port is refused.
    bool Apply();
    void Tell(std::string_view text);

    int run_at_startup_ = 0;
    std::string port_;
    LifeToken life_;
};

}  // namespace vestrel::app
