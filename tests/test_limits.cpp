// Runs that cannot have every thread they ask for: the system refuses more (a
// process limit for the user, an address space too small for more stacks).
// The work must run on the threads that did start, give the same bytes and
// say so in one line; work that cannot run at all must end in a clear error
// with the user's file as it was. Each limit is set in a child process.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "core/fast_sweep.h"
#include "core/hexagon.h"
#include "core/step_command.h"
#include "core/worker_threads.h"
#include "render/bands.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace lozengia {
namespace {

using testing::in_child;
using testing::read_file;

// What a run made, as bytes, and the lines it told.
struct Outcome {
  std::string bytes;
  std::vector<std::string> lines;
};

std::string bytes_of(const PathArray& p) {
  return std::string(reinterpret_cast<const char*>(p.data()), p.size() * sizeof(int32_t));
}

bool is_shortfall_line(const std::string& l) {
  return l.rfind("Only ", 0) == 0 && l.find(" threads could be started") != std::string::npos;
}

// Runs `body` in a child process; an exception (which would otherwise run
// the remaining tests in the child) is status 99.
int in_own_child(const std::function<int()>& body) {
  return in_child([&] {
    try {
      return body();
    } catch (...) {
      return 99;
    }
  });
}

// Runs `body` in a child as an unprivileged user allowed `processes`
// processes in all: a thread start fails once the user has that many.
int with_process_limit(rlim_t processes, const std::function<int()>& body) {
  return in_own_child([&] {
    if (!testing::become_unprivileged()) return 90;
    const struct rlimit lim { processes, processes };
    if (::setrlimit(RLIMIT_NPROC, &lim) != 0) return 91;
    return body();
  });
}

Hexagon hexagon(int32_t N, int32_t T, int32_t S) {
  Hexagon hex;
  EXPECT_EQ(set_hexagon(hex, HexagonParams{N, T, S, ModelParams{}}), "");
  return hex;
}

Outcome wavefront(unsigned threads) {
  const HexagonParams p{40, 200, 0, ModelParams{}};
  PathArray paths(p.N, p.T);
  minimal_paths(p.N, p.T, 0, paths);
  ThreadShortfall shortfall;
  StreamSweeps how;
  how.steps = 100;
  how.seed = 99;
  how.threads = threads;
  how.shortfall = &shortfall;
  NullSink quiet;
  Outcome o;
  o.bytes = std::to_string(sweep_streams(p, paths, how, quiet)) + bytes_of(paths);
  if (std::string l = shortfall.take_line(); !l.empty()) o.lines.push_back(l);
  return o;
}

Outcome step_command(unsigned threads, int32_t samples) {
  Hexagon hex = hexagon(40, 200, 20);
  RandomSource rng(4242);
  CollectSink sink;
  run_step_command(hex, true, 37, samples, rng, sink, nullptr, {}, threads);
  return {std::to_string(hex.params.S) + bytes_of(hex.paths), sink.lines};
}

Outcome cli(unsigned threads, const std::string& count) {
  const testing::TempDir dir("lozengia-limits", 0777);
  const std::string file = (dir / "pp.txt").string();
  const std::string t = std::to_string(threads);
  const char* argv[] = {"lozengia-cli", "-N",       "30",          "-T",     "60", "-S",
                        "30",           "--count",  count.c_str(), "--seed", "7",  "--threads",
                        t.c_str(),      "--export", file.c_str()};
  std::ostringstream out, err;
  const int rc = run_cli(static_cast<int>(std::size(argv)), argv, out, err);
  Outcome o{std::to_string(rc) + read_file(file), {}};
  std::istringstream lines(err.str());
  for (std::string l; std::getline(lines, l);) o.lines.push_back(l);
  return o;
}

// Bands never tell: the picture is the same, only made a little later.
Outcome bands(unsigned threads) {
  std::vector<std::atomic<int>> runs(threads);
  run_bands(static_cast<int>(threads), [&](int k) { runs[static_cast<std::size_t>(k)]++; });
  const bool each_once = std::all_of(runs.begin(), runs.end(), [](auto& r) { return r == 1; });
  return {each_once ? "every band once" : "a band missed or made twice", {}};
}

// Every way the program spreads work over threads, with a limit that lets no
// thread start (1 process: the child itself) and one that lets a few start.
// The outcome must be that of one thread, with one more line telling the
// shortfall where the run tells.
TEST(ThreadLimits, WorkRunsOnTheThreadsThatStartWithTheSameBytes) {
  const struct {
    const char* what;
    unsigned threads;
    bool tells;
    std::function<Outcome(unsigned)> run;
  } cases[] = {
      {"wavefront", 8, true, wavefront},
      {"step command, runs side by side", 4, true, [](unsigned t) { return step_command(t, 6); }},
      {"step command, one run on every thread", 4, true,
       [](unsigned t) { return step_command(t, 1); }},
      {"lozengia-cli, a run per thread", 8, true, [](unsigned t) { return cli(t, "24"); }},
      {"lozengia-cli, threads sharing each run", 8, true, [](unsigned t) { return cli(t, "2"); }},
      {"picture bands", 6, false, bands},
  };
  for (const auto& c : cases) {
    const Outcome expected = c.run(1);
    for (rlim_t processes : {rlim_t{1}, rlim_t{3}}) {
      const int status = with_process_limit(processes, [&] {
        Outcome got = c.run(c.threads);
        if (got.bytes != expected.bytes) return 1;
        const auto told = std::count_if(got.lines.begin(), got.lines.end(), is_shortfall_line);
        if (told != (c.tells ? 1 : 0)) return 2;
        got.lines.erase(std::remove_if(got.lines.begin(), got.lines.end(), is_shortfall_line),
                        got.lines.end());
        return got.lines == expected.lines ? 0 : 3;
      });
      EXPECT_EQ(status, 0) << c.what << ", " << processes
                           << " processes (1: other bytes, 2: not one line told, 3: other lines, "
                              "99: an exception, 106: aborted)";
    }
  }
}

// An address space too small for the threads and the arrays: lozengia-cli
// ends with a message and its status, the old file exactly as it was and no
// temporary file left.
TEST(ThreadLimits, NoMemoryForTheWorkEndsClearlyWithTheFileKept) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's allocator ends the process when memory runs out, "
                  "instead of throwing std::bad_alloc";
#endif
  const testing::TempDir dir("lozengia-limits");
  const std::string file = (dir / "pp.txt").string();
  testing::write_file(file, "the old export\n");
  const int status = in_own_child([&] {
    // What the process maps now, and 48 MiB more: the arrays of a hexagon
    // with N = 3000 (70 MiB each) cannot be had.
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    const rlim_t bytes = static_cast<rlim_t>(pages) * 4096 + (48u << 20);
    const struct rlimit lim { bytes, bytes };
    if (::setrlimit(RLIMIT_AS, &lim) != 0) return 91;
    const char* argv[] = {"lozengia-cli", "-N", "3000",   "-T", "6000",     "-S",        "3000",
                          "--threads",    "64", "--seed", "1",  "--export", file.c_str()};
    std::ostringstream out, err;
    const int rc = run_cli(static_cast<int>(std::size(argv)), argv, out, err);
    if (err.str().find("memory") == std::string::npos) return 3;
    return rc;
  });
  // 1: the run failed for memory; 2: refused before it began.
  EXPECT_TRUE(status == 1 || status == 2) << status;
  EXPECT_EQ(read_file(file), "the old export\n");
  EXPECT_EQ(dir.entries(), 1u);
}

// A band without memory for its buffers must not end the process from its
// thread: the failure reaches the caller once every other band is done.
TEST(ThreadLimits, ABandThatFailsIsThrownOnTheCallingThread) {
  for (const int failing : {0, 2}) {
    std::vector<std::atomic<int>> runs(4);
    EXPECT_THROW(run_bands(4,
                           [&](int k) {
                             runs[static_cast<std::size_t>(k)]++;
                             if (k == failing) throw std::bad_alloc();
                           }),
                 std::bad_alloc)
        << "band " << failing;
    for (auto& r : runs) EXPECT_EQ(r.load(), 1) << "band " << failing;
  }
}

}  // namespace
}  // namespace lozengia
