// The main window: navigation panel, the four sections, tips panel, status lines, the buttons of the
// header and the footer, and the tray icon.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/Navigation.h"
#include "app/win/NavigationPanel.h"
#include "app/win/Pages.h"
#include "app/win/SectionPage.h"
#include "app/win/TrayDialog.h"
#include "app/win/ui/SkinnedButton.h"

namespace vestrel::app {

class MainWindow : public ui::MessageMap<MainWindow, TrayDialog>,
                   public NavigationHost,
                   public ui::HoverSink {
  public:
    static constexpr int kTemplate = 102;
    static constexpr int kMinimise = 1001;
    static constexpr int kAddressCheck = 1002;
    static constexpr int kRealAddressLine = 1013;
    static constexpr int kAddressInUseLine = 1014;
    static constexpr int kHelpMenu = 1015;
    static constexpr int kQuickAnonymity = 1016;
    static constexpr int kNavigationPanel = 153;
    static constexpr int kAboutCommand = 16;

    MainWindow();
    ~MainWindow();

    StatusPage* status_page() const { return status_page_.get(); }
    TipsPanel* tips_panel() const { return tips_.get(); }
    int current_section() const { return navigation_.current(); }
    void SetTip(const std::string& text);

    void ClearTip() override;
    void OnNavigate(int kind, int index) override;
    void OnButtonHover(ui::SkinnedButton& button, bool entered) override;

    static std::span<const ui::MessageEntry<MainWindow>> Messages();
    static std::span<const ui::CommandEntry<MainWindow>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    bool BuildPages();
    void BuildHelpMenu();
    void ApplyNavigation();
    void OnHelpMenu(int command);

    void OnMinimise();
    void OnShow();
    void OnExit();
    void OnHelpContents();
    void OnHelpIndex();
    void OnHelpSearch();
    void OnAbout();
    void OnTellAFriend();
    void OnQuickAnonymity();
    void OnAddressCheck();
    void OnOk() {}
    void OnCancel();

    ui::Result OnSystemMenu(const ui::Message& message);
    ui::Result OnClose(const ui::Message& message);
    ui::Result OnPaint(const ui::Message& message);
    ui::Result OnQueryDragIcon(const ui::Message& message);

    ui::SkinnedButton quick_anonymity_;
    ui::MenuButton help_menu_;
    ui::SkinnedButton address_check_;
    ui::SkinnedButton minimise_;
    ui::Icon big_icon_;
    ui::Icon small_icon_;

    std::unique_ptr<NavigationPanel> navigation_panel_;
    std::array<std::unique_ptr<ui::SkinnedButton>, Navigation::kSections> navigation_buttons_;
    std::unique_ptr<StatusPage> status_page_;
    std::vector<std::unique_ptr<SectionPage>> sections_;
    std::unique_ptr<TipsPanel> tips_;
    Navigation navigation_{{0, 6, 2, 2}};
};

}  // namespace vestrel::app
