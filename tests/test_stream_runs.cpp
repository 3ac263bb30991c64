// Runs of sweeps as interactive and live mode make them: round trips whose
// two sweeps run side by side, and one long run cut into many calls that go
// on where the one before ended. Each must give what the same sweeps made one
// after another on the same streams give, whatever the thread count.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "core/fast_sweep.h"
#include "core/params.h"
#include "support/models.h"
#include "support/samples.h"

namespace lozengia {
namespace {

// Sweeps made one by one: sweep k (counted from the run's start) on stream
// `first + k` of `seed`, going up when up(first + k) says so. Returns the S
// reached.
template <class Up>
int32_t one_by_one(const ModelTables& tables, int32_t N, int32_t T, int32_t S, int32_t sweeps,
                   int64_t seed, int64_t first, Up up, PathArray& paths) {
  PathArray new_paths(N, T);
  NullSink quiet;
  for (int32_t k = 0; k < sweeps; ++k) {
    ParkMiller rng(stream_seed(seed, static_cast<uint64_t>(first + k)));
    if (up(first + k)) {
      fast_sweep_plus(tables, N, T, S, paths, new_paths, rng, quiet);
      ++S;
    } else {
      fast_sweep_minus(tables, N, T, S, paths, new_paths, rng, quiet);
      --S;
    }
    paths.swap(new_paths);
  }
  return S;
}

// Round trips in one call, both ways round, from the middle and from next to
// either end (the way out touches S = T or S = 0), on streams that do not
// start at 0; counts odd and even, shorter and longer than a batch.
TEST(StreamRuns, RoundTripsAreTheirSweepsMadeOneByOne) {
  const int32_t N = 20, T = 40;
  const std::vector<ModelParams> models = testing::one_model_of_each_kind(N, T);
  for (const ModelParams& m : models) {
    const ModelTables tables(N, T, m);
    for (bool plus : {true, false}) {
      for (int32_t S0 : {plus ? T - 1 : 1, 17}) {
        const PathArray start = testing::sample_at(N, T, S0, m, 5);
        for (int32_t sweeps : {1, 2, 7, 34}) {
          const int64_t first = 6;  // even: the call starts a round trip
          PathArray expected = start;
          const int32_t S_end = one_by_one(
              tables, N, T, S0, sweeps, 4321, first,
              [&](int64_t i) { return plus == (i % 2 == 0); }, expected);
          EXPECT_EQ(S_end, sweeps % 2 == 0 ? S0 : plus ? S0 + 1 : S0 - 1);
          for (unsigned threads : {1u, 2u, 3u}) {
            PathArray paths = start;
            StreamSweeps how;
            how.plus = plus;
            how.alternate = true;
            how.steps = sweeps;
            how.seed = 4321;
            how.first_sweep = first;
            how.threads = threads;
            NullSink quiet;
            EXPECT_EQ(sweep_streams(HexagonParams{N, T, S0, m}, paths, how, quiet), sweeps);
            EXPECT_TRUE(paths == expected)
                << "kind " << m.kind << (plus ? " up first" : " down first") << " from S=" << S0
                << ", " << sweeps << " sweeps, " << threads << " threads";
            EXPECT_EQ(check_invariants(paths, N, T, S_end), "");
          }
        }
      }
    }
  }
}

// A round trip whose first step has no room makes nothing and keeps the
// tiling; a call that starts on an odd stream starts with the way back, and
// the bound is checked for that way.
TEST(StreamRuns, RoundTripsNeverPassTheEnds) {
  const ModelParams hahn;
  const int32_t N = 5, T = 9;
  NullSink quiet;
  for (int32_t S0 : {0, T}) {
    const PathArray start = testing::sample_at(N, T, S0, hahn, 5);
    for (bool plus : {true, false}) {
      for (int64_t first : {0, 1}) {
        const bool first_up = plus == (first % 2 == 0);
        PathArray paths = start;
        StreamSweeps how;
        how.plus = plus;
        how.alternate = true;
        how.steps = 6;
        how.first_sweep = first;
        how.threads = 2;
        const int32_t made = sweep_streams(HexagonParams{N, T, S0, hahn}, paths, how, quiet);
        const bool room = first_up ? S0 < T : S0 > 0;
        EXPECT_EQ(made, room ? 6 : 0) << "S=" << S0 << " first " << first;
        if (!room) {
          EXPECT_TRUE(paths == start);
        }
        EXPECT_EQ(check_invariants(paths, N, T, S0), "");
      }
    }
  }
}

// One long run cut into calls of any sizes, each going on from the stream
// where the last ended, is the run made in one call: one way, and round trips
// (cut at odd places too, so that calls start with a way back).
TEST(StreamRuns, ARunCutIntoCallsIsTheRunInOneCall) {
  const int32_t N = 30, T = 90;
  const ModelParams hahn;
  const std::vector<ModelParams> models = {hahn, testing::one_model_of_each_kind(N, T)[0]};
  const std::vector<std::vector<int32_t>> cuts = {{40}, {1, 1, 1, 37}, {3, 16, 21}, {17, 2, 5, 16}};
  for (const ModelParams& m : models) {
    for (bool alternate : {false, true}) {
      const int32_t S0 = alternate ? 45 : 10;
      const PathArray start = testing::sample_at(N, T, S0, m, 5);
      PathArray whole = start;
      StreamSweeps how;
      how.plus = true;
      how.alternate = alternate;
      how.steps = 40;
      how.seed = 77;
      how.threads = 1;
      NullSink quiet;
      ASSERT_EQ(sweep_streams(HexagonParams{N, T, S0, m}, whole, how, quiet), 40);
      for (unsigned threads : {1u, 2u}) {
        for (const std::vector<int32_t>& cut : cuts) {
          PathArray paths = start;
          int32_t S = S0;
          int64_t first = 0;
          for (int32_t n : cut) {
            StreamSweeps part = how;
            part.steps = n;
            part.first_sweep = first;
            part.threads = threads;
            ASSERT_EQ(sweep_streams(HexagonParams{N, T, S, m}, paths, part, quiet), n);
            const bool first_up = !alternate || first % 2 == 0;
            if (!alternate)
              S += n;
            else if (n % 2 == 1)
              S += first_up ? 1 : -1;
            first += n;
          }
          EXPECT_EQ(S, alternate ? S0 : S0 + 40);
          EXPECT_TRUE(paths == whole) << "kind " << m.kind << (alternate ? " round trips" : "")
                                      << ", " << cut.size() << " calls, " << threads << " threads";
        }
      }
    }
  }
}

// Stops the run once a given sweep has finished.
class StopAfter final : public SweepObserver {
 public:
  StopAfter(std::atomic<bool>& stop, int32_t at) : stop_(stop), at_(at) {}
  void line(int32_t, const std::string&) override {}
  void overflow_report(int32_t, const std::string&) override {}
  void finished(int32_t sweep) override {
    if (sweep == at_) stop_.store(true);
  }

 private:
  std::atomic<bool>& stop_;
  int32_t at_;
};

// A stop in a run of round trips leaves whole round trips: back at the start
// S, with the tiling of the sweeps made.
TEST(StreamRuns, AStoppedRunOfRoundTripsEndsWhereItStarted) {
  const int32_t N = 30, T = 60, S0 = 30;
  const ModelParams hahn;
  const ModelTables tables(N, T, hahn);
  const PathArray start = testing::sample_at(N, T, S0, hahn, 5);
  for (unsigned threads : {1u, 2u, 3u}) {
    for (int32_t at : {0, 9, 21}) {
      std::atomic<bool> stop{false};
      StopAfter observer(stop, at);
      PathArray paths = start;
      StreamSweeps how;
      how.plus = false;
      how.alternate = true;
      how.steps = 400;
      how.seed = 3;
      how.first_sweep = 10;
      how.threads = threads;
      how.stop = &stop;
      how.observer = &observer;
      NullSink quiet;
      const int32_t made = sweep_streams(HexagonParams{N, T, S0, hahn}, paths, how, quiet);
      EXPECT_GT(made, at);
      EXPECT_LT(made, 400) << "the stop was not seen";
      EXPECT_EQ(made % 2, 0) << threads << " threads, stopped after sweep " << at;
      PathArray expected = start;
      one_by_one(
          tables, N, T, S0, made, 3, 10, [](int64_t i) { return i % 2 == 1; }, expected);
      EXPECT_TRUE(paths == expected);
      EXPECT_EQ(check_invariants(paths, N, T, S0), "");
    }
  }
}

}  // namespace
}  // namespace lozengia
