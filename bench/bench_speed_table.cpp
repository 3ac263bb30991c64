// The speed table of docs/performance.md in one run: the exact uniform n = 1000 sample as
// lozengia-cli makes it (N = 1000, T = 2000, S = 1000, seed 1, every core),
// and next to it what a user waits for at that size: the PNG picture in each
// style at 2000 pixels, the style 1 SVG, the desktop program's 1000 S->S+1
// steps from S = 0, and the whole lozengia-cli run with its export. The
// sample is measured again between any two of the others (A B A C A ...), so
// that a drift of the machine's speed shows in the sample's own times, and
// each other time is taken against the samples on either side of it.
//
//   build-release/bench/lozengia_bench_table --rounds=5
//       --benchmark_out=table.json --benchmark_out_format=json   (one line)
//   /usr/bin/python3 bench/speed_table.py table.json
//
// or both at once: /usr/bin/python3 bench/speed_table.py --run build-release.
// The counter x_sample is each time over the sample measured just before it.
//
// Every output goes through the tool's own calls: its options read by
// parse_cli from the command line the README gives, its workers from
// plan_run, its pictures written by RunOutputs into a temporary folder.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench_common.h"
#include "cli/cli_options.h"
#include "cli/run_outputs.h"
#include "cli/run_plan.h"
#include "cli/runner.h"
#include "core/fast_sweep.h"
#include "core/random.h"

using namespace lozengia;
using lozengia::bench::seconds_since;

namespace {

constexpr int32_t kSteps = 1000;
constexpr const char* kRoundsFlag = "--rounds=";

bench::TempFolder& folder() {
  static bench::TempFolder dir;
  return dir;
}

// `lozengia-cli -N 1000 -T 2000 -S 1000 --seed 1` followed by `extra`, read as
// the tool reads it.
CliOptions cli(const std::vector<std::string>& extra) {
  std::vector<std::string> args{"lozengia-cli", "-N",   "1000",   "-T", "2000",
                                "-S",           "1000", "--seed", "1"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  CliOptions o;
  std::ostringstream out, err;
  if (parse_cli(static_cast<int>(argv.size()), argv.data(), out, err, o) != CliParse::kRun) {
    std::fprintf(stderr, "options refused: %s\n", err.str().c_str());
    std::abort();
  }
  return o;
}

PathArray g_sample;             // the last sample, which the pictures show
double g_sample_seconds = 0.0;  // and its time

void set_time(benchmark::State& state, double seconds) {
  state.SetIterationTime(seconds);
  if (g_sample_seconds > 0.0) state.counters["x_sample"] = seconds / g_sample_seconds;
}

double file_mb(const std::string& path) {
  std::error_code ec;
  const auto bytes = std::filesystem::file_size(path, ec);
  return ec ? 0.0 : static_cast<double>(bytes) / 1e6;
}

// The sampling of a one-sample run: its single run is shared by all the
// tool's workers, consecutive sweeps at once, from the run's own stream.
void Sample(benchmark::State& state) {
  const CliOptions o = cli({"--export", folder().file("u.txt")});
  const RunPlan plan = plan_run(o);
  PathArray paths(o.params.N, o.params.T);
  NullSink sink;
  std::atomic<int64_t> sweeps_done{0};
  double t = 0.0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    exact_sample_streams(o.params, paths, stream_seed(o.seed, 0), plan.threads, sink, &sweeps_done);
    t = seconds_since(t0);
    state.SetIterationTime(t);
  }
  g_sample = std::move(paths);
  g_sample_seconds = t;
  state.counters["threads"] = plan.threads;
}

// One picture of the sample, as the tool writes it for `extra`.
void Picture(benchmark::State& state, const std::vector<std::string>& extra,
             const std::string& file) {
  const CliOptions o = cli(extra);
  RunOutputs outputs(o);
  std::string failed =
      g_sample.size() == 0 ? "no sample to draw: run Sample first" : outputs.open();
  if (failed.empty()) failed = outputs.svg_refusal();
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    if (failed.empty()) failed = outputs.add(0, g_sample);
    set_time(state, seconds_since(t0));
  }
  if (!failed.empty()) state.SkipWithError(failed.c_str());
  state.counters["file_MB"] = file_mb(file);
  std::filesystem::remove(file);
}

void Png(benchmark::State& state, int style) {
  const std::string file = folder().file("p.png");
  Picture(state, {"--png", file, "--style", std::to_string(style), "--size", "2000"}, file);
}

void Svg(benchmark::State& state) {
  const std::string file = folder().file("p.svg");
  Picture(state, {"--svg", file, "--style", "1", "--size", "2000"}, file);
}

// The same hexagon grown by the desktop program's step command.
void DesktopSteps(benchmark::State& state) {
  Hexagon hex;
  if (!set_hexagon(hex, HexagonParams{1000, 2000, 0, {}}).empty()) std::abort();
  for (auto _ : state) set_time(state, bench::time_step_command(hex, kSteps, 1));
}

// The whole tool: options to exit status, the export written to a file.
void CliExport(benchmark::State& state) {
  const std::string file = folder().file("u.txt");
  const CliOptions o = cli({"--export", file});
  std::ostringstream err;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    if (run_options(o, err) != 0) state.SkipWithError(err.str().c_str());
    set_time(state, seconds_since(t0));
  }
  state.counters["file_MB"] = file_mb(file);
  std::filesystem::remove(file);
}

void add(const std::string& name, int round, void (*fn)(benchmark::State&)) {
  benchmark::RegisterBenchmark((name + "/round:" + std::to_string(round)).c_str(), fn)
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 1;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind(kRoundsFlag, 0) == 0)
      rounds = std::max(1, std::atoi(a.c_str() + std::string(kRoundsFlag).size()));
    else
      args.push_back(argv[i]);
  }
  if (!folder().ok()) {
    std::fprintf(stderr, "no temporary folder\n");
    return 1;
  }
  using Fn = void (*)(benchmark::State&);
  const std::vector<std::pair<std::string, Fn>> others{
      {"Png/style:1", [](benchmark::State& s) { Png(s, 1); }},
      {"Png/style:2", [](benchmark::State& s) { Png(s, 2); }},
      {"Png/style:3", [](benchmark::State& s) { Png(s, 3); }},
      {"Png/style:4", [](benchmark::State& s) { Png(s, 4); }},
      {"Png/style:5", [](benchmark::State& s) { Png(s, 5); }},
      {"Svg/style:1", Svg},
      {"DesktopSteps", DesktopSteps},
      {"CliExport", CliExport},
  };
  for (int r = 1; r <= rounds; ++r) {
    add("Sample", r, Sample);
    for (const auto& [name, fn] : others) {
      add(name, r, fn);
      add("Sample", r, Sample);
    }
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
