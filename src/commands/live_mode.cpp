#include "commands/live_mode.h"

#include <string>

#include "commands/dialog_ids.h"
#include "commands/program.h"
#include "commands/text_window_sink.h"
#include "core/operators.h"
#include "core/params.h"
#include "platform/dialog.h"
#include "platform/platform.h"
#include "platform/settings.h"

namespace lozengia {

namespace {
using namespace dialog_ids;
const char* const kTransitions[] = {"S->S+1->S", "S->S-1->S", "S->S+1", "S->S-1"};
constexpr int kMaxDelayMs = 3600 * 1000;
}  // namespace

void LiveMode::open() {
  if (program_.pending_command.load() != kCommandIdle) return;  // a command is still running
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
  d.set_first_field(kDelay);
  // Cancel, Escape or the close box start nothing.
  if (d.run() != kOk) return;
  const int32_t entry = d.selection(kTransition);
  if (entry < 1 || entry > 4) return;
  const HexagonParams p = program_.params();
  if ((entry == 1 || entry == 3) && p.S == p.T) {
    platform.message_box("It is impossible now! (S=T)", "Error.");
    return;
  }
  if ((entry == 2 || entry == 4) && p.S == 0) {
    platform.message_box("It is impossible now! (S=0)", "Error.");
    return;
  }
  int32_t delay = 0;
  if (!parse_int32(d.text(kDelay), delay) || delay < 0) {
    platform.message_box("Incorrect input!", "Error.");
    return;
  }
  Settings& w = platform.settings();
  w.set(setting::kLiveTransition, entry);
  if (delay <= kMaxDelayMs) w.set(setting::kLiveDelay, delay);
  program_.step_count = delay;
  program_.hand_over(100 + entry);
}

void LiveMode::run(int32_t code) {
  Platform& platform = program_.platform();
  KeyboardReader& reader = program_.reader();
  SharedState& st = program_.state();
  program_.DISABLEMENU();
  platform.focus(kPictureUnit);
  program_.DRAWTILING(kPictureUnit);
  program_.live_steps = 0;
  platform.set_stop_available(true);
  reader.PEEKSTART(kPictureUnit);
  TextWindowSink sink(platform);
  const int32_t delay = program_.step_count.load();
  const std::string name = kTransitions[code - kCommandLivePlusMinus];
  // Stops on a key, on Stop, at the bound of a one-way run, and when the
  // frame is closed (after the current step; the pause is cut short).
  while (!program_.stop_command.load() && !reader.USERPEEKCHAR()) {
    int32_t S;
    {
      std::lock_guard<std::mutex> lock(st.mutex);
      Hexagon& h = st.hex;
      const bool up_first = code == kCommandLivePlusMinus || code == kCommandLivePlus;
      const bool round_trip = code == kCommandLivePlusMinus || code == kCommandLiveMinusPlus;
      // The bound also guards the round trips: the state cannot change under
      // a greyed menu, but a step past a bound would corrupt the arrays.
      if (up_first ? h.S >= h.T : h.S <= 0) break;
      for (int k = 0; k < (round_trip ? 2 : 1); ++k) {
        if (up_first == (k == 0)) {
          SOPERATOR(h.N, h.T, h.S, h.kind, h.q, h.K, h.alpha, h.beta, h.paths, h.newpaths,
                    program_.rng(), sink);
          h.paths.swap(h.newpaths);
          ++h.S;
        } else {
          SMINUSOPERATOR(h.N, h.T, h.S, h.kind, h.q, h.K, h.alpha, h.beta, h.paths, h.newpaths,
                         program_.rng(), sink);
          h.paths.swap(h.newpaths);
          --h.S;
        }
      }
      ++st.version;
      S = h.S;
    }
    ++program_.live_steps;
    platform.show_progress(0, 0,
                           "Live " + name + ": " + std::to_string(program_.live_steps.load()) +
                               " steps, S=" + std::to_string(S) +
                               "   (a key in the picture, or Esc, stops)");
    program_.publish_state();
    platform.focus(kPictureUnit);
    program_.DRAWTILING(kPictureUnit);
    if (delay > 0) program_.pause(delay, [&] { return reader.USERPEEKCHAR(); });
  }
  reader.PEEKSTOP();
  platform.set_stop_available(false);
  platform.end_progress();
  program_.ENABLEMENU();
  program_.write_report();
  platform.focus(kPictureUnit);
  program_.stop_command = false;
  program_.pending_command = kCommandIdle;
}

}  // namespace lozengia
