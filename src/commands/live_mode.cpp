#include "commands/live_mode.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <string>

#include "commands/dialog_ids.h"
#include "commands/mode_sweeps.h"
#include "commands/program.h"
#include "commands/text_window_sink.h"
#include "core/params.h"
#include "platform/dialog.h"
#include "platform/platform.h"
#include "platform/settings.h"

namespace lozengia {

namespace {
using namespace dialog_ids;
const char* const kTransitions[] = {"S->S+1->S", "S->S-1->S", "S->S+1", "S->S-1"};
constexpr int kMaxDelayMs = 3600 * 1000;
const char* const kDelayRule = "Input duration between steps in ms: an integer of 0 or more";
using Clock = std::chrono::steady_clock;
}  // namespace

int32_t LiveMode::next_batch(int32_t steps, double seconds, double draw_seconds) {
  // A frame's worth at the last batch's pace, growing at most fourfold at
  // once (a batch timed too short must not make the next one run for
  // seconds). A frame lasts as long as the last picture took to draw when
  // that is longer, so that drawing never takes most of the time.
  const double frame = std::max(kFrameSeconds, draw_seconds);
  double wanted = seconds > 0 ? steps * frame / seconds : 4.0 * steps;
  wanted = std::min({wanted, 4.0 * steps, static_cast<double>(kMaxBatchSteps)});
  return std::max(1, static_cast<int32_t>(std::lround(wanted)));
}

void LiveMode::open() {
  if (program_.command_running()) return;  // a command is still running
  Platform& platform = program_.platform();
  Dialog d(kDialogLive, platform.frame());
  if (!d.loaded()) return;
  d.set_items(kTransition, {kTransitions[0], kTransitions[1], kTransitions[2], kTransitions[3]});
  // The last run's transition and delay; a delay of its own the first time,
  // so that OK works at once.
  const Settings& s = platform.settings();
  d.set_selection(kTransition, s.integer(setting::kLiveTransition, 1, 4).value_or(1));
  d.set_text(kDelay, std::to_string(
                         s.integer(setting::kLiveDelay, 0, kMaxDelayMs).value_or(kDefaultDelayMs)));
  d.set_tooltip(kDelay, kDelayRule);
  d.set_first_field(kDelay);
  // Cancel, Escape or the close box start nothing.
  if (d.run() != kOk) return;
  const int32_t entry = d.selection(kTransition);
  if (entry < 1 || entry > 4) return;
  const HexagonParams p = program_.params();
  if ((entry == 1 || entry == 3) && p.S == p.T) {
    platform.dialogs().message_box("It is impossible now! (S=T)", "Error.");
    return;
  }
  if ((entry == 2 || entry == 4) && p.S == 0) {
    platform.dialogs().message_box("It is impossible now! (S=0)", "Error.");
    return;
  }
  int32_t delay = 0;
  if (!parse_int32(d.text(kDelay), delay) || delay < 0) {
    platform.dialogs().message_box(std::string("Incorrect input!\n") + kDelayRule, "Error.");
    return;
  }
  Settings& w = platform.settings();
  w.set(setting::kLiveTransition, entry);
  if (delay <= kMaxDelayMs) w.set(setting::kLiveDelay, delay);
  program_.hand_over(LiveRun{static_cast<LiveTransition>(entry), delay});
}

void LiveMode::run(const LiveRun& command) {
  UnitWindows& windows = program_.platform().windows();
  FrameControls& controls = program_.platform().controls();
  KeyboardReader& reader = program_.reader();
  SharedState& state = program_.state();
  program_.disable_commands();
  windows.focus(kPictureUnit);
  program_.draw_picture(kPictureUnit);
  program_.live_steps = 0;
  controls.set_stop_available(true);
  TextWindowSink sink(windows);
  if (!reader.start(kPictureUnit))
    sink.line("No thread could be started to read keys: only Esc (Stop) ends this live run.");
  ThreadShortfall shortfall(sink);  // told once per run
  const int32_t delay = command.delay_ms;
  const LiveTransition transition = command.transition;
  const std::string name = kTransitions[static_cast<int32_t>(transition) - 1];
  const bool up_first =
      transition == LiveTransition::up_and_back || transition == LiveTransition::up;
  const bool round_trip =
      transition == LiveTransition::up_and_back || transition == LiveTransition::down_and_back;
  const int32_t sweeps_per_step = round_trip ? 2 : 1;
  // One seed for the whole run, its sweeps numbered on from batch to batch:
  // the tilings the run goes through depend on the program's seed only,
  // whatever the batches were.
  const int64_t seed = run_seed(program_.rng());
  int64_t next_sweep = 0;
  // Steps in the next batch. With a delay each step is shown; without one,
  // as many as about one frame of sweeping, judged from the batch before.
  int32_t batch = 1;
  double draw_seconds = 0;  // the last picture's
  // Stops on a key, on Stop, at the bound of a one-way run, and when the
  // frame is closed (after the sweeps under way; the pause is cut short);
  // also when a batch's memory cannot be had: that batch is undone, and the
  // run ends at the tiling it showed last.
  std::exception_ptr failure;
  int32_t S_shown = program_.params().S;
  try {
    while (!program_.stop_command.load() && !reader.key_waiting()) {
      int32_t S, steps_made;
      {
        std::lock_guard<std::mutex> lock(state.mutex);
        Hexagon& h = state.hex;
        // The bound also guards the round trips: the state cannot change under
        // a greyed menu, but a step past a bound would corrupt the arrays.
        if (up_first ? h.params.S >= h.params.T : h.params.S <= 0) break;
        StreamSweeps how;
        how.plus = up_first;
        how.alternate = round_trip;
        how.steps = batch * sweeps_per_step;
        how.seed = seed;
        how.first_sweep = next_sweep;
        how.threads = 0;
        how.stop = &program_.stop_command;
        how.shortfall = &shortfall;
        const auto start = Clock::now();
        const int32_t made = keeping_tiling_on_failure(h, [&] {
          int32_t swept = sweep_hexagon(h, how, sink);
          if (round_trip && swept % 2 == 1) {
            // Never half a round trip: S goes back to where the run keeps it.
            StreamSweeps back = how;
            back.steps = 1;
            back.first_sweep = next_sweep + swept;
            back.stop = nullptr;
            swept += sweep_hexagon(h, back, sink);
          }
          return swept;
        });
        if (made == 0) break;  // stopped before the batch began
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        next_sweep += made;
        steps_made = made / sweeps_per_step;
        if (delay == 0) batch = next_batch(steps_made, seconds, draw_seconds);
        state.tiling_changed();
        S = h.params.S;
      }
      S_shown = S;
      program_.live_steps += steps_made;
      controls.show_progress(0, 0,
                             "Live " + name + ": " + std::to_string(program_.live_steps.load()) +
                                 " steps, S=" + std::to_string(S) +
                                 "   (a key in the picture, or Esc, stops)");
      const auto drawn_from = Clock::now();
      program_.publish_state();
      windows.focus(kPictureUnit);
      program_.draw_picture(kPictureUnit);
      draw_seconds = std::chrono::duration<double>(Clock::now() - drawn_from).count();
      if (delay > 0) program_.pause(delay, [&] { return reader.key_waiting(); });
    }
  } catch (...) {
    failure = std::current_exception();
  }
  sink.finish();
  if (failure)
    program_.report_failure(failure, "the live run ends at the tiling it showed last (S=" +
                                         std::to_string(S_shown) + ").");
  reader.stop();
  controls.set_stop_available(false);
  controls.end_progress();
  program_.enable_commands();
  program_.write_report();
  windows.focus(kPictureUnit);
}

}  // namespace lozengia
