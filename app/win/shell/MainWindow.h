// The main window: navigation panel, the four sections, tips panel, status lines, the buttons of the
// header and the footer, and the tray icon.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/Navigation.h"
#include "app/win/shell/BackgroundWork.h"
#include "app/win/shell/NavigationPanel.h"
#include "app/win/shell/Pages.h"
#include "app/win/shell/SectionPage.h"
#include "app/win/shell/StatusPage.h"
#include "app/win/shell/TrayDialog.h"
#include "app/win/ui/SkinnedButton.h"
#include "resources/ids/MainWindowIds.h"

namespace vestrel::app {

class MainWindow : public ui::MessageMap<MainWindow, TrayDialog>,
                   public NavigationHost,
                   public ui::HoverSink {
  public:
    static constexpr int kTemplate = IDD_MAIN_WINDOW;
    static constexpr int kMinimise = IDC_MAIN_MINIMISE;
    static constexpr int kAddressCheck = IDC_MAIN_ADDRESS_CHECK;
    static constexpr int kRealAddressLine = IDC_MAIN_REAL_ADDRESS;
    static constexpr int kAddressInUseLine = IDC_MAIN_ADDRESS_IN_USE;
    static constexpr int kHelpMenu = IDC_MAIN_HELP_MENU;
    static constexpr int kQuickAnonymity = IDC_MAIN_QUICK_ANONYMITY;
    static constexpr int kNavigationPanel = IDD_NAVIGATION_PANEL;
    static constexpr int kAboutCommand = IDM_SYSTEM_ABOUT;

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
    // "Am I hidden?": the self-test on a worker, its verdict in a dialog; the button rests meanwhile.
    void OnAddressCheck();
    void ShowSelfTestResult(const std::string& verdict, const std::optional<std::string>& public_address);
    void OnOk();
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
    bool self_test_running_ = false;
    LifeToken life_;
};

}  // namespace vestrel::app
