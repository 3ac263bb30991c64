// The main program: start-up, the command loop on a thread of its own, and
// the menu's commands, each in a class of its own (new_hexagon_command.h,
// step_commands.h, interactive_mode.h, live_mode.h, picture_commands.h).
//
// Threads: the menu callbacks and dialogs run on the GUI thread; start-up and
// the command loop run on the program thread started by start(). The hexagon,
// the picture style and the colours are shared between the two and are only
// touched under the state's mutex; a step or live command crosses to the
// program thread as one PendingCommand value (pending_command.h). The greyed
// "Commands" menu keeps the user from starting a second command while one
// runs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QMetaObject>

#include "commands/pending_command.h"
#include "core/hexagon.h"
#include "core/random.h"
#include "keys/keyboard_reader.h"
#include "render/tiling.h"

namespace lozengia {

class Platform;
class NewHexagonCommand;
class StepCommands;
class InteractiveMode;
class LiveMode;
class PictureCommands;
class OpenPartitionCommand;
struct TilingSnapshot;

struct ProgramOptions {
  std::string config_path = "config.cfg";
  int64_t seed = 0;  // 0: seed from the clock
};

// What the program thread and the GUI thread share.
struct SharedState {
  mutable std::mutex mutex;
  Hexagon hex;                        // guarded by mutex
  StyleNumber style = kStyleBorders;  // guarded by mutex
  LozengeColors colors;               // guarded by mutex
  // Guarded by mutex: one more on every change of the tiling.
  uint64_t version = 1;
  // Guarded by mutex: the tiling is the average of this many samples.
  int32_t averaged = 1;

  // The tiling has changed (under the mutex): a sample, or the average of
  // `samples` runs.
  void tiling_changed(int32_t samples = 1) {
    ++version;
    averaged = samples;
  }
};

class Program {
 public:
  Program(Platform& platform, ProgramOptions options = {});
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Starts the program thread: start-up, then the command loop. False when
  // no thread can be started (the program cannot run; nothing was done).
  bool start();
  // Ends the command loop (a running step command stops after its current
  // step) and joins the thread. Safe to call more than once.
  void stop();
  // True once start-up has finished and the command loop runs.
  bool started() const { return started_.load(); }

  // Menu callbacks (GUI thread).
  void menu_show_tiling();
  void menu_new_hexagon();
  void menu_s_plus();
  void menu_s_minus();
  void menu_interactive();
  void menu_live();
  void menu_export();
  void menu_how_to_start();
  void menu_models();
  void menu_about();

  // The keyboard reader live mode uses (its keys stay readable after a run).
  KeyboardReader& reader() { return reader_; }
  // Live steps done since the last live run started (any thread).
  std::atomic<int64_t> live_steps{0};
  // Keys interactive mode has read and acted on (or ignored) since start-up.
  std::atomic<int64_t> keys_handled{0};

  // Shows the current configuration in the window of `unit` (any thread).
  void draw_picture(int unit);
  void disable_commands();
  void enable_commands();
  // The parameter report line in the text window.
  void write_report();

  // Snapshots of the shared state.
  HexagonParams params() const;
  PathArray paths() const;
  StyleNumber style() const;
  LozengeColors colors() const;
  std::shared_ptr<const TilingSnapshot> snapshot() const;

  // True while a command handed to the loop waits or runs (any thread).
  bool command_running() const { return commands_.busy(); }

  // "Open plane partition.." (File menu, and files dropped on the frame).
  OpenPartitionCommand& open_partition() { return *open_partition_; }

  // For the commands. The platform only holds the services they call: its
  // windows(), keys(), controls(), dialogs() and settings().
  Platform& platform() { return platform_; }
  SharedState& state() { return state_; }
  RandomSource& rng() { return rng_; }
  void line(const std::string& text);
  // Hands a command to the loop (GUI thread): greys the menu at once.
  void hand_over(PendingCommand command);
  // Tells the windows and the status bar about the present tiling (any
  // thread, without the state's lock).
  void publish_state();
  // Set by "Stop" (Esc) and when the program ends: the running step or live
  // command ends after the step in progress.
  std::atomic<bool> stop_command{false};
  bool stopping() const { return stop_.load(); }
  // A command that could not go on: no memory (std::bad_alloc) or another
  // failure. One line in the text window ("Not enough memory for this run:
  // " and `kept`, what became of the tiling) and an "Error!" box (any
  // thread; the box is not waited for). Never throws: it runs where memory
  // has just run out.
  void report_failure(const std::exception_ptr& failure, const std::string& kept) noexcept;
  // Waits up to `ms` for a wake-up (a key, a stop); true when woken.
  void pause(int32_t ms, const std::function<bool()>& done);

 private:
  void main_program();
  void command_loop();

  Platform& platform_;
  ProgramOptions options_;
  RandomSource rng_;
  SharedState state_;

  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> started_{false};
  std::mutex wake_mutex_;
  std::condition_variable wake_;
  CommandSlot commands_;
  std::vector<QMetaObject::Connection> connections_;  // to the frame's signals
  KeyboardReader reader_;  // started and stopped by the program thread only

  std::unique_ptr<NewHexagonCommand> new_hexagon_;
  std::unique_ptr<StepCommands> steps_;
  std::unique_ptr<InteractiveMode> interactive_;
  std::unique_ptr<LiveMode> live_;
  std::unique_ptr<PictureCommands> pictures_;
  std::unique_ptr<OpenPartitionCommand> open_partition_;
};

}  // namespace lozengia
