// What the GUI thread hands to the program thread's loop: one value holding
// the command and all it needs, handed over once. The loop runs it and then
// says it is done; until then no second command can be handed over.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <variant>

namespace lozengia {

// "S->S+1 steps" or "S->S-1 steps" as the dialog accepted them.
struct StepRun {
  bool plus = true;
  int32_t steps = 0;
  int32_t samples = 1;
  // Threads the run may use (0: every core): fewer when the memory of every
  // core's share could not be had.
  uint32_t threads = 0;
};

// The transitions of the "Live mode" list, numbered as its entries.
enum class LiveTransition : int32_t {
  up_and_back = 1,    // S->S+1->S
  down_and_back = 2,  // S->S-1->S
  up = 3,             // S->S+1, until S = T
  down = 4,           // S->S-1, until S = 0
};

struct LiveRun {
  LiveTransition transition = LiveTransition::up_and_back;
  int32_t delay_ms = 0;
};

using PendingCommand = std::variant<StepRun, LiveRun>;

// The hand-off itself: the command waits here under a mutex until the loop
// takes it, and the slot stays busy until the loop is done with it.
class CommandSlot {
 public:
  // GUI thread. False when a command is still waiting or running.
  bool hand_over(PendingCommand command) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (busy_) return false;
      busy_ = true;
      waiting_ = std::move(command);
    }
    ready_.notify_all();
    return true;
  }
  // Program thread: the command handed over, waiting up to `ms` for one and
  // returning early when `wake()` is called (the loop then checks whether to
  // end). The slot stays busy until done().
  template <class Rep, class Period>
  std::optional<PendingCommand> take(std::chrono::duration<Rep, Period> wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait_for(lock, wait, [this] { return waiting_.has_value() || woken_; });
    woken_ = false;
    std::optional<PendingCommand> taken = std::move(waiting_);
    waiting_.reset();
    return taken;
  }
  void done() {
    std::lock_guard<std::mutex> lock(mutex_);
    busy_ = false;
  }
  // True from hand_over() until the loop is done with the command.
  bool busy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return busy_;
  }
  // Ends a wait in take() at once.
  void wake() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      woken_ = true;
    }
    ready_.notify_all();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::optional<PendingCommand> waiting_;  // guarded by mutex_
  bool busy_ = false;                      // guarded by mutex_
  bool woken_ = false;                     // guarded by mutex_
};

}  // namespace lozengia
