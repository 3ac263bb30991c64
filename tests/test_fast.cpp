// The tabulated, parallel sampler against the plain one: same stream of random
// numbers, same samples; same seed, same sample whatever the thread count.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "core/fast_sweep.h"
#include "core/operators.h"
#include "core/params.h"
#include "core/reference_sweeps.h"

namespace lozengia {
namespace {

std::vector<ModelParams> models_for(int32_t N, int32_t T) {
  const double pi = 3.141592653589793;
  const double a = 0.85 * pi / (N + T / 2.0);
  std::vector<NewHexagonInput> ins = {
      {kHahn, "", "", "", "", "", "", "", ""},
      {kQHahn, "", "", "", "0.93", "", "", "", ""},
      {kQHahn, "", "", "", "1.6", "", "", "", ""},
      {kRacah, "", "", "", "", "", format_real(T / 2.0), "", ""},
      {kRacah, "", "", "", "", "", format_real(-N - 3.5), "", ""},
      {kTrigonometric, "", "", "", "", "", "", format_real(a), format_real(a * T / 2 + 0.05)},
      {kImaginaryQRacah, "", "", "", "0.9", "0.7", "", "", ""},
      {kRealQRacah, "", "", "", "1.1", "", format_real(T / 2.0 + 1.5), "", ""},
      {kRealQRacah, "", "", "", "0.5", "", format_real(-N - 0.5), "", ""},
  };
  std::vector<ModelParams> out;
  for (NewHexagonInput in : ins) {
    in.N = std::to_string(N);
    in.T = std::to_string(T);
    in.S = "0";
    const NewHexagonResult r = check_new_hexagon(in);
    EXPECT_TRUE(r.ok) << in.kind << ": " << r.message;
    if (r.ok) out.push_back(r.params.model);
  }
  return out;
}

// A way of running the fast sweeps: the plain path, or a vector path.
struct SweepPath {
  const char* name;
  int lanes;  // fast_sweep_lanes' setting
};

// The paths this build and processor can run, each of which the tests below
// compare with the plain evaluation. A vector path missing here is reported
// by FastPath.EveryVectorPathIsTested (a failure where the processor has it,
// a skip with its reason otherwise).
std::vector<SweepPath> paths_here() {
  std::vector<SweepPath> paths;
  if (fast_sweep_lanes(8) == 8) paths.push_back({"8-lane AVX-512", 8});
  if (fast_sweep_lanes(4) == 4) paths.push_back({"4-lane AVX2", 4});
  paths.push_back({"plain", 1});
  fast_sweep_lanes(8);
  return paths;
}

TEST(FastPath, EveryVectorPathIsTested) {
  const int four = fast_sweep_lanes(4), eight = fast_sweep_lanes(8);
  EXPECT_EQ(fast_sweep_lanes(1), 1);
  fast_sweep_lanes(8);
#if defined(__x86_64__) && defined(__GNUC__) && !defined(LOZENGIA_PORTABLE)
  __builtin_cpu_init();
  const bool avx2 = __builtin_cpu_supports("avx2");
  const bool avx512 = avx2 && __builtin_cpu_supports("avx512f") &&
                      __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
                      __builtin_cpu_supports("avx512vl");
  EXPECT_EQ(four, avx2 ? 4 : 1) << "the sweeps' use of AVX2 does not match the processor";
  EXPECT_EQ(eight, avx512 ? 8 : four) << "the sweeps' use of AVX-512 does not match the processor";
  if (!avx2)
    GTEST_SKIP() << "this processor has no AVX2: the 4-lane and 8-lane paths were not tested, "
                    "only the plain one";
  if (!avx512)
    GTEST_SKIP() << "this processor has no AVX-512: the 8-lane path was not tested, only the "
                    "4-lane and plain ones";
#else
  EXPECT_EQ(four, 1) << "a build without vector instructions used them";
  EXPECT_EQ(eight, 1) << "a build without vector instructions used them";
  GTEST_SKIP() << "built without vector instructions (portable build or not x86-64): the "
                  "4-lane and 8-lane paths were not tested, only the plain one";
#endif
}

// One step made by both samplers from the same paths and generator states:
// the fast one (the operators) into `fast`, the plain one into `plain`.
struct BothSamplers {
  ParkMiller fast_rng, plain_rng;
  CollectSink fast_sink, plain_sink;
  explicit BothSamplers(int64_t seed) : fast_rng(seed), plain_rng(seed) {}
  void step(bool up, int32_t N, int32_t T, int32_t S, const ModelParams& m, const PathArray& from,
            PathArray& fast, PathArray& plain) {
    if (up) {
      operator_sweep_plus(HexagonParams{N, T, S, m}, from, fast, fast_rng, fast_sink);
      plain_sweep_plus(N, T, S, m, from, plain, plain_rng, plain_sink);
    } else {
      operator_sweep_minus(HexagonParams{N, T, S, m}, from, fast, fast_rng, fast_sink);
      plain_sweep_minus(N, T, S, m, from, plain, plain_rng, plain_sink);
    }
  }
};

// A random walk in S, each step made by both samplers from the same state and
// the same generator state: the results and the generators must agree.
// The listing of blocks runs with and without the wider vector instructions
// (whichever this processor has), and slices of many blocks make their draws
// several at a time.
TEST(FastPath, SameSamplesAsThePlainSweepOnTheSameStream) {
  for (const SweepPath& path : paths_here()) {
    fast_sweep_lanes(path.lanes);
    for (auto [N, T, steps] : {std::tuple{1, 7, 21}, {6, 13, 39}, {40, 90, 270}, {150, 300, 30}}) {
      for (const ModelParams& m : models_for(N, T)) {
        ParkMiller walk(N * 1000 + m.kind);
        BothSamplers both(77);
        PathArray paths(N, T), a(N, T), b(N, T);
        int32_t S = 0;
        minimal_paths(N, T, S, paths);
        for (int step = 0; step < steps; ++step) {
          const bool up = S == 0 || (S < T && walk.next_float() < 0.6f);
          both.step(up, N, T, S, m, paths, a, b);
          ASSERT_TRUE(a == b) << "kind " << m.kind << " q=" << m.q << " N=" << N << " S=" << S
                              << (up ? " up" : " down") << " step " << step << " " << path.name;
          ASSERT_EQ(both.fast_rng.state(), both.plain_rng.state());
          S += up ? 1 : -1;
          paths.swap(a);
        }
        EXPECT_EQ(both.fast_sink.lines, both.plain_sink.lines);
        EXPECT_EQ(both.fast_sink.reports, both.plain_sink.reports);
      }
    }
  }
  fast_sweep_lanes(8);
}

// From the middle of the range, where a slice has many blocks of every length
// (blocks of four to seven particles are weighed several at a time), both
// directions in turn, every model, with and without the wider vectors.
TEST(FastPath, SameSamplesAsThePlainSweepFromATypicalConfiguration) {
  const int32_t N = 120, T = 240, S = 120;
  PathArray start(N, T);
  NullSink quiet;
  exact_sample_streams(HexagonParams{N, T, S, {}}, start, 11, 1, quiet);
  for (const SweepPath& path : paths_here()) {
    fast_sweep_lanes(path.lanes);
    for (const ModelParams& m : models_for(N, T)) {
      PathArray paths = start, a(N, T), b(N, T);
      BothSamplers both(5);
      for (int step = 0; step < 4; ++step) {
        const bool up = step % 2 == 0;
        both.step(up, N, T, up ? S : S + 1, m, paths, a, b);
        ASSERT_TRUE(a == b) << "kind " << m.kind << " q=" << m.q << " K=" << m.K << " step " << step
                            << " " << path.name;
        paths.swap(a);
      }
      EXPECT_EQ(both.fast_rng.state(), both.plain_rng.state());
      EXPECT_EQ(both.fast_sink.lines, both.plain_sink.lines);
    }
  }
  fast_sweep_lanes(8);
}

// Parameters the dialog refuses, as a caller of the operators may still pass
// them: weights of both signs, so that many blocks of one slice report
// themselves. The fast sweep draws some blocks after the others, yet its
// messages and samples are the plain sweep's, in the same order.
TEST(FastPath, MessagesOfManyBlocksComeInBlockOrder) {
  const int32_t N = 60, T = 120, S = 60;
  PathArray start(N, T), a(N, T), b(N, T);
  NullSink quiet;
  exact_sample_streams(HexagonParams{N, T, S, {}}, start, 3, 1, quiet);
  std::size_t distinct_down = 0;
  for (const SweepPath& path : paths_here()) {
    fast_sweep_lanes(path.lanes);
    for (double K : {-20.25, 10.25}) {
      ModelParams m;
      m.kind = kRacah;
      m.K = K;
      for (bool up : {true, false}) {
        BothSamplers both(7);
        both.step(up, N, T, S, m, start, a, b);
        const std::vector<std::string>& lines = both.plain_sink.lines;
        if (!up)
          distinct_down =
              std::max(distinct_down, std::set<std::string>(lines.begin(), lines.end()).size());
        EXPECT_TRUE(a == b) << "K=" << K << (up ? " up " : " down ") << path.name;
        EXPECT_EQ(both.fast_sink.lines, lines)
            << "K=" << K << (up ? " up " : " down ") << path.name;
      }
    }
  }
  fast_sweep_lanes(8);
  // The reports name their blocks, so their order is seen.
  EXPECT_GT(distinct_down, 100u);
}

// The draws are the same whether a sweep runs alone or as part of a
// wavefront, so any number of threads gives the same sample.
TEST(FastPath, ExactSampleDependsOnTheSeedOnly) {
  const int32_t N = 30, T = 100, S = 70;
  for (const ModelParams& m : models_for(N, T)) {
    const HexagonParams p{N, T, S, m};
    PathArray one(N, T), two(N, T), four(N, T), other(N, T);
    NullSink sink;
    exact_sample_streams(p, one, 5, 1, sink);
    exact_sample_streams(p, two, 5, 2, sink);
    exact_sample_streams(p, four, 5, 4, sink);
    exact_sample_streams(p, other, 6, 2, sink);
    EXPECT_EQ(check_invariants(one, N, T, S), "");
    // Whatever the order the sweeps ran in, the result is that of the
    // sweeps made one after another, sweep s on stream s.
    PathArray a(N, T), b(N, T);
    minimal_paths(N, T, 0, a);
    const auto tables = tables_for(N, T, m);
    for (int32_t s = 0; s < S; ++s) {
      ParkMiller rng(stream_seed(5, static_cast<uint64_t>(s)));
      fast_sweep_plus(*tables, N, T, s, a, b, rng, sink);
      a.swap(b);
    }
    EXPECT_TRUE(one == a) << "kind " << m.kind;
    // And whatever the vector path of the wavefront's sweeps.
    for (const SweepPath& path : paths_here()) {
      fast_sweep_lanes(path.lanes);
      PathArray again(N, T);
      exact_sample_streams(p, again, 5, 2, sink);
      EXPECT_TRUE(one == again) << "kind " << m.kind << " " << path.name;
    }
    fast_sweep_lanes(8);
    EXPECT_TRUE(one == two) << "kind " << m.kind;
    EXPECT_TRUE(one == four) << "kind " << m.kind;
    EXPECT_FALSE(one == other) << "kind " << m.kind;
  }
  // S = 0 and S = T.
  PathArray p0(3, 5), p5(3, 5), minimal(3, 5);
  NullSink sink;
  exact_sample_streams(HexagonParams{3, 5, 0, {}}, p0, 1, 2, sink);
  minimal_paths(3, 5, 0, minimal);
  EXPECT_TRUE(p0 == minimal);
  exact_sample_streams(HexagonParams{3, 5, 5, {}}, p5, 1, 3, sink);
  minimal_paths(3, 5, 5, minimal);
  EXPECT_TRUE(p5 == minimal);
}

// A large run through every model, up and down with the wavefront's samples as
// starting points, keeps every invariant.
TEST(FastPath, LargeMixedRunKeepsInvariants) {
  const int32_t N = 120, T = 250;
  ParkMiller rng(31337);
  for (const ModelParams& m : models_for(N, T)) {
    PathArray paths(N, T), new_paths(N, T);
    CollectSink sink;
    int32_t S = 125;
    exact_sample_streams(HexagonParams{N, T, S, m}, paths, 9, 2, sink);
    ASSERT_EQ(check_invariants(paths, N, T, S), "");
    for (int step = 0; step < 60; ++step) {
      const bool up = S == 0 || (S < T && rng.next_float() < 0.5f);
      if (up)
        operator_sweep_plus(HexagonParams{N, T, S, m}, paths, new_paths, rng, sink);
      else
        operator_sweep_minus(HexagonParams{N, T, S, m}, paths, new_paths, rng, sink);
      S += up ? 1 : -1;
      paths.swap(new_paths);
      ASSERT_EQ(check_invariants(paths, N, T, S), "") << "kind " << m.kind;
    }
    EXPECT_TRUE(sink.lines.empty()) << "kind " << m.kind << ": " << sink.lines.front();
  }
}

}  // namespace
}  // namespace lozengia
