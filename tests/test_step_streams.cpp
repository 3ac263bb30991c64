// Runs of sweeps on their own streams from any configuration, and the step
// commands made of them: the same tilings as the reference sweeps made one
// after another on the same streams, whatever the thread count; a stop leaves
// a tiling; messages come in the order of the sweeps.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <tuple>
#include <vector>

#include "core/fast_sweep.h"
#include "core/params.h"
#include "core/reference_sweeps.h"
#include "core/step_command.h"
#include "support/models.h"
#include "support/samples.h"

namespace lozengia {
namespace {

// One model of each kind, entered as a user types it.
std::vector<ModelParams> some_models(int32_t N, int32_t T) {
  return testing::one_model_of_each_kind(N, T);
}

// `steps` reference sweeps from `paths` at S, sweep s on stream s of `seed`.
void reference_sweeps(int32_t N, int32_t T, int32_t S, const ModelParams& m, bool plus,
                      int32_t steps, int64_t seed, PathArray& paths, MessageSink& sink) {
  PathArray new_paths(N, T);
  for (int32_t s = 0; s < steps; ++s) {
    ParkMiller rng(stream_seed(seed, static_cast<uint64_t>(s)));
    if (plus)
      plain_sweep_plus(N, T, S + s, m, paths, new_paths, rng, sink);
    else
      plain_sweep_minus(N, T, S - s, m, paths, new_paths, rng, sink);
    paths.swap(new_paths);
  }
}

// Both directions, from the middle of the range, several models, 1 to 3
// threads, step counts that leave a short last batch (the batches hold 16).
TEST(SweepStreams, SameAsTheReferenceSweepsOneAfterAnother) {
  const int32_t N = 24, T = 70;
  for (const ModelParams& m : some_models(N, T)) {
    for (bool plus : {true, false}) {
      const int32_t S0 = plus ? 20 : 55;
      const PathArray start = testing::sample_at(N, T, S0, m, 99);
      for (int32_t steps : {1, 16, 37}) {
        PathArray expected = start;
        NullSink quiet;
        reference_sweeps(N, T, S0, m, plus, steps, 1234, expected, quiet);
        for (unsigned threads : {1u, 2u, 3u}) {
          PathArray paths = start;
          StreamSweeps how;
          how.plus = plus;
          how.steps = steps;
          how.seed = 1234;
          how.threads = threads;
          std::atomic<int64_t> done{0};
          how.sweeps_done = &done;
          const int32_t made = sweep_streams(HexagonParams{N, T, S0, m}, paths, how, quiet);
          EXPECT_EQ(made, steps);
          EXPECT_EQ(done.load(), steps);
          EXPECT_TRUE(paths == expected) << "kind " << m.kind << (plus ? " up " : " down ") << steps
                                         << " steps, " << threads << " threads";
        }
      }
    }
  }
  // No room left: nothing is made, the tiling is kept.
  const ModelParams hahn;
  PathArray full = testing::sample_at(4, 9, 9, hahn, 99), copy = full;
  StreamSweeps how;
  how.steps = 3;
  NullSink quiet;
  EXPECT_EQ(sweep_streams(HexagonParams{4, 9, 9, hahn}, full, how, quiet), 0);
  EXPECT_TRUE(full == copy);
  // More steps than room: only the room is used.
  how.plus = false;
  how.steps = 12;
  EXPECT_EQ(sweep_streams(HexagonParams{4, 9, 9, hahn}, full, how, quiet), 9);
  EXPECT_EQ(check_invariants(full, 4, 9, 0), "");
}

// Stops the run when a given sweep has finished; records the order of calls.
class StopAt final : public SweepObserver {
 public:
  StopAt(std::atomic<bool>& stop, int32_t at) : stop_(stop), at_(at) {}
  void line(int32_t, const std::string&) override {}
  void overflow_report(int32_t, const std::string&) override {}
  void finished(int32_t sweep) override {
    if (sweep != last_ + 1) in_order_ = false;
    last_ = sweep;
    if (sweep == at_) stop_.store(true);
  }
  bool in_order_ = true;
  int32_t last_ = -1;

 private:
  std::atomic<bool>& stop_;
  int32_t at_;
};

// A stop ends the run with the tiling of the sweeps made, which are the first
// ones, at S0 +- their number; set before the start, nothing is made.
TEST(SweepStreams, StopLeavesTheTilingOfTheSweepsMade) {
  const int32_t N = 30, T = 200;
  const ModelParams hahn;
  for (bool plus : {true, false}) {
    const int32_t S0 = plus ? 5 : 195;
    const PathArray start = testing::sample_at(N, T, S0, hahn, 99);
    for (unsigned threads : {1u, 2u, 3u}) {
      std::atomic<bool> stop{false};
      StopAt observer(stop, 20);
      PathArray paths = start;
      StreamSweeps how;
      how.plus = plus;
      how.steps = 150;
      how.seed = 8;
      how.threads = threads;
      how.stop = &stop;
      how.observer = &observer;
      NullSink quiet;
      const int32_t made = sweep_streams(HexagonParams{N, T, S0, hahn}, paths, how, quiet);
      EXPECT_GT(made, 20);
      EXPECT_LT(made, 150) << "the stop was not seen";
      EXPECT_TRUE(observer.in_order_);
      EXPECT_EQ(observer.last_, made - 1);
      const int32_t S = plus ? S0 + made : S0 - made;
      EXPECT_EQ(check_invariants(paths, N, T, S), "") << threads << " threads";
      PathArray expected = start;
      reference_sweeps(N, T, S0, hahn, plus, made, 8, expected, quiet);
      EXPECT_TRUE(paths == expected) << threads << " threads";

      PathArray untouched = start;
      EXPECT_EQ(sweep_streams(HexagonParams{N, T, S0, hahn}, untouched, how, quiet), 0);
      EXPECT_TRUE(untouched == start);
    }
  }
}

Hexagon hexagon_at(int32_t N, int32_t T, int32_t S, const ModelParams& m) {
  Hexagon hex;
  EXPECT_EQ(set_hexagon(hex, HexagonParams{N, T, S, m}), "");
  hex.paths = testing::sample_at(N, T, S, m, 99);
  return hex;
}

// The step command: run k's seed is the k-th draw of the program's generator,
// its sweeps the reference sweeps on that seed's streams; the average of the
// runs, the lines and the generator's state are the same for 1, 2 or 3
// threads (runs one after another or side by side). Small commands run on
// the calling thread, larger ones on threads of their own: both sizes.
TEST(StepStreams, CommandIsTheReferenceWhateverTheThreadCount) {
  for (auto [N, T, steps] : {std::tuple{10, 30, 9}, {40, 200, 37}}) {
    std::vector<ModelParams> models = some_models(N, T);
    if (N > 10) models = {models[0], models[3], models[5]};  // q-Racah, Racah, Hahn
    for (const ModelParams& m : models) {
      for (bool plus : {true, false}) {
        const int32_t S0 = plus ? T / 6 : T - T / 6;
        for (int32_t samples : {1, 2, 3}) {
          const Hexagon start = hexagon_at(N, T, S0, m);
          // The expected result, made one run and one sweep after another.
          ParkMiller program(777);
          std::vector<int64_t> sum(start.paths.size(), 0);
          NullSink quiet;
          for (int32_t k = 0; k < samples; ++k) {
            PathArray run = start.paths;
            reference_sweeps(N, T, S0, m, plus, steps, program.next_raw(), run, quiet);
            add_run(run, sum.data());
          }
          PathArray expected(N, T);
          average_runs(sum.data(), samples, expected);
          std::vector<std::string> lines;
          for (int32_t k = 1; k <= samples; ++k)
            for (int32_t s = 1; s <= steps; ++s)
              lines.push_back("Iteration " + std::to_string(k) +
                              " S=" + std::to_string(plus ? S0 + s : S0 - s));

          for (unsigned threads : {1u, 2u, 3u}) {
            Hexagon hex = start;
            RandomSource rng(777);
            CollectSink sink;
            run_step_command(hex, plus, steps, samples, rng, sink, nullptr, {}, threads);
            const std::string what = "kind " + std::to_string(m.kind) + (plus ? " up " : " down ") +
                                     std::to_string(samples) + " samples, " +
                                     std::to_string(threads) + " threads";
            EXPECT_EQ(hex.params.S, plus ? S0 + steps : S0 - steps) << what;
            EXPECT_TRUE(hex.paths == expected) << what;
            EXPECT_EQ(sink.lines, lines) << what;
            EXPECT_TRUE(hex.start_paths == start.paths) << what;
            // Exactly one draw per run was taken from the program's generator.
            uint32_t state = 0;
            rng.with_lock([&](ParkMiller& g) { state = g.state(); });
            EXPECT_EQ(state, program.state()) << what;
          }
        }
      }
    }
  }
}

// Parameters the dialog refuses, as a caller may still set them: S->S-1
// sweeps whose blocks report themselves. Each sweep's messages come before
// its "Iteration" line, sweeps and runs in order, as if made one after
// another, even with the runs side by side.
TEST(StepStreams, MessagesComeInTheOrderOfTheSteps) {
  const int32_t N = 60, T = 120, S0 = 60, steps = 40;
  ModelParams m;
  m.kind = kRacah;
  m.K = -20.25;
  Hexagon start = hexagon_at(N, T, S0, ModelParams{});
  start.params.model.kind = m.kind;
  start.params.model.K = m.K;
  for (int32_t samples : {1, 3}) {
    CollectSink expected;
    ParkMiller program(4242);
    for (int32_t k = 1; k <= samples; ++k) {
      PathArray run = start.paths, new_paths(N, T);
      const int64_t seed = program.next_raw();
      for (int32_t s = 0; s < steps; ++s) {
        ParkMiller rng(stream_seed(seed, static_cast<uint64_t>(s)));
        plain_sweep_minus(N, T, S0 - s, m, run, new_paths, rng, expected);
        run.swap(new_paths);
        expected.lines.push_back("Iteration " + std::to_string(k) +
                                 " S=" + std::to_string(S0 - s - 1));
      }
    }
    ASSERT_GT(expected.lines.size(), static_cast<std::size_t>(samples * steps) + 50)
        << "the parameters no longer make messages";
    for (unsigned threads : {1u, 2u, 3u}) {
      Hexagon hex = start;
      RandomSource rng(4242);
      CollectSink sink;
      run_step_command(hex, false, steps, samples, rng, sink, nullptr, {}, threads);
      EXPECT_EQ(sink.lines, expected.lines) << samples << " samples, " << threads << " threads";
      EXPECT_EQ(sink.reports, expected.reports);
    }
  }
}

// Sets the stop flag when it sees a given line (the lines come on the calling
// thread while the sweeps run).
class StopOnLine final : public MessageSink {
 public:
  StopOnLine(std::atomic<bool>& stop, std::string at) : stop_(stop), at_(std::move(at)) {}
  void line(const std::string& text) override {
    lines.push_back(text);
    if (text == at_) stop_.store(true);
  }
  std::vector<std::string> lines;

 private:
  std::atomic<bool>& stop_;
  std::string at_;
};

// A stop in the middle of a command keeps the tiling one sample reached (a
// sample at its own S) and restores the start of an average; the lines shown
// are the first ones, in order.
TEST(StepStreams, StopKeepsOneSamplesTilingAndRestoresAnAveragesStart) {
  // Long enough that the stop comes long before the end, however the threads
  // are scheduled.
  const int32_t N = 60, T = 3000, S0 = 20, steps = 2900;
  for (int32_t samples : {1, 4}) {
    for (unsigned threads : {1u, 2u}) {
      const Hexagon start = hexagon_at(N, T, S0, ModelParams{});
      Hexagon hex = start;
      RandomSource rng(3);
      std::atomic<bool> stop{false};
      StopOnLine sink(stop, "Iteration 1 S=30");
      std::vector<std::string> told;  // what the progress callback heard
      run_step_command(
          hex, true, steps, samples, rng, sink, &stop,
          [&](int32_t k, int32_t step, int32_t S) {
            told.push_back("Iteration " + std::to_string(k) + " S=" + std::to_string(S));
            EXPECT_EQ(S, S0 + step);
          },
          threads);
      EXPECT_EQ(told, sink.lines) << "progress is told after every line, in order";
      ASSERT_GE(sink.lines.size(), 10u);
      if (samples == 1) {
        EXPECT_EQ(hex.params.S, S0 + static_cast<int32_t>(sink.lines.size()));
        EXPECT_EQ(check_invariants(hex.paths, N, T, hex.params.S), "");
      } else {
        EXPECT_EQ(hex.params.S, S0);
        EXPECT_TRUE(hex.paths == start.paths);
      }
      const int32_t S_stopped = hex.params.S;
      EXPECT_LT(sink.lines.size(), static_cast<std::size_t>(steps)) << "not stopped";
      for (std::size_t i = 0; i < sink.lines.size(); ++i)
        EXPECT_EQ(sink.lines[i], "Iteration 1 S=" + std::to_string(S0 + 1 + i));
      // The next command runs normally.
      stop.store(false);
      run_step_command(hex, true, 5, 1, rng, sink, &stop, {}, threads);
      EXPECT_EQ(hex.params.S, S_stopped + 5);
      EXPECT_EQ(check_invariants(hex.paths, N, T, S_stopped + 5), "");
    }
  }
}

}  // namespace
}  // namespace lozengia
