// The pages of the main window that the shell itself owns: a plain sub-page, the tips panel, the
// status page with its hint panel.
#pragma once

#include <windows.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/win/ui/SkinnedButton.h"
#include "app/win/ui/SkinnedDialog.h"
#include "resources/ids/MainWindowIds.h"

namespace vestrel::app {

// A sub-page with the page colours, F1 help and Escape hiding the main window.
class PlainPage : public ui::MessageMap<PlainPage, ui::SkinnedDialog> {
  public:
    PlainPage(int template_id, HWND main_window);
    static std::span<const ui::CommandEntry<PlainPage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void OnOk() {}
    void OnCancel();

    std::vector<std::unique_ptr<ui::SkinnedButton>> buttons_;
};

// The panel under the navigation that shows the tip of the button under the pointer.
class TipsPanel : public ui::MessageMap<TipsPanel, ui::SkinnedDialog> {
  public:
    static constexpr int kTemplate = IDD_TIPS_PANEL;
    static constexpr int kTextId = IDC_TIPS_TEXT;

    explicit TipsPanel(HWND main_window);
    void SetTip(const std::string& text);
    std::string Tip() const;
};

// The status page's two hint lines (anonymity, privacy).
class HintPanel : public ui::MessageMap<HintPanel, ui::SkinnedDialog> {
  public:
    static constexpr int kTemplate = IDD_STATUS_HINT_PANEL;
    static constexpr int kAnonymityHint = IDC_STATUS_HINT_ANONYMITY;
    static constexpr int kPrivacyHint = IDC_STATUS_HINT_PRIVACY;

    explicit HintPanel(HWND main_window);
    std::string anonymity_hint;
    std::string privacy_hint;

  protected:
    bool OnInitDialog() override;
};

class StatusPage : public ui::MessageMap<StatusPage, ui::SkinnedDialog> {
  public:
    static constexpr int kTemplate = IDD_STATUS_PAGE;
    static constexpr int kAnonymitySwitch = IDC_STATUS_ANONYMITY_SWITCH;
    static constexpr int kPrivacySwitch = IDC_STATUS_PRIVACY_SWITCH;

    explicit StatusPage(HWND main_window);

    const std::string& real_address() const { return real_address_; }
    HintPanel* hint_panel() const { return hint_panel_.get(); }
    // The names Anonymity and Privacy fill the hint panel while the pointer is over their switch.
    void OnSwitchHover(const std::string& name, bool entered);

    static std::span<const ui::CommandEntry<StatusPage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void ShowAnonymity(bool on);
    void ShowPrivacy(bool on);
    void OnPrivacySwitch();
    void OnOk() {}
    void OnCancel();

    std::string real_address_;
    ui::SkinnedButton anonymity_;
    ui::SkinnedButton privacy_;
    ui::Label anonymity_status_;
    ui::Label privacy_status_;
    ui::Hyperlink tips_link_;
    std::unique_ptr<HintPanel> hint_panel_;
};

// The computer's own address: its name resolved, or kUnknownAddress when that fails.
std::string RealAddress();

}  // namespace vestrel::app
