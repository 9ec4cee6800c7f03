// The anonymity wizard: browse or post anonymously, the downloaded list's locations and their proxies.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/win/shell/BackgroundWork.h"
#include "app/win/shell/Pages.h"

namespace vestrel::app {

// Browse or post anonymously: the locations of the downloaded list and the proxies of one of them.
class WizardPage : public ui::MessageMap<WizardPage, PlainPage> {
  public:
    // How long a downloaded list is used again before the next choice downloads it anew.
    static constexpr std::chrono::seconds kListReuse{60};

    explicit WizardPage(HWND main_window);

    static std::span<const ui::MessageEntry<WizardPage>> Messages();
    static std::span<const ui::CommandEntry<WizardPage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    enum class Next { Locations, Proxies };
    ui::Result OnLocationCommand(const ui::Message& message);
    void OnCheck();
    void OnApply();
    // Runs `next` on the list, downloading it first when the last one is older than kListReuse.
    void WithList(Next next);
    void ShowLocations();
    void ShowProxies();
    void EnableBoxes(bool enabled);

    int browse_ = 0;
    int post_ = 0;
    std::vector<std::string> lines_;
    std::optional<std::chrono::steady_clock::time_point> fetched_at_;
    bool downloading_ = false;
    Next pending_ = Next::Locations;
    LifeToken life_;
};

}  // namespace vestrel::app
