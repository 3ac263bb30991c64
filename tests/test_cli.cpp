// The pieces of lozengia-cli's library that the shell tests cannot reach
// precisely: the memory plan, picture names, the shared averaging of runs and
// the cap on the operators' messages.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/progress_line.h"
#include "cli/run_plan.h"
#include "cli/stderr_sink.h"
#include "core/step_command.h"

namespace lozengia {
namespace {

namespace fs = std::filesystem;

CliOptions options(int32_t N, int32_t T, int64_t count, int64_t samples, unsigned threads) {
  CliOptions o;
  o.params.N = N;
  o.params.T = T;
  o.params.S = T / 2;
  o.count = count;
  o.samples = samples;
  o.threads = threads;
  return o;
}

TEST(RunPlan, BatchesFitTheMemoryAndNeverExceedTheCount) {
  // Small hexagons: every worker gets several runs, at most the count.
  RunPlan plan = plan_run(options(10, 20, 3, 1, 4));
  EXPECT_TRUE(plan.refused.empty());
  EXPECT_EQ(plan.threads, 4u);
  EXPECT_EQ(plan.batch, 3);
  plan = plan_run(options(10, 20, 1'000'000, 1, 4));
  EXPECT_EQ(plan.batch, 4096);
  // Some 64 MiB of results per batch: 1000 x 2001 entries of 4 bytes are
  // 8 MB a sample, three times that averaged.
  EXPECT_EQ(plan_run(options(1000, 2000, 100, 1, 1)).batch, 8);
  EXPECT_EQ(plan_run(options(1000, 2000, 100, 5, 1)).batch, 2);
  // A hexagon whose arrays cannot be held is refused, with the reason.
  plan = plan_run(options(2'000'000'000, 2'000'000'000, 10, 1, 8));
  EXPECT_FALSE(plan.refused.empty());
}

TEST(RunPlan, PicturesOfSeveralSamplesAreNumberedUnlessTheyGoToAStream) {
  EXPECT_EQ(numbered("pic.png", 2, 5), "pic-3.png");
  EXPECT_EQ(numbered("pic.png", 0, 1), "pic.png");
  EXPECT_EQ(numbered("dir.v/pic", 0, 2), "dir.v/pic-1");
  EXPECT_EQ(numbered("pic", 1, 2), "pic-2");
  EXPECT_EQ(numbered("-", 1, 2), "-");
  EXPECT_EQ(numbered("/dev/stdout", 1, 2), "/dev/stdout");
  const fs::path fifo =
      fs::temp_directory_path() / ("lozengia-cli-fifo-" + std::to_string(::getpid()));
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(numbered(fifo.string(), 1, 2), fifo.string());
  fs::remove(fifo);
}

// The step commands and the CLI average through the same functions; a sum
// kept in 32 or 64 bits gives the same result.
TEST(Averaging, TruncatesTowardZeroWhateverTheWidthOfTheSum) {
  PathArray a(1, 2), b(1, 2), out(1, 2);
  a.data()[0] = 7, a.data()[1] = 0, a.data()[2] = 2'000'000'000;
  b.data()[0] = 0, b.data()[1] = 1, b.data()[2] = 2'000'000'001;
  std::vector<int64_t> wide(a.size(), 0);
  add_run(a, wide.data());
  add_run(b, wide.data());
  average_runs(wide.data(), 2, out);
  EXPECT_EQ(out.data()[0], 3);  // 7 over 2 runs
  EXPECT_EQ(out.data()[1], 0);
  EXPECT_EQ(out.data()[2], 2'000'000'000);  // the sum passed 2^31
  std::vector<int32_t> narrow(a.size(), 0);
  a.data()[2] = b.data()[2] = 5;
  add_run(a, narrow.data());
  add_run(b, narrow.data());
  average_runs(narrow.data(), 2, out);
  EXPECT_EQ(out.data()[0], 3);
  EXPECT_EQ(out.data()[2], 5);
}

TEST(ProgressLine, SaysNothingWhenNotShown) {
  std::ostringstream err;
  StderrSink sink(err);
  {
    ProgressLine progress(false, 100.0, 1, sink);
    progress.sweeps_done() += 50;
    progress.stop();
    progress.stop();
  }
  EXPECT_EQ(err.str(), "");
}

// A run whose model warns on every block writes its first 1000 lines of
// messages to standard error, then one line counting the rest; the progress
// line is never left out.
TEST(StderrSink, CapsWhatOneRunWrites) {
  std::ostringstream err;
  {
    StderrSink sink(err);
    for (int k = 0; k < 1500; ++k) {
      sink.line("Arithmetical warning. Results may be wrong");
      if (k == 1200) sink.progress_line("Iteration 1 S=1");
    }
  }
  std::istringstream lines(err.str());
  std::string line, last;
  int count = 0, warnings = 0;
  while (std::getline(lines, line)) {
    ++count;
    warnings += line == "Arithmetical warning. Results may be wrong";
    last = line;
  }
  EXPECT_EQ(warnings, 1000);
  EXPECT_EQ(count, 1002);
  EXPECT_NE(err.str().find("\nIteration 1 S=1\n"), std::string::npos);
  EXPECT_EQ(last, "(500 more lines left out)");
}

}  // namespace
}  // namespace lozengia
