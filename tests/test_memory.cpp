// The memory counts that every front-end checks before a run, held against
// what the work really allocates: this executable counts every allocation
// made through operator new (the live bytes and their peak), so a table or
// buffer added without its count shows as a peak above the count. The
// counts may be a little above the peak (a buffer sized for the worst case),
// never below it, and never far above it.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_plan.h"
#include "cli/runner.h"
#include "core/fast_sweep.h"
#include "core/memory_limit.h"
#include "core/plane_partition.h"
#include "core/pp_text.h"
#include "core/step_command.h"
#include "render/pp_writer.h"
#include "support/temp_dir.h"

namespace {

std::atomic<uint64_t> g_live{0}, g_peak{0};

void* counted(std::size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  const uint64_t live = g_live.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
  uint64_t peak = g_peak.load();
  while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
  }
  return p;
}

void uncounted(void* p) noexcept {
  if (p == nullptr) return;
  g_live.fetch_sub(malloc_usable_size(p));
  std::free(p);
}

}  // namespace

void* operator new(std::size_t n) { return counted(n); }
void* operator new[](std::size_t n) { return counted(n); }
void operator delete(void* p) noexcept { uncounted(p); }
void operator delete[](void* p) noexcept { uncounted(p); }
void operator delete(void* p, std::size_t) noexcept { uncounted(p); }
void operator delete[](void* p, std::size_t) noexcept { uncounted(p); }

namespace lozengia {
namespace {

// The most the work of `body` had allocated at once, beyond what was live
// before it.
template <class Body>
uint64_t peak_of(const Body& body) {
  const uint64_t before = g_live.load();
  g_peak.store(before);
  body();
  return g_peak.load() - before;
}

// A count holds the peak, give or take the small change a count leaves out
// (a thread's state, a message's text, the allocator's rounding of each
// large buffer to whole pages), and is not a wild guess above it.
::testing::AssertionResult counts(uint64_t counted_bytes, uint64_t peak) {
  constexpr uint64_t kSmall = 256 << 10;
  if (counted_bytes + kSmall < peak)
    return ::testing::AssertionFailure() << "counted " << counted_bytes << " < peak " << peak;
  if (counted_bytes > peak + peak / 8 + (1 << 20))
    return ::testing::AssertionFailure() << "counted " << counted_bytes << " >> peak " << peak;
  return ::testing::AssertionSuccess() << counted_bytes << " for " << peak;
}

ModelParams model(ModelKind kind, double q, double K, double alpha = 0.0, double beta = 0.0) {
  return ModelParams{kind, q, K, alpha, beta};
}

// Shapes where each part dominates in turn: the model's tables and the
// sweeps' buffers (many particles, few slices), the path arrays (many
// slices), the tables with exponents (q far from 1), and many sweeps.
struct SampleCase {
  const char* what;
  HexagonParams p;
  unsigned threads;
};
const SampleCase kSamples[] = {
    {"racah, tables and buffers", {200000, 2, 1, model(kRacah, 1.0, -300000.0)}, 1},
    {"racah, two threads", {100000, 4, 2, model(kRacah, 1.0, -300000.0)}, 2},
    {"hahn, long paths", {300, 4000, 150, model(kHahn, 1.0, 0.0)}, 2},
    {"q-hahn with exponents", {3000, 6000, 40, model(kQHahn, 0.5, 0.0)}, 1},
    {"imaginary q-racah", {50000, 20, 10, model(kImaginaryQRacah, 1.0 / 0.98, 9.0)}, 2},
    {"trigonometric", {40000, 10, 5, model(kTrigonometric, 1.0, 0.0, 1e-6, 0.5)}, 1},
};

TEST(MemoryCount, AnExactSampleAllocatesWhatItsCountSays) {
  for (const SampleCase& c : kSamples) {
    PathArray paths(c.p.N, c.p.T);
    StreamSweeps how;
    how.seed = 5;
    how.threads = c.threads;
    NullSink quiet;
    const uint64_t peak = peak_of([&] { exact_sample_streams(c.p, paths, how, quiet); });
    EXPECT_TRUE(counts(exact_sample_need(c.p, how).bytes, peak)) << c.what;
    // The tables alone.
    const uint64_t tables = peak_of([&] { const ModelTables t(c.p.N, c.p.T, c.p.model); });
    EXPECT_TRUE(counts(ModelTables::bytes_needed(c.p.N, c.p.T, c.p.model), tables)) << c.what;
  }
}

TEST(MemoryCount, TheExportStreamsInAFixedAmountOfMemory) {
  // A thin hexagon whose text is 8 MB: the export holds a row and a piece.
  PathArray p(1, 2000);
  minimal_paths(1, 2000, 1000, p);
  uint64_t written = 0;
  const uint64_t peak = peak_of([&] {
    stream_plane_partition(p, 1000, [&](const char*, std::size_t n) {
      written += n;
      return true;
    });
  });
  EXPECT_EQ(written, 1000u * (1000 * 8 + 1));
  EXPECT_TRUE(counts(stream_plane_partition_bytes(2000, 1000), peak));
  EXPECT_LT(peak, written / 4);
}

// The reader of plane partition text counts what it holds against its
// limit before it grows: given half of what it really takes, it refuses;
// given its count, it reads. One long line (the line's own buffers) and many
// rows (the matrix).
TEST(MemoryCount, ReadingPartitionTextStaysWithinItsLimit) {
  std::string one_line, rows;
  for (int k = 0; k < 200000; ++k) one_line += " 7";
  one_line += "\n";
  for (int r = 0; r < 3000; ++r)
    for (int c = 0; c <= 100; ++c) rows += c < 100 ? "       5" : "\n";
  for (const std::string* text : {&one_line, &rows}) {
    auto read = [&](uint64_t limit, bool& ok) {
      return peak_of([&] {
        PartitionTextReader r(PartitionTextLimits{limit});
        ok = r.feed(text->data(), text->size()) && r.finish();
      });
    };
    bool ok = false;
    const uint64_t peak = read(UINT64_MAX, ok);
    ASSERT_TRUE(ok);
    read(peak / 2, ok);
    EXPECT_FALSE(ok) << "read within half of its peak " << peak;
    read(2 * peak + (1 << 20), ok);
    EXPECT_TRUE(ok) << "refused with twice its peak " << peak;
  }
}

// The whole command-line run, from its plan: the tables built once, the
// batches, the workers and the export.
TEST(MemoryCount, ACommandLineRunStaysWithinItsPlan) {
  testing::TempDir dir("lozengia-memory");
  struct RunCase {
    const char* what;
    HexagonParams p;
    int64_t count, samples;
    unsigned threads;
  } cases[] = {
      {"racah, one sample on two threads", {100000, 3, 1, model(kRacah, 1.0, -300000.0)}, 1, 1, 2},
      {"hahn, batches of samples", {100, 2000, 1000, model(kHahn, 1.0, 0.0)}, 6, 1, 2},
      {"hahn, averaged", {200, 400, 200, model(kHahn, 1.0, 0.0)}, 2, 3, 2},
  };
  for (const RunCase& c : cases) {
    CliOptions o;
    o.params = c.p;
    o.count = c.count;
    o.samples = c.samples;
    o.threads = c.threads;
    o.seed_given = true;
    o.export_path = (dir / "pp.txt").string();
    const RunPlan plan = plan_run(o);
    ASSERT_TRUE(plan.refused.empty()) << plan.refused;
    std::ostringstream err;
    int status = -1;
    const uint64_t peak = peak_of([&] { status = run_options(o, err); });
    EXPECT_EQ(status, 0) << err.str();
    EXPECT_TRUE(counts(plan.need.bytes, peak)) << c.what;
  }
}

// The desktop program's step commands, beyond the hexagon and its tables
// (built on this thread first, as the program's thread keeps them): one run
// on every thread, runs side by side (each worker but the first with arrays
// of its own), runs one after another.
TEST(MemoryCount, AStepCommandAllocatesWhatItsCountSays) {
  const struct {
    const char* what;
    HexagonParams p;
    bool plus;
    int32_t steps, samples;
    unsigned threads;
  } cases[] = {
      {"one run on two threads", {300, 4000, 150, model(kHahn, 1.0, 0.0)}, true, 40, 1, 2},
      {"runs side by side", {300, 4000, 150, model(kHahn, 1.0, 0.0)}, false, 20, 4, 2},
      {"runs one after another", {300, 4000, 150, model(kHahn, 1.0, 0.0)}, true, 20, 3, 4},
      {"racah, the sweeps' buffers", {100000, 4, 2, model(kRacah, 1.0, -300000.0)}, true, 2, 1, 1},
  };
  for (const auto& c : cases) {
    Hexagon hex;
    ASSERT_EQ(set_hexagon(hex, c.p), "") << c.what;
    minimal_paths(c.p.N, c.p.T, c.p.S, hex.paths);
    const auto tables = tables_for(c.p.N, c.p.T, c.p.model);
    RandomSource rng(7);
    NullSink quiet;
    const uint64_t peak = peak_of([&] {
      run_step_command(hex, c.plus, c.steps, c.samples, rng, quiet, nullptr, {}, c.threads);
    });
    EXPECT_TRUE(counts(step_command_need(c.p, c.plus, c.steps, c.samples, c.threads).bytes, peak))
        << c.what;
  }
}

// The plan keeps a run within the memory it may take, and refuses one that
// does not fit even on one worker with one sample at a time, saying what it
// would need.
TEST(MemoryLimit, TheRunIsFittedOrRefusedBeforeAnyWork) {
  CliOptions o;
  o.params = {2000, 4000, 2000, model(kHahn, 1.0, 0.0)};  // 32 MB a sample
  o.count = 100;
  o.threads = 4;
  // Batches of 8 at first (64 MiB of results, two a thread), halved until
  // the run fits.
  o.max_memory = run_need(o, 4, 2).bytes;
  const RunPlan fitted = plan_run(o);
  EXPECT_TRUE(fitted.refused.empty()) << fitted.refused;
  EXPECT_EQ(fitted.batch, 2);
  EXPECT_EQ(fitted.threads, 4u);
  EXPECT_LE(fitted.need.bytes, o.max_memory);
  const MemoryNeed one = run_need(o, 1, 1);
  o.max_memory = one.bytes / 2;
  const RunPlan refused = plan_run(o);
  EXPECT_EQ(refused.refused.rfind("Not enough memory for this run: needs ", 0), 0u)
      << refused.refused;
  EXPECT_NE(refused.refused.find(format_bytes(one.bytes)), std::string::npos) << refused.refused;
  // The figures never read the same, however close.
  EXPECT_EQ(memory_refusal(MemoryNeed{1'000'001'000, 0}, 1'000'000'000),
            "Not enough memory for this run: needs 1.000001 GB, 1.000000 GB allowed");
}

TEST(MemoryLimit, SizesAndTheMachinesFiguresAreRead) {
  const struct {
    const char* text;
    uint64_t bytes;  // 0: refused
  } sizes[] = {
      {"123456", 123456},
      {"800M", 800'000'000},
      {"1.5G", 1'500'000'000},
      {" 16GB ", 16'000'000'000},
      {"4GiB", uint64_t{4} << 30},
      {"2kib", 2048},
      {"0", 0},
      {"", 0},
      {"G", 0},
      {"-1G", 0},
      {"1.5.1G", 0},
      {"12 apples", 0},
      {"1e9", 0},
      {"0.0001", 0},
      {"100000000000T", UINT64_MAX},
  };
  for (const auto& s : sizes) {
    uint64_t bytes = 0;
    EXPECT_EQ(parse_memory_size(s.text, bytes), s.bytes != 0) << '"' << s.text << '"';
    if (s.bytes != 0) {
      EXPECT_EQ(bytes, s.bytes) << s.text;
    }
  }
  EXPECT_EQ(meminfo_available("MemTotal:       24684204 kB\nMemAvailable:   23697228 kB\n"),
            uint64_t{23697228} * 1024);
  EXPECT_EQ(meminfo_available("MemTotal: 1 kB\n"), UINT64_MAX);  // no figure: no limit
  const struct {
    const char *limit, *usage, *stat;
    uint64_t room;
  } cgroups[] = {
      {"max\n", "5000\n", "", UINT64_MAX},                                         // v2, no limit
      {"9223372036854771712\n", "5000\n", "", UINT64_MAX},                         // v1, no limit
      {"1000000\n", "600000\n", "anon 1\ninactive_file 100000\n", 500000},         // v2
      {"1000000\n", "600000\n", "cache 9\ntotal_inactive_file 200000\n", 600000},  // v1
      {"1000000\n", "1200000\n", "", 0},                                           // over the limit
  };
  for (const auto& c : cgroups)
    EXPECT_EQ(cgroup_room(c.limit, c.usage, c.stat), c.room) << c.limit << c.usage << c.stat;
  EXPECT_EQ(format_bytes(999), "999 bytes");
  EXPECT_EQ(format_bytes(764'000'000), "764 MB");
  EXPECT_EQ(format_bytes(10'800'000'000), "10.8 GB");
}

}  // namespace
}  // namespace lozengia
