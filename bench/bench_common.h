// What the speed benchmarks share: timing, a temporary folder for the files
// they write, the desktop program's step command timed from S = 0, and the
// peak memory of a run in a process of its own.
#pragma once

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/hexagon.h"
#include "core/message_sink.h"
#include "core/random.h"
#include "core/step_command.h"

namespace lozengia::bench {

inline double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// A fresh folder under $TMPDIR (or /tmp), removed with its files at the end,
// so that a benchmark's pictures never land among the user's files.
class TempFolder {
 public:
  TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern =
        std::string(dir != nullptr && *dir ? dir : "/tmp") + "/lozengia_bench_XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  bool ok() const { return !path_.empty(); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The desktop program's own path for `steps` S->S+1 steps from S = 0: the
// step command on the program's state, its generator seeded with `seed`, its
// lines to a sink that drops them. Returns the seconds of the command alone.
inline double time_step_command(Hexagon& hex, int32_t steps, int64_t seed) {
  RandomSource rng(seed);
  minimal_paths(hex.params.N, hex.params.T, 0, hex.paths);
  hex.params.S = 0;
  NullSink sink;
  const auto t0 = std::chrono::steady_clock::now();
  run_step_command(hex, true, steps, 1, rng, sink);
  return seconds_since(t0);
}

// Runs this program again as `name flag` (the benchmark's child mode) in a
// fresh process, so that nothing the other benchmarks allocated counts, once
// per iteration; returns the largest resident memory of the children in MiB.
inline double child_peak_mib(benchmark::State& state, const char* name, const char* flag) {
  for (auto _ : state) {
    const pid_t pid = fork();
    if (pid == 0) {
      execl("/proc/self/exe", name, flag, static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("child failed");
  }
  rusage ru{};
  getrusage(RUSAGE_CHILDREN, &ru);
  return ru.ru_maxrss / 1024.0;
}

}  // namespace lozengia::bench
