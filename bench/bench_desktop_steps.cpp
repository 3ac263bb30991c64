// The desktop program's step command against lozengia-cli's exact sample, on
// the same hexagon: 1000 S->S+1 steps of N = 1000, T = 2000 from S = 0.
//
//   build/bench/lozengia_bench_desktop
//
// Both run on every core. The two are alternated (A B B A A B ...) so that
// drift of the machine's speed falls on both alike; the ratio of the medians
// is printed at the end as "step command / exact sample".
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench_common.h"
#include "core/fast_sweep.h"
#include "core/hexagon.h"
#include "core/step_command.h"

using namespace lozengia;

namespace {

constexpr int32_t kN = 1000, kT = 2000, kSteps = 1000;
constexpr int kRounds = 4;

std::vector<double> g_command, g_sample;

double seconds(benchmark::State& state, double total) {
  return total / static_cast<double>(state.iterations());
}

// Through the program's own code path: the command on the program's state,
// from the start-up configuration at S = 0, lines to a sink that drops them.
void StepCommand(benchmark::State& state) {
  Hexagon hex;
  if (!set_hexagon(hex, HexagonParams{kN, kT, 0, {}}).empty()) std::abort();
  double total = 0;
  for (auto _ : state) {
    const double t = bench::time_step_command(hex, kSteps, 2024);
    state.SetIterationTime(t);
    total += t;
    benchmark::DoNotOptimize(hex.paths.data());
  }
  g_command.push_back(seconds(state, total));
}

// The same sample: the command's run takes the first draw of its generator
// as the seed of its streams.
void ExactSample(benchmark::State& state) {
  const int64_t seed = ParkMiller(2024).next_raw();
  PathArray paths(kN, kT);
  NullSink sink;
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    exact_sample_streams(HexagonParams{kN, kT, kSteps, {}}, paths, seed, 0, sink);
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    benchmark::DoNotOptimize(paths.data());
  }
  g_sample.push_back(seconds(state, total));
}

// Averaged runs: 2 samples of 200 steps by the command (side by side, one run
// per core) against the same two runs one after another, each on every core.
void AveragedSideBySide(benchmark::State& state) {
  Hexagon hex;
  if (!set_hexagon(hex, HexagonParams{kN, kT, 0, {}}).empty()) std::abort();
  RandomSource rng(2024);
  NullSink sink;
  for (auto _ : state) {
    state.PauseTiming();
    minimal_paths(kN, kT, 0, hex.paths);
    hex.params.S = 0;
    state.ResumeTiming();
    run_step_command(hex, true, 200, 2, rng, sink, nullptr, {}, 2);
    benchmark::DoNotOptimize(hex.paths.data());
  }
}

void TwoRunsOneAfterAnother(benchmark::State& state) {
  PathArray paths(kN, kT);
  NullSink sink;
  for (auto _ : state) {
    for (int64_t seed : {1, 2})
      exact_sample_streams(HexagonParams{kN, kT, 200, {}}, paths, seed, 2, sink);
    benchmark::DoNotOptimize(paths.data());
  }
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  // A B B A A B ...: a drift of the machine's speed over the run falls on
  // both alike.
  for (int r = 0; r < kRounds; ++r) {
    for (int which : {r % 2, 1 - r % 2}) {
      if (which == 0)
        benchmark::RegisterBenchmark("StepCommand/N1000/steps1000", StepCommand)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->UseManualTime();
      else
        benchmark::RegisterBenchmark("ExactSampleStreams/N1000/S1000", ExactSample)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->UseRealTime();
    }
  }
  for (int r = 0; r < kRounds; ++r) {
    benchmark::RegisterBenchmark("AveragedTwoRuns/SideBySide", AveragedSideBySide)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->UseRealTime();
    benchmark::RegisterBenchmark("AveragedTwoRuns/OneAfterAnother", TwoRunsOneAfterAnother)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!g_command.empty() && !g_sample.empty())
    std::printf("step command / exact sample (medians of %zu and %zu): %.3f\n", g_command.size(),
                g_sample.size(), median(g_command) / median(g_sample));
  return 0;
}
