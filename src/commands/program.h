// The main program: start-up, the command loop on a thread of its own, and
// the menu commands.
//
// Threads: the menu callbacks and dialogs run on the GUI thread; start-up and
// the command loop run on the program thread started by start(). The hexagon,
// the picture style and the colours are shared between the two and are only
// touched under `state_mutex_`; the hand-off cells are atomics. The greyed
// "Commands" menu keeps the user from starting a second command while one
// runs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "commands/keyboard_reader.h"
#include "core/hexagon.h"
#include "core/random.h"
#include "render/tiling.h"

namespace lozengia {

class Platform;
class Dialog;

// Values of the pending command.
constexpr int32_t kCommandIdle = 0;
constexpr int32_t kCommandSMinus = 200;
constexpr int32_t kCommandSPlus = 201;
// Live mode: 100 + the transition's entry in the "Live mode" list.
constexpr int32_t kCommandLivePlusMinus = 101;  // S->S+1->S
constexpr int32_t kCommandLiveMinusPlus = 102;  // S->S-1->S
constexpr int32_t kCommandLivePlus = 103;       // S->S+1, until S = T
constexpr int32_t kCommandLiveMinus = 104;      // S->S-1, until S = 0

struct ProgramOptions {
  std::string config_path = "config.cfg";
  int64_t seed = 0;  // 0: seed from the clock
};

extern const char* const kHelpText;
extern const char* const kAboutText;

class Program {
 public:
  Program(Platform& platform, ProgramOptions options = {});
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Starts the program thread: start-up, then the command loop.
  void start();
  // Ends the command loop (a running step command stops after its current
  // step) and joins the thread. Safe to call more than once.
  void stop();
  // True once start-up has finished and the command loop runs.
  bool started() const { return started_.load(); }

  // Menu callbacks (GUI thread).
  void MENU_DRAW();
  void MENU_NEW();
  void MENU_S_PLUS();
  void MENU_S_MINUS();
  void MENU_STEPS();
  void MENU_LIVE();
  void MENU_EXPORT();
  void MENU_START();
  void MENU_ABOUT();

  // Dialog handlers (GUI thread).
  void FUNCTION_NEW(Dialog& d);
  void UPDATE_NG_MODE(Dialog& d);
  void SETENB_MODE(Dialog& d, int32_t kind);
  void FUNCTION_SPL(Dialog& d);
  void FUNCTION_SMIN(Dialog& d);

  // The keyboard reader live mode uses (its keys stay readable after a run).
  KeyboardReader& reader() { return reader_; }
  // Live steps done since the last live run started (any thread).
  std::atomic<int64_t> live_steps{0};
  // Keys interactive mode has read and acted on (or ignored) since start-up.
  std::atomic<int64_t> keys_handled{0};

  // Draws the current configuration into the scratch image and copies it to
  // the window of `unit` (any thread).
  void DRAWTILING(int unit);
  void DISABLEMENU();
  void ENABLEMENU();
  void WRITEINFO();

  // Snapshots of the shared state.
  HexagonParams params() const;
  PathArray paths() const;
  int32_t style() const;
  LozengeColors colors() const;

  std::atomic<int32_t> pending_command{kCommandIdle};
  std::atomic<int32_t> step_count{0};
  std::atomic<int32_t> sample_count{0};

 private:
  void main_program();
  void command_loop();
  void run_steps(int32_t code);
  void run_live(int32_t code);
  // One interactive-mode key; true when it changed the tiling.
  bool interactive_key(char key);
  void step_dialog(int resource_id, bool plus);
  void step_ok(Dialog& d, bool plus);
  void line(const std::string& text);

  Platform& platform_;
  ProgramOptions options_;
  RandomSource rng_;

  mutable std::mutex state_mutex_;
  Hexagon hex_;                   // guarded by state_mutex_
  int32_t style_ = kStyleBorders; // guarded by state_mutex_
  LozengeColors colors_;          // guarded by state_mutex_

  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> started_{false};
  std::mutex wake_mutex_;
  std::condition_variable wake_;
  KeyboardReader reader_;  // started and stopped by the program thread only
};

}  // namespace lozengia
