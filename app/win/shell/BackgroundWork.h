// Work that may wait on the network runs on a thread of its own; what it found is applied on the
// user-interface thread, through a message to a hidden window of that thread. Worker threads never
// touch a window: they only hand back a closure.
#pragma once

#include <functional>
#include <memory>

namespace vestrel::app {

// What a worker hands back, run later on the user-interface thread.
using UiStep = std::function<void()>;

// Makes the hidden window that receives the workers' results; call once on the user-interface thread
// before the first StartBackgroundWork. False when it could not be made.
bool InitBackgroundWork();

// Runs `work` on a new thread; the step it returns runs on the user-interface thread when the message
// loop next turns. The thread is not waited for: a step that arrives after the program has started
// to end is dropped.
void StartBackgroundWork(std::function<UiStep()> work);

// How many workers have been started and not yet had their step run (or dropped).
int BackgroundWorkPending();

// A token a window holds for as long as it exists; a step captures a Watch and runs its window's
// part only while the window is still there.
class LifeToken {
  public:
    class Watch {
      public:
        bool Alive() const { return !life_.expired(); }

      private:
        friend class LifeToken;
        explicit Watch(std::weak_ptr<int> life) : life_(std::move(life)) {}
        std::weak_ptr<int> life_;
    };
    Watch Watcher() const { return Watch(life_); }

  private:
    std::shared_ptr<int> life_ = std::make_shared<int>(0);
};

}  // namespace vestrel::app
