// The status page: the anonymity and privacy switches, the "New" and "Tested" proxy boxes, the tips
// link, and the hint panel that lies over it.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <span>
#include <string>

#include "app/win/shell/BackgroundWork.h"
#include "app/win/ui/SkinnedButton.h"
#include "app/win/ui/SkinnedDialog.h"
#include "resources/ids/MainWindowIds.h"

namespace vestrel::app {

// The status page's two hint lines (anonymity, privacy).
class HintPanel : public ui::MessageMap<HintPanel, ui::SkinnedDialog> {
  public:
    static constexpr int kTemplate = IDD_STATUS_HINT_PANEL;

    explicit HintPanel(HWND main_window);
    std::string anonymity_hint;
    std::string privacy_hint;

  protected:
    bool OnInitDialog() override;
};

class StatusPage : public ui::MessageMap<StatusPage, ui::SkinnedDialog> {
  public:
    static constexpr int kTemplate = IDD_STATUS_PAGE;

    explicit StatusPage(HWND main_window);
    ~StatusPage() override;

    const std::string& real_address() const { return real_address_; }
    // The user's public address, once the judge has told it: the status lines show it from then on.
    void SetRealAddress(const std::string& address);
    HintPanel* hint_panel() const { return hint_panel_.get(); }
    // The names Anonymity and Privacy fill the hint panel while the pointer is over their switch.
    void OnSwitchHover(const std::string& name, bool entered);
    // What a click on the anonymity switch does; Exit uses it to switch off.
    void PressAnonymitySwitch() { OnAnonymitySwitch(); }
    // The switch and the status lines shown again from UseProxy, for when another page changed it.
    void ShowAnonymityState();
    // True while the "New" box waits for the list service.
    bool Downloading() const { return downloading_; }

    static std::span<const ui::MessageEntry<StatusPage>> Messages();
    static std::span<const ui::CommandEntry<StatusPage>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    void ShowAnonymity(bool on);
    void ShowPrivacy(bool on);
    void OnAnonymitySwitch();
    void OnPrivacySwitch();
    void OnOk();
    void OnCancel();
    ui::Result OnBoxCommand(const ui::Message& message);

    void StartNewBoxDownload();
    void FillNewBox(const std::optional<std::string>& body);
    void FillNewBox();
    void FillTestedBox();
    void OnNewBoxChoice();
    void OnTestedBoxChoice(bool picked);
    void AskToEmptyTestedList();
    void SetStatusLines(const std::string& in_use);
    // Asks the judge for the public address on a worker; the computer's own stands in until then.
    void AskPublicAddress();

    std::string real_address_;
    bool downloading_ = false;
    bool anonymity_shown_ = false;
    ui::SkinnedButton anonymity_;
    ui::SkinnedButton privacy_;
    ui::Label anonymity_status_;
    ui::Label privacy_status_;
    ui::Hyperlink tips_link_;
    std::unique_ptr<HintPanel> hint_panel_;
    LifeToken life_;
};

// The computer's own address: its name resolved, or kUnknownAddress when that fails.
std::string RealAddress();

}  // namespace vestrel::app
