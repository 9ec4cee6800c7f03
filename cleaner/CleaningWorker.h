// The privacy cleaner's schedule thread and the cleaning run it performs: whenever "AutoClean" is 1 it
// runs the tasks whose "IClear1" to "IClear7" flags are 1, then sleeps "Sleep" minutes, for the life of
// the process.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "cleaner/BrowserCleaning.h"
#include "cleaner/CleaningSystem.h"
#include "platform/thread/WorkerThread.h"

namespace vestrel::cleaner {

// The boxes as the settings have them ("IClear1" to "IClear6").
BrowserBoxes CheckedBrowserBoxes();
// The browsers' profiles below the user's folders as `system` gives them, counted (Preview) or cleaned
// for the checked boxes, keeping the cookies of the "KeepCookies" sites. One run at a time: a clean asked
// for while the schedule thread cleans waits for it.
std::vector<ProfileResult> CleanBrowsers(CleaningSystem& system, CleaningMode mode);
std::vector<ProfileResult> CleanBrowsers(CleaningSystem& system, const BrowserBoxes& boxes,
                                         CleaningMode mode);

// One cleaning run: the seven tasks in order, each when its flag is 1, then the same boxes in the
// browsers of today (CleanBrowsers). Nothing fails loudly: a trace that cannot be erased is left and the
// next step goes on; a browser that was open is left whole (a scheduled run cleans it at its next round).
std::vector<ProfileResult> RunCleaningTasks(CleaningSystem& system);

class CleaningWorker : public platform::WorkerThread {
  public:
    // How long the thread sleeps for a "Sleep" of `minutes` (never 0 here). Tests shorten it.
    using IntervalSource = std::function<std::chrono::milliseconds(std::uint32_t minutes)>;
    static std::chrono::milliseconds Minutes(std::uint32_t minutes);

    explicit CleaningWorker(CleaningSystem& system, IntervalSource interval = Minutes);
    // Asks the loop to stop and waits for it (an interrupted sleep ends at once; a run in progress is
    // finished first).
    ~CleaningWorker() override;

    // The schedule loop; returns only when asked to stop.
    void Run(std::uint32_t argument) override;

    // One run of RunCleaningTasks on this worker's system.
    std::vector<ProfileResult> runCleaning();

  private:
    CleaningSystem& system_;
    IntervalSource interval_;
};

}  // namespace vestrel::cleaner
