#include "commands/interactive_mode.h"

#include <exception>
#include <optional>
#include <string>

#include "commands/mode_sweeps.h"
#include "commands/program.h"
#include "commands/text_window_sink.h"
#include "platform/platform.h"

namespace lozengia {

char InteractiveMode::normalise(char key) {
  if (key == 0x1b) return 'q';  // Esc leaves the mode
  if (key >= 'A' && key <= 'Z') return static_cast<char>(key - 'A' + 'a');
  return key;
}

bool InteractiveMode::apply_key(char key) {
  TextWindowSink sink(program_.platform().windows());
  SharedState& state = program_.state();
  std::lock_guard<std::mutex> lock(state.mutex);
  Hexagon& h = state.hex;
  // One key, one run of sweeps on every core: a step, or a round trip whose
  // way back runs one slice behind its way out. Its seed is the next draw of
  // the program's generator, so the program's seed fixes the tilings.
  StreamSweeps how;
  how.threads = 0;
  switch (normalise(key)) {
    case 'a':
      if (h.params.S >= h.params.T) return false;
      how.plus = true;
      how.steps = 1;
      break;
    case 'z':
      if (h.params.S <= 0) return false;
      how.plus = false;
      how.steps = 1;
      break;
    case 's':
      if (h.params.S >= h.params.T) return false;
      how.plus = true;
      how.alternate = true;
      how.steps = 2;
      break;
    case 'x':
      if (h.params.S <= 0) return false;
      how.plus = false;
      how.alternate = true;
      how.steps = 2;
      break;
    default:
      return false;
  }
  how.seed = run_seed(program_.rng());
  how.shortfall = shortfall_.get();
  keeping_tiling_on_failure(h, [&] { return sweep_hexagon(h, how, sink); });
  if (shortfall_)
    if (const std::string l = shortfall_->take_line(); !l.empty()) sink.line(l);
  state.tiling_changed();
  return true;
}

void InteractiveMode::run() {
  if (program_.command_running()) return;  // a command is still running
  Platform& platform = program_.platform();
  UnitWindows& windows = platform.windows();
  PictureKeys& keys = platform.keys();
  program_.disable_commands();
  shortfall_ = std::make_unique<ThreadShortfall>();
  program_.line("Interactive mode. Type a letter in the window with a tiling");
  program_.line("press \"a\" to do S->S+1 step,");
  program_.line("\"z\" to do S->S-1 step,");
  program_.line("\"s\" to do S->S+1->S step,");
  program_.line("\"x\" to do S->S-1->S step,");
  program_.line(" \"q\" exits this mode.");
  platform.controls().show_progress(
      0, 0, "Interactive mode: a, z, s, x in the picture window; q or Esc leaves");
  windows.focus(kPictureUnit);
  program_.draw_picture(kPictureUnit);
  keys.set_key_capture(kPictureUnit, true);
  // The read runs a nested event loop: the windows repaint and the frame can
  // be closed while the mode waits for a key. A key whose sweeps cannot get
  // their memory changes nothing and ends the mode (the next key would fail
  // the same way); this runs inside a menu callback, where nothing may be
  // thrown on to Qt.
  std::exception_ptr failure;
  std::string kept;
  for (;;) {
    const std::optional<char> key = keys.read_key(kPictureUnit);
    if (!key) break;  // the program is closing
    if (normalise(*key) == 'q') {
      ++program_.keys_handled;
      break;
    }
    bool changed = false;
    try {
      changed = apply_key(*key);
      if (changed) {
        program_.publish_state();
        windows.focus(kPictureUnit);
        program_.draw_picture(kPictureUnit);
      }
    } catch (...) {
      failure = std::current_exception();
      const std::string S = "(S=" + std::to_string(program_.params().S) + ")";
      kept = changed ? "the tiling after the key " + S + " is kept but not drawn"
                     : "the tiling from before the key " + S + " is kept";
    }
    ++program_.keys_handled;
    if (failure) break;
  }
  keys.set_key_capture(kPictureUnit, false);
  if (platform.gui().shutting_down()) return;
  if (failure) program_.report_failure(failure, kept + ", and interactive mode ends.");
  platform.controls().end_progress();
  windows.focus(kTextUnit);
  if (program_.params().S == program_.params().T) program_.draw_picture(kPictureUnit);
  program_.enable_commands();
  program_.write_report();
  windows.focus(kPictureUnit);
}

}  // namespace lozengia
