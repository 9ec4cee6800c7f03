// The New list page: the downloaded list; a double-click tests and adopts a proxy.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <span>

#include "app/win/shell/Pages.h"

namespace vestrel::app {

// The downloaded list; a double-click tests and adopts a proxy.
class NewListPage : public ui::MessageMap<NewListPage, PlainPage> {
  public:
    explicit NewListPage(HWND main_window);
    ~NewListPage() override;

    static std::span<const ui::MessageEntry<NewListPage>> Messages();

  protected:
    bool OnInitDialog() override;

  private:
    void Fill();
    // A row's text and picture, asked for by the list view as it draws.
    void Describe(NMLVDISPINFOA& info) const;
    ui::Result OnNotify(const ui::Message& message);
};

}  // namespace vestrel::app
