// The panels that hold navigation buttons: the main window's (kind 1) and each section's (2 to 4).
// Every button of a panel sends its click to the panel, which tells its host which pair was chosen.
#pragma once

#include <windows.h>

#include <span>
#include <unordered_map>

#include "app/win/ui/SkinnedDialog.h"

namespace vestrel::app {

class NavigationHost {
  public:
    // A click on the button registered at `index` of the panel of `kind`.
    virtual void OnNavigate(int kind, int index) = 0;
    virtual void ClearTip() = 0;

  protected:
    ~NavigationHost() = default;
};

class NavigationPanel : public ui::MessageMap<NavigationPanel, ui::SkinnedDialog> {
  public:
    NavigationPanel(int template_id, HWND parent, int kind, NavigationHost& host);

    // Registers a (page, button) pair under the next index, starting at 0; returns the index.
    int Register(HWND page, HWND button);
    int Count() const { return next_index_; }
    HWND Page(int index) const;
    HWND Button(int index) const;
    int IndexOfButton(HWND button) const;
    int kind() const { return kind_; }

    static std::span<const ui::MessageEntry<NavigationPanel>> Messages();

  private:
    ui::Result OnCommand(const ui::Message& message);

    int kind_;
    NavigationHost& host_;
    int next_index_ = 0;
    std::unordered_map<int, HWND> pages_;
    std::unordered_map<int, HWND> buttons_;
};

}  // namespace vestrel::app
