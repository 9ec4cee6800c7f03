// The progress shown around a list refresh, shared by the quick anonymity dialog and the List update
// page: 20 before the transfer, then 40, 60, 80 and 100 three tenths of a second apart, driven by a
// timer of the dialog while the transfer runs on a worker, so that the window keeps answering.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "app/Anonymity.h"
#include "app/win/shell/BackgroundWork.h"

namespace vestrel::app {

// The list alone, for a page that shows it: the browsers set direct, the transfer on a worker, then
// the browsers pointed back at the relay when anonymity is on, whether or not the page still exists.
// `arrived` runs only while the window holding `life` is there.
void DownloadProxyList(const LifeToken& life, std::function<void(std::optional<std::string> body)> arrived);

class RefreshProgress {
  public:
    // The timer id the dialog's WM_TIMER passes on to OnTimer.
    static constexpr UINT_PTR kTimer = 0x5E1;

    // `done` runs on the dialog after the last step, told whether any list arrived.
    RefreshProgress(HWND dialog, int progress_id, AnonymityUi ui, std::function<void(bool updated)> done);
    ~RefreshProgress();
    RefreshProgress(const RefreshProgress&) = delete;
    RefreshProgress& operator=(const RefreshProgress&) = delete;

    // False when a refresh is already running somewhere in the program.
    bool Start();
    bool Running() const { return step_ != Step::Idle; }
    // True when the timer was this sequence's.
    bool OnTimer(UINT_PTR timer);
    // True while any refresh of the program runs.
    static bool AnyRunning();
    // After `done`: the message's part about list sources that could not be read; empty when none.
    const std::string& failed_sources() const { return failed_sources_; }
    // After `done`: what came from where, as the refresh's message says it ("3,412 proxies from 4
    // lists.", then the lists that failed).
    const std::string& message() const { return message_; }

  private:
    enum class Step { Idle, BeforeTransfer, Transfer, After };
    void SetPosition(int position);
    void TransferArrived(bool updated);

    HWND dialog_;
    int progress_id_;
    AnonymityUi ui_;
    std::function<void(bool)> done_;
    Step step_ = Step::Idle;
    int position_ = 0;
    bool updated_ = false;
    std::string failed_sources_;
    std::string message_;
    LifeToken life_;
};

}  // namespace vestrel::app
