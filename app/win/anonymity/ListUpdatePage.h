// The List update page: the refresh with its progress, and the plain-text list sources.
#pragma once

#include <windows.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/win/anonymity/RefreshProgress.h"
#include "app/win/shell/Pages.h"

namespace vestrel::app {

// The list refresh with its progress, and the lists read with it: the public lists (while "Include the
// public lists" is checked) and the user's own, each with the proxies it gave at the last refresh; the
// user's are added and removed by address.
class ListUpdatePage : public ui::MessageMap<ListUpdatePage, PlainPage> {
  public:
    explicit ListUpdatePage(HWND main_window);
    ~ListUpdatePage() override;

    static std::span<const ui::MessageEntry<ListUpdatePage>> Messages();
    static std::span<const ui::CommandEntry<ListUpdatePage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnStart();
    ui::Result OnTimer(const ui::Message& message);
    void FillSources();
    void OnAddSource();
    void OnRemoveSource();
    // "Include the public lists": the setting PublicLists follows the box.
    void OnPublicLists();
    // Stores `urls` as the list sources; false (and said) when the setting could not be written.
    bool StoreSources(const std::vector<std::string>& urls);

    std::unique_ptr<RefreshProgress> progress_;
};

}  // namespace vestrel::app
