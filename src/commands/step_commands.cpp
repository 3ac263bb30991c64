#include "commands/step_commands.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <string>
#include <thread>

#include "commands/dialog_ids.h"
#include "commands/program.h"
#include "commands/text_window_sink.h"
#include "core/memory_limit.h"
#include "core/step_command.h"
#include "platform/dialog.h"
#include "platform/platform.h"
#include "platform/settings.h"

namespace lozengia {

namespace {

using namespace dialog_ids;
using Clock = std::chrono::steady_clock;

std::string duration_text(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  if (s < 60) return std::to_string(s) + " s";
  if (s < 3600) return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
  return std::to_string(s / 3600) + " h " + std::to_string((s % 3600) / 60) + " min";
}

// Sends the progress of a run to the status bar, at most ten times a second.
class ProgressReport {
 public:
  ProgressReport(FrameControls& controls, bool plus, int32_t steps, int32_t samples)
      : controls_(controls), plus_(plus), steps_(steps), samples_(samples), start_(Clock::now()) {}

  // True when the status bar was told.
  bool operator()(int32_t sample, int32_t step, int32_t S) {
    const auto now = Clock::now();
    const int64_t total = static_cast<int64_t>(steps_) * samples_;
    const int64_t done = static_cast<int64_t>(sample - 1) * steps_ + step;
    if (done < total && now - last_ < std::chrono::milliseconds(100)) return false;
    last_ = now;
    std::string text = std::string(plus_ ? "S->S+1" : "S->S-1") + " steps: ";
    if (samples_ > 1)
      text += "sample " + std::to_string(sample) + " of " + std::to_string(samples_) + ", ";
    text += "step " + std::to_string(step) + " of " + std::to_string(steps_) +
            ", S=" + std::to_string(S);
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    if (elapsed > 2.0 && done > 0 && done < total)
      text += ", about " + duration_text(elapsed / done * (total - done)) + " left";
    text += "   (Esc stops)";
    // The bar counts in thousandths, so that long runs fit its int range.
    controls_.show_progress(static_cast<int>(done * 1000 / total), 1000, text);
    return true;
  }

 private:
  FrameControls& controls_;
  bool plus_;
  int32_t steps_, samples_;
  Clock::time_point start_, last_{};
};

}  // namespace

void StepCommands::ok_pressed(Dialog& d, bool plus) {
  const HexagonParams p = program_.params();
  const StepFields fields = read_step_fields(d.text(kSteps), d.text(kSamples), p.S, p.T, plus);
  if (!fields.ok) {
    program_.platform().dialogs().message_box("Bad input\n" + fields.rule, "Error!");
    return;
  }
  const int32_t steps = fields.steps, samples = fields.samples;
  // Counted before any work: on fewer threads when every core's share does
  // not fit (the same samples, later), refused when not even one's does.
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const MemoryRoom room = memory_room();
  std::string refusal;
  unsigned threads = cores;
  for (; threads >= 1; --threads) {
    refusal = memory_refusal(step_command_need(p, plus, steps, samples, threads), room);
    if (refusal.empty()) break;
  }
  if (!refusal.empty()) {
    program_.platform().dialogs().message_box(refusal, "Error!");
    return;
  }
  Settings& s = program_.platform().settings();
  s.set(setting::kSteps, steps);
  s.set(setting::kSamples, samples);
  d.close(kOk);
  program_.hand_over(StepRun{plus, steps, samples, threads});
}

void StepCommands::s_plus_ok(Dialog& d) { ok_pressed(d, true); }
void StepCommands::s_minus_ok(Dialog& d) { ok_pressed(d, false); }

void StepCommands::open(bool plus) {
  if (program_.command_running()) return;  // a command is still running
  Dialog d(plus ? kDialogSPlus : kDialogSMinus, program_.platform().frame());
  if (!d.loaded()) return;
  const HexagonParams p = program_.params();
  d.set_text(kN, std::to_string(p.N));
  d.set_text(kT, std::to_string(p.T));
  d.set_text(kS, std::to_string(p.S));
  // The numbers of the last run, else "0" and "1".
  const Settings& s = program_.platform().settings();
  const int max = 1 << 30;
  d.set_text(kSteps, std::to_string(s.integer(setting::kSteps, 1, max).value_or(0)));
  d.set_text(kSamples, std::to_string(s.integer(setting::kSamples, 1, max).value_or(1)));
  d.set_tooltip(kSteps, steps_rule(plus));
  d.set_tooltip(kSamples, samples_rule());
  d.set_first_field(kSteps);
  d.set_callback(kOk, [this, plus](Dialog& dd, int) {
    if (plus)
      s_plus_ok(dd);
    else
      s_minus_ok(dd);
  });
  d.run();
}

void StepCommands::run(const StepRun& command) {
  UnitWindows& windows = program_.platform().windows();
  FrameControls& controls = program_.platform().controls();
  SharedState& state = program_.state();
  const bool plus = command.plus;
  const int32_t steps = command.steps;
  const int32_t samples = command.samples;
  program_.disable_commands();
  windows.focus(kTextUnit);
  controls.set_stop_available(true);
  TextWindowSink sink(windows);
  ProgressReport progress(controls, plus, steps, samples);
  int32_t S0, S_end, done = 0;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    S0 = state.hex.params.S;
  }
  std::exception_ptr failure;
  {
    // The GUI thread does not change the state while the menu is greyed, so
    // holding the lock for the whole run keeps nothing waiting. A stop keeps
    // the tiling one sample reached (itself a sample of the model at its S)
    // and brings an average's start back; so does a failure (memory that
    // could not be had after all), whatever the samples.
    std::lock_guard<std::mutex> lock(state.mutex);
    try {
      run_step_command(
          state.hex, plus, steps, samples, program_.rng(), sink, &program_.stop_command,
          [&](int32_t k, int32_t s, int32_t S) { progress(k, s, S); }, command.threads);
    } catch (...) {
      failure = std::current_exception();
    }
    S_end = state.hex.params.S;
    // A stopped average, or a failed command, brings back the start, which
    // stays what it was.
    if (!failure && !program_.stop_command.load())
      state.tiling_changed(samples);
    else if (!failure && S_end != S0)
      state.tiling_changed();
  }
  sink.finish();
  if (failure)
    program_.report_failure(failure, "the tiling from before the command (S=" +
                                         std::to_string(S0) + ") is kept.");
  done = S_end > S0 ? S_end - S0 : S0 - S_end;
  const bool stopped = program_.stop_command.load();
  controls.set_stop_available(false);
  controls.end_progress();
  if (stopped && !failure && !program_.stopping()) {
    if (samples == 1)
      program_.line("Stopped after " + std::to_string(done) + " of " + std::to_string(steps) +
                    " steps: the tiling reached at S=" + std::to_string(S_end) + " is kept.");
    else
      program_.line(
          "Stopped: an average needs all its samples, so the tiling from before the "
          "command (S=" +
          std::to_string(S0) + ") is kept.");
  }
  if (!stopped && !failure && samples > 1)
    program_.line("The tiling is now the average of " + std::to_string(samples) +
                  " samples (each height rounded toward zero).");
  program_.publish_state();
  if (!program_.stopping() && program_.platform().frame()->redraw_after_each_command())
    program_.draw_picture(kPictureUnit);
  program_.enable_commands();
  program_.write_report();
}

}  // namespace lozengia
