// Speed of the sampling core.
//
//   build/bench/lozengia_bench
//
// Sweeps are reported in ns per lattice cell (N*(T+1)) and as a ratio to the
// memory floor: copying the path array, which any sweep must read and write.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "bench_common.h"
#include "core/fast_sweep.h"
#include "core/operators.h"
#include "core/params.h"
#include "core/reference_sweeps.h"

using namespace lozengia;

namespace {

constexpr int32_t kN = 500, kT = 1000, kS = 500;

// GCC 12 at -O3 reports a false -Wrestrict inside std::string's assignment
// from a literal (GCC bug 105329); the assignments below are plain.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
ModelParams model_of(ModelKind kind) {
  const double pi = 3.141592653589793;
  NewHexagonInput in{kind, std::to_string(kN), std::to_string(kT), "0", "", "", "", "", ""};
  switch (kind) {
    case kImaginaryQRacah:
      in.q = "0.995";
      in.kappa = "2";
      break;
    case kRealQRacah:
      in.q = "1.005";
      in.logq_or_K = "520";
      break;
    case kTrigonometric: {
      const double a = 0.8 * pi / (kN + kT / 2.0);
      in.alpha = format_real(a);
      in.beta = format_real(a * kT / 2 + 0.1 * pi);
      break;
    }
    case kRacah:
      in.logq_or_K = "700";
      break;
    case kQHahn:
      in.q = "0.995";
      break;
    default:
      break;
  }
  const NewHexagonResult r = check_new_hexagon(in);
  if (!r.ok) std::abort();
  return r.params.model;
}
#pragma GCC diagnostic pop

// An exact sample at S = T/2 of each model, made once.
const PathArray& typical(ModelKind kind) {
  static std::map<int32_t, PathArray> cache;
  auto it = cache.find(kind);
  if (it != cache.end()) return it->second;
  PathArray p(kN, kT);
  ParkMiller rng(12345);
  NullSink sink;
  exact_sample(HexagonParams{kN, kT, kS, model_of(kind)}, p, rng, sink);
  return cache.emplace(kind, std::move(p)).first->second;
}

// ns per cell of copying the array: the floor every sweep is compared with.
double floor_ns_per_cell() {
  static double ns = [] {
    PathArray a(kN, kT), b(kN, kT);
    minimal_paths(kN, kT, kS, a);
    double best = 1e30;
    for (int rep = 0; rep < 50; ++rep) {
      const auto t0 = std::chrono::steady_clock::now();
      std::copy(a.data(), a.data() + a.size(), b.data());
      benchmark::DoNotOptimize(b.data());
      benchmark::ClobberMemory();
      const auto t1 = std::chrono::steady_clock::now();
      best = std::min(best, std::chrono::duration<double, std::nano>(t1 - t0).count());
    }
    return best / static_cast<double>(a.size());
  }();
  return ns;
}

void report(benchmark::State& state, double seconds, std::size_t cells) {
  const double ns = seconds * 1e9 / static_cast<double>(state.iterations()) / cells;
  state.counters["ns_per_cell"] = ns;
  state.counters["x_floor"] = ns / floor_ns_per_cell();
}

void BM_MemoryFloor(benchmark::State& state) {
  PathArray a(kN, kT), b(kN, kT);
  minimal_paths(kN, kT, kS, a);
  double secs = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    std::copy(a.data(), a.data() + a.size(), b.data());
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
    secs += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  report(state, secs, a.size());
}
BENCHMARK(BM_MemoryFloor)->Unit(benchmark::kMicrosecond);

// One sweep from the same typical sample, again and again.
void BM_Sweep(benchmark::State& state) {
  const ModelKind kind = static_cast<ModelKind>(state.range(0));
  const bool plus = state.range(1) == 1;
  const ModelParams m = model_of(kind);
  const PathArray& old = typical(kind);
  PathArray new_paths(kN, kT);
  ParkMiller rng(99);
  NullSink sink;
  double secs = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    if (plus)
      operator_sweep_plus(HexagonParams{kN, kT, kS, m}, old, new_paths, rng, sink);
    else
      operator_sweep_minus(HexagonParams{kN, kT, kS, m}, old, new_paths, rng, sink);
    benchmark::DoNotOptimize(new_paths.data());
    secs += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  state.SetLabel(std::string(kModelNames[kind]) + (plus ? " S->S+1" : " S->S-1"));
  report(state, secs, old.size());
}
BENCHMARK(BM_Sweep)->ArgsProduct({{6, 5, 4, 3, 2, 1}, {1, 0}})->Unit(benchmark::kMillisecond);

// An exact uniform sample of the n x n x n hexagon from S = 0.
void BM_ExactUniform(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  const unsigned threads = static_cast<unsigned>(state.range(1));
  const HexagonParams p{n, 2 * n, n, ModelParams{}};
  PathArray paths(n, 2 * n);
  NullSink sink;
  for (auto _ : state) {
    exact_sample_streams(p, paths, 2024, threads, sink);
    benchmark::DoNotOptimize(paths.data());
  }
  state.SetLabel(std::to_string(threads) + " thread(s)");
}
BENCHMARK(BM_ExactUniform)
    ->ArgsProduct({{250, 500, 1000}, {1, 0}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same on each vector path, every core: the widest path allowed is the
// second argument (8: AVX-512, 4: AVX2, 1: plain); the label says which ran.
// Every path draws the same sample.
void BM_ExactUniformLanes(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  const int lanes = fast_sweep_lanes(static_cast<int>(state.range(1)));
  const HexagonParams p{n, 2 * n, n, ModelParams{}};
  PathArray paths(n, 2 * n);
  NullSink sink;
  for (auto _ : state) {
    exact_sample_streams(p, paths, 2024, 0, sink);
    benchmark::DoNotOptimize(paths.data());
  }
  fast_sweep_lanes(8);
  state.SetLabel(std::to_string(lanes) + " lane(s)");
}
BENCHMARK(BM_ExactUniformLanes)
    ->ArgsProduct({{500, 1000}, {8, 4, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One Hahn sweep from the typical sample on each vector path.
void BM_HahnSweepLanes(benchmark::State& state) {
  const bool plus = state.range(0) == 1;
  const int lanes = fast_sweep_lanes(static_cast<int>(state.range(1)));
  const ModelParams m = model_of(kHahn);
  const PathArray& old = typical(kHahn);
  PathArray new_paths(kN, kT);
  ParkMiller rng(99);
  NullSink sink;
  for (auto _ : state) {
    if (plus)
      operator_sweep_plus(HexagonParams{kN, kT, kS, m}, old, new_paths, rng, sink);
    else
      operator_sweep_minus(HexagonParams{kN, kT, kS, m}, old, new_paths, rng, sink);
    benchmark::DoNotOptimize(new_paths.data());
  }
  fast_sweep_lanes(8);
  state.SetLabel(std::string(plus ? "S->S+1, " : "S->S-1, ") + std::to_string(lanes) + " lane(s)");
}
BENCHMARK(BM_HahnSweepLanes)->ArgsProduct({{1, 0}, {8, 4, 1}})->Unit(benchmark::kMillisecond);

// Peak memory of the n = 1000 sample, measured in a fresh process (this
// program started again with --peak-child) so that nothing the other
// benchmarks allocated counts.
constexpr const char* kPeakChild = "--peak-child";

void BM_PeakMemoryUniform1000(benchmark::State& state) {
  const double peak = bench::child_peak_mib(state, "lozengia_bench", kPeakChild);
  const double array_mib = 1000.0 * 2001 * 4 / (1 << 20);
  state.counters["peak_MiB"] = peak;
  state.counters["path_array_MiB"] = array_mib;
  state.counters["peak_in_arrays"] = peak / array_mib;
}
BENCHMARK(BM_PeakMemoryUniform1000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == kPeakChild) {
    const HexagonParams p{1000, 2000, 1000, ModelParams{}};
    PathArray paths(1000, 2000);
    NullSink sink;
    exact_sample_streams(p, paths, 2024, 0, sink);
    return check_invariants(paths, 1000, 2000, 1000).empty() ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
