// The step commands: `steps` applications of one operator, repeated for
// `samples` runs from the same start, the results averaged.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "core/hexagon.h"
#include "core/memory_need.h"
#include "core/message_sink.h"
#include "core/random.h"

namespace lozengia {

// Checks of the step dialogs: steps >= 1 and S+steps <= T (S-steps >= 0 going
// down), samples >= 1. The fields are the typed texts.
struct StepFields {
  bool ok = false;
  int32_t steps = 0, samples = 0;  // when ok
  // When refused: the field and its rule, with the bound that applies now
  // ("Number of steps: an integer from 1 to S; at most 40 steps: S is 40").
  std::string rule;
};
StepFields read_step_fields(const std::string& steps_text, const std::string& samples_text,
                            int32_t S, int32_t T, bool plus);
bool check_step_fields(const std::string& steps_text, const std::string& samples_text, int32_t S,
                       int32_t T, bool plus, int32_t& steps, int32_t& samples);
// The rules of the two fields, as the dialogs' tooltips give them.
std::string steps_rule(bool plus);
std::string samples_rule();

// Runs the command on `hex`, writing "Iteration k S=s" after every step. With
// one sample the result is the run's configuration; with several, `paths`
// becomes the element-wise average, rounded toward zero. S ends at S0 +- steps
// (steps past the hexagon's ends are not made).
//
// Each run takes its seed from `rng`, one draw per run in run order, and its
// sweep s draws from its own stream ParkMiller(stream_seed(run seed, s)); the
// sweeps run at once on `threads` threads (0: every core), and several runs
// side by side when there are enough of them. The result and the messages
// depend on `rng` only, never on the thread count. Every message goes to
// `sink` from the calling thread, in the order of the runs and their steps;
// when fewer threads could be started than asked, one line says so (the
// command runs on those). A run whose memory cannot be had throws
// std::bad_alloc here, as does any failure, with the hexagon back at its
// start (its tiling and S).
// `stop` (optional) ends the command early: no new sweeps start and those
// under way finish. One sample keeps the tiling it reached, itself a sample of
// the model at its S (hex.params.S says which); several restore the start
// configuration, so the state is never half-averaged.
// `progress` (optional) is called on the calling thread after every step
// with the sample and the step just done (both counted from 1) and the new S.
using StepProgress = std::function<void(int32_t sample, int32_t step, int32_t S)>;
void run_step_command(Hexagon& hex, bool plus, int32_t steps, int32_t samples, RandomSource& rng,
                      MessageSink& sink, const std::atomic<bool>* stop = nullptr,
                      const StepProgress& progress = {}, unsigned threads = 0);

// What run_step_command allocates besides the hexagon's four arrays and its
// model's tables (counted when the hexagon was made: hexagon_need): the
// 64-bit sum of an average whose sum could pass 2^31, the arrays of runs made
// side by side, every run's sweeps, and the threads it starts.
MemoryNeed step_command_need(const HexagonParams& p, bool plus, int32_t steps, int32_t samples,
                             unsigned threads = 0);

// The averaging of runs, shared by the step commands and lozengia-cli: each
// run's paths are added element by element to a sum (`sum` has one entry per
// entry of the paths), then the sum is divided by the number of runs,
// truncating toward zero as integer division does.
void add_run(const PathArray& run, int32_t* sum);
void add_run(const PathArray& run, int64_t* sum);
void average_runs(const int32_t* sum, int64_t runs, PathArray& out);
void average_runs(const int64_t* sum, int64_t runs, PathArray& out);

}  // namespace lozengia
