// The quick anonymity button's dialog: the list refresh with its progress; then the proxy in use kept
// when it still passes a judge check, else the New list searched for a working anonymous proxy
// ("Tested N of M - K working", with Cancel); anonymity switched on and "Am I hidden?" asked, its
// verdict shown in the dialog.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <span>
#include <string>

#include "app/QuickAnonymity.h"
#include "app/win/anonymity/RefreshProgress.h"
#include "app/win/shell/BackgroundWork.h"
#include "app/win/ui/SkinnedButton.h"
#include "app/win/ui/SkinnedDialog.h"
#include "resources/ids/DialogIds.h"

namespace vestrel::app {

inline constexpr std::string_view kQuickNoneFound =
    "No working anonymous proxy was found in the list. Online anonymity is left as it was.";
inline constexpr std::string_view kQuickCheckingChosen = "Checking the proxy in use...";
inline constexpr std::string_view kQuickAskingJudge =
    "Anonymity is on. Asking the judge whether you are hidden...";

class AnonymityProgressDialog : public ui::MessageMap<AnonymityProgressDialog, ui::SkinnedDialog> {
  public:
    static constexpr int kTemplate = IDD_ANONYMITY_PROGRESS;
    static constexpr int kProgress = IDC_ANONYMITY_PROGRESS_BAR;
    static constexpr int kStatus = IDC_ANONYMITY_PROGRESS_STATUS;
    static constexpr int kCancel = IDC_ANONYMITY_PROGRESS_CANCEL;

    explicit AnonymityProgressDialog(HWND parent);
    ~AnonymityProgressDialog() override;

    static std::span<const ui::MessageEntry<AnonymityProgressDialog>> Messages();
    static std::span<const ui::CommandEntry<AnonymityProgressDialog>> Commands();

  protected:
    bool OnInitDialog() override;

  private:
    enum class Stage { Ready, Refreshing, Searching, Hiding, Done };
    // The timer that shows the search's progress.
    static constexpr UINT_PTR kSearchTimer = 0x5E2;

    void OnButton();
    void OnCancel();
    void OnRefreshed(bool any_list);
    void StartSearch();
    void SearchEnded(bool kept, std::vector<QuickFind> finds);
    void AskWhetherHidden();
    void Finish(const std::string& text);
    void ShowStatus(const std::string& text);
    void ShowSearchProgress();
    void UseFirstElite();
    ui::Result OnTimer(const ui::Message& message);

    ui::SkinnedButton button_;
    ui::SkinnedButton cancel_;
    std::unique_ptr<RefreshProgress> progress_;
    std::shared_ptr<QuickSearch> search_;
    Stage stage_ = Stage::Ready;
    bool checking_chosen_ = false;
    bool using_early_ = false;
    // What the refresh brought and could not read, said beside the outcome.
    std::string refresh_note_;
    LifeToken life_;
};

}  // namespace vestrel::app
