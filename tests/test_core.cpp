// Hexagon state, random source, weights over large hexagons, and the
// operators' invariants over long random runs.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <set>

#include "core/draw_chooser.h"
#include "core/hexagon.h"
#include "core/operators.h"
#include "core/params.h"
#include "core/reference_sweeps.h"
#include "core/step_command.h"
#include "core/sweep.h"
#include "core/weights.h"
#include "support/models.h"

namespace lozengia {
namespace {

using testing::entered_model;

TEST(HexagonState, MinimalConfigurationAndEdges) {
  for (int32_t S : {0, 3, 7}) {
    PathArray p(4, 7);
    minimal_paths(4, 7, S, p);
    EXPECT_EQ(check_invariants(p, 4, 7, S), "") << S;
    for (int32_t i = 1; i <= 4; ++i)
      for (int32_t t = 0; t <= 7; ++t)
        EXPECT_EQ(p(i, t), (i - 1) + std::max(0, t - (7 - S))) << i << "," << t;
  }
  PathArray one(1, 3);
  minimal_paths(1, 3, 2, one);
  EXPECT_EQ(one(1, 0), 0);
  EXPECT_EQ(one(1, 1), 0);
  EXPECT_EQ(one(1, 2), 1);
  EXPECT_EQ(one(1, 3), 2);
  // The invariant check itself sees a violation.
  one(1, 2) = 2;
  EXPECT_NE(check_invariants(one, 1, 3, 2), "");
}

TEST(HexagonState, RefusesShapesThatCannotBeHeldAndKeepsTheOldState) {
  Hexagon hex = default_hexagon();
  hex.paths(3, 5) = 42;  // mark the state
  const HexagonParams before = hex.params;
  for (auto [n, t] : {std::pair<int32_t, int32_t>{2147483647, 2147483646},
                      {65536, 65536},
                      {100000, 100000},
                      {46341, 46340}}) {
    HexagonParams p;
    p.N = n;
    p.T = t;
    p.S = 0;
    const std::string err = set_hexagon(hex, p);
    EXPECT_NE(err, "") << n << "x" << t;
    EXPECT_EQ(hex.params.N, before.N);
    EXPECT_EQ(hex.paths.n(), 50);
    EXPECT_EQ(hex.paths(3, 5), 42);
  }
  EXPECT_NE(check_shape(50000, 50000), "");
  EXPECT_EQ(check_shape(2000, 2000), "");
}

TEST(RandomSource, IsTheMinimalStandardGeneratorScaledToOpenUnitInterval) {
  ParkMiller pm(1);
  std::minstd_rand ref(1);  // the same recurrence, multiplier 48271
  for (int k = 0; k < 10000; ++k) ASSERT_EQ(pm.next_raw(), ref());
  EXPECT_EQ(pm.state(), 399268537u);  // the generator's published check value

  // A draw is the new state times 2^-31 in single precision, inside (0, 1).
  ParkMiller a(123), b(123);
  for (int k = 0; k < 1000; ++k) {
    const float u = a.next_float();
    ASSERT_GT(u, 0.0f);
    ASSERT_LT(u, 1.0f);
    ASSERT_EQ(u, static_cast<float>(b.next_raw() / 2147483648.0));
  }
  // Seeds 0 and -1 give the same stream; any seed is reduced into range.
  ParkMiller z(0), m1(-1), big(int64_t{1} << 40), reduced((int64_t{1} << 40) % 2147483647);
  EXPECT_EQ(z.next_raw(), m1.next_raw());
  EXPECT_EQ(big.state(), reduced.state());
  EXPECT_EQ(big.next_raw(), reduced.next_raw());
  ParkMiller probe(1);
  probe.seed(2147483646);
  EXPECT_EQ(probe.state(), 2147483646u);
}

// The largest states scaled by 2^-31 round to exactly 1.0f in single
// precision; drawn from a real predecessor, they still give a number below 1
// (a draw of 1 would make the threshold (1-u)*Z zero and pick an outcome of
// weight zero).
TEST(RandomSource, TheLargestStatesDrawJustBelowOne) {
  // The predecessor of a state: state / 48271 modulo 2^31-1, through the
  // multiplier's inverse 48271^(p-2).
  const uint64_t p = ParkMiller::kModulus;
  uint64_t inverse = 1, base = ParkMiller::kMultiplier;
  for (uint64_t e = p - 2; e > 0; e >>= 1, base = base * base % p)
    if (e & 1) inverse = inverse * base % p;
  const float below_one = std::nextafter(1.0f, 0.0f);
  int rounding_to_one = 0;
  for (uint32_t top = ParkMiller::kModulus - 1; top > ParkMiller::kModulus - 200; --top) {
    ParkMiller gen(static_cast<int64_t>(top * inverse % p));
    const float u = gen.next_float();
    ASSERT_EQ(gen.state(), top);
    const float scaled = static_cast<float>(top / 2147483648.0);
    if (scaled == 1.0f) ++rounding_to_one;
    ASSERT_LT(u, 1.0f) << "state " << top;
    ASSERT_EQ(u, scaled < 1.0f ? scaled : below_one) << "state " << top;
  }
  EXPECT_GT(rounding_to_one, 0) << "no state of the range rounds to 1: the case is not tested";
}

TEST(RandomSource, StreamSeedsDifferAndAreInRange) {
  std::set<int64_t> seen;
  for (uint64_t i = 0; i < 1000; ++i) {
    const int64_t s = stream_seed(42, i);
    EXPECT_GE(s, 1);
    EXPECT_LT(s, 2147483647);
    seen.insert(s);
  }
  EXPECT_EQ(seen.size(), 1000u);
  EXPECT_EQ(stream_seed(42, 7), stream_seed(42, 7));
  EXPECT_NE(stream_seed(42, 7), stream_seed(43, 7));
}

// On hexagons of side 2000 with q far from 1 and large K, every weight of every
// block shape is finite, none is negative, and the largest is 1.
TEST(Weights, StayFiniteOnLargeHexagons) {
  const int32_t N = 2000, T = 2000;
  std::vector<ModelParams> models;
  for (const char* q : {"0.5", "2"}) {
    models.push_back(entered_model(kQHahn, N, T, {q, "", "", "", ""}));
    models.push_back(entered_model(kImaginaryQRacah, N, T, {q, "3", "", "", ""}));
    models.push_back(entered_model(kImaginaryQRacah, N, T, {q, "1e100", "", "", ""}));
  }
  // Real q-Racah stores K = -(q^(2L)) with |L| > T/2: with T = 2000 that is a
  // double only for q close to 1; far from 1 the dialog refuses it.
  models.push_back(entered_model(kRealQRacah, N, T, {"0.7", "", "1000.5", "", ""}));
  models.push_back(entered_model(kRealQRacah, N, T, {"1.1", "", "-2000.5", "", ""}));
  for (const char* q : {"0.5", "2"})
    for (const char* L : {"1000.5", "-2000.5"}) {
      NewHexagonInput in{kRealQRacah, "2000", "2000", "0", q, "", L, "", ""};
      EXPECT_FALSE(check_new_hexagon(in).ok) << q << " " << L;
    }
  models.push_back(entered_model(kRacah, N, T, {"", "", "1e12", "", ""}));
  models.push_back(entered_model(kRacah, N, T, {"", "", "1000", "", ""}));
  models.push_back(entered_model(kRacah, N, T, {"", "", "-2000.5", "", ""}));
  models.push_back(entered_model(kHahn, N, T, {"", "", "", "", ""}));
  std::vector<double> w(N + 3);
  for (const ModelParams& m : models) {
    for (int32_t S : {1, 1000, 1999}) {
      BlockWeights bw(N, T, S, m);
      for (int32_t t : {1, 500, T - S, 1999, 2000}) {
        // Blocks at the bottom, the middle and the top of the slice.
        const int32_t lo = std::max(0, t - (T - S));
        const int32_t hi = N - 1 + std::min(t, S);
        for (int32_t len : {1, 10, N}) {
          for (int32_t x0 : {lo, (lo + hi) / 2, hi - len + 1}) {
            if (x0 < lo || x0 + len - 1 > hi) continue;
            for (int dir = 0; dir < 2; ++dir) {
              if (dir == 0)
                bw.plus(t, x0, len + 1, w.data());
              else
                bw.minus(t, x0, len + 1, w.data());
              double big = 0.0;
              for (int32_t k = 1; k <= len + 1; ++k) {
                ASSERT_TRUE(std::isfinite(w[k])) << "kind " << m.kind << " t=" << t;
                ASSERT_GE(w[k], 0.0) << "kind " << m.kind << " q=" << m.q << " t=" << t
                                     << " x0=" << x0 << " len=" << len << " dir=" << dir;
                big = std::max(big, w[k]);
              }
              ASSERT_EQ(big, 1.0) << "kind " << m.kind;
            }
          }
        }
      }
    }
  }
}

// Scaling an entry down by a power of two rounds as ldexp does, also where
// the result is subnormal (two factors there), for the entries being scaled:
// 0 and magnitudes in [2^-300, 2^300].
TEST(Weights, ScalingDownRoundsAsLdexp) {
  std::mt19937_64 gen(11);
  std::uniform_real_distribution<double> mant(0.5, 1.0);
  std::uniform_int_distribution<int> ex(-299, 300);
  for (int trial = 0; trial < 2000; ++trial) {
    const double w = std::ldexp(trial % 2 ? mant(gen) : -mant(gen), ex(gen));
    for (int d = 0; d >= -1100; d -= 1 + trial % 7) {
      const double want = std::ldexp(w, d), got = scale_down(w, d);
      ASSERT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(want)) << w << " " << d;
    }
  }
  EXPECT_EQ(scale_down(0.0, -1050), 0.0);
  EXPECT_EQ(scale_down(1.0, -1101), 0.0);  // past -1100 an entry is dropped
}

// Long random runs up and down keep every invariant, and slice 0 never moves.
TEST(Operators, KeepInvariantsOverLongRandomRuns) {
  const int32_t N = 30, T = 60;
  ParkMiller rng(2024);
  for (const ModelParams& m : testing::one_model_of_each_kind(N, T)) {
    CollectSink sink;
    PathArray paths(N, T), new_paths(N, T);
    int32_t S = 0;
    minimal_paths(N, T, S, paths);
    for (int step = 0; step < 400; ++step) {
      const bool up = S == 0 || (S < T && rng.next_float() < 0.55f);
      if (up) {
        operator_sweep_plus(HexagonParams{N, T, S, m}, paths, new_paths, rng, sink);
        ++S;
      } else {
        operator_sweep_minus(HexagonParams{N, T, S, m}, paths, new_paths, rng, sink);
        --S;
      }
      paths.swap(new_paths);
      ASSERT_EQ(check_invariants(paths, N, T, S), "") << "kind " << m.kind << " step " << step;
    }
    EXPECT_TRUE(sink.lines.empty()) << "kind " << m.kind << ": " << sink.lines.front();
    EXPECT_TRUE(sink.reports.empty());
  }
}

// A sample of a large hexagon is not the minimal configuration: the operator
// really moves paths (a sweep that copied its input would keep every invariant
// but be wrong).
TEST(Operators, ExactSampleOfLargeHexagonLeavesTheFrozenStart) {
  HexagonParams p;
  p.N = 100;
  p.T = 200;
  p.S = 100;
  PathArray paths(p.N, p.T), minimal(p.N, p.T);
  minimal_paths(p.N, p.T, p.S, minimal);
  ParkMiller rng(7);
  NullSink sink;
  exact_sample(p, paths, rng, sink);
  EXPECT_EQ(check_invariants(paths, p.N, p.T, p.S), "");
  EXPECT_FALSE(paths == minimal);
  // Uniform measure: the middle path at the middle slice sits near the centre
  // of its range (its frozen extremes are 49 and 149).
  EXPECT_GT(paths(50, 100), 75);
  EXPECT_LT(paths(50, 100), 125);
}

// The chooser's walk: one draw per block, threshold (1-u)*Z, the sentinel, and
// the fallback never picks an outcome of weight zero.
struct FixedDraw {
  float u;
  float next_float() { return u; }
};

TEST(DrawChooser, WalkPicksOutcomesByCumulativeWeight) {
  CollectSink sink;
  BlockInfo info{1, 1, 2, 0, 0, 1};
  double w[6];
  auto pick = [&](float u, std::initializer_list<double> weights) {
    FixedDraw d{u};
    DrawChooser<FixedDraw> ch(3, 4, 1, 1.0, d, sink);
    int k = 1;
    for (double v : weights) w[k++] = v;
    return ch.choose_plus(w, static_cast<int32_t>(weights.size()), info);
  };
  // Z = 4: v = (1-u)*4. u near 1 gives v near 0: the first outcome.
  EXPECT_EQ(pick(0.99f, {1, 1, 2}), 1);
  EXPECT_EQ(pick(0.5f, {1, 1, 2}), 2);  // v = 2: cum 1, 2 -> k = 2 (ties go low)
  EXPECT_EQ(pick(0.3f, {1, 1, 2}), 3);
  // A zero first weight is never chosen, even for the largest draw.
  EXPECT_EQ(pick(0.99999994f, {0, 1, 1}), 2);
  // A threshold above the total (rounding) falls back to the last possible
  // outcome, never to a trailing impossible one.
  EXPECT_EQ(pick(1e-9f, {1, 0.3, 0}), 2);
  EXPECT_TRUE(sink.lines.empty());
  // A negative weight met in the walk is reported.
  EXPECT_EQ(pick(0.1f, {1, -0.5, 2}), 3);
  ASSERT_FALSE(sink.lines.empty());
  EXPECT_EQ(sink.lines[0], "Negative probability");
}

TEST(DrawChooser, WarningsEndWithTheThreeLineReport) {
  CollectSink sink;
  FixedDraw d{0.5f};
  DrawChooser<FixedDraw> ch(3, 4, 1, 0.5, d, sink);
  double w[5] = {0, 1, 3e8, 1, 0};
  BlockInfo info{2, 1, 2, 1, 0, 1};
  ch.choose_plus(w, 3, info);
  ASSERT_EQ(sink.reports.size(), 1u);
  EXPECT_NE(sink.reports[0].find("3e+08"), std::string::npos);
  ch.finish();
  ASSERT_EQ(sink.lines.size(), 3u);
  EXPECT_EQ(sink.lines[0], "Current parameters: N= 3 T= 4 S= 1 q= 0.5");
  EXPECT_EQ(sink.lines[1], "Arithmetical warning. Results may be wrong");
  EXPECT_EQ(sink.lines[2].rfind("If you want to help improving the program, please, send the "
                                "description of the situation when this bug appeared to",
                                0),
            0u);
  // The S->S-1 chooser writes its diagnostic to the text lines.
  CollectSink sink2;
  DrawChooser<FixedDraw> ch2(3, 4, 1, 0.5, d, sink2);
  double p[5] = {0, 1, -1, 1, 0};
  ch2.choose_minus(p, 3, info);
  EXPECT_EQ(sink2.lines.size(), 1u);
  EXPECT_TRUE(sink2.reports.empty());
}

TEST(StepCommand, ChecksAndAveraging) {
  int32_t steps = 0, samples = 0;
  EXPECT_TRUE(check_step_fields("5", "1", 5, 10, true, steps, samples));
  EXPECT_EQ(steps, 5);
  EXPECT_FALSE(check_step_fields("6", "1", 5, 10, true, steps, samples));
  EXPECT_TRUE(check_step_fields("5", "3", 5, 10, false, steps, samples));
  EXPECT_FALSE(check_step_fields("6", "1", 5, 10, false, steps, samples));
  for (const char* bad : {"", "0", "-1", "abc", "1.5", "99999999999"})
    EXPECT_FALSE(check_step_fields(bad, "1", 0, 10, true, steps, samples)) << bad;
  EXPECT_FALSE(check_step_fields("1", "0", 0, 10, true, steps, samples));
  // A refusal names the field, its rule and the bound that holds now.
  for (const auto& [steps_text, samples_text, S, plus, rule] :
       std::vector<std::tuple<const char*, const char*, int32_t, bool, std::string>>{
           {"41", "1", 40, false,
            "Number of steps: an integer from 1 to S; at most 40 steps: S is 40"},
           {"1", "1", 0, false,
            "Number of steps: an integer from 1 to S; no step can be made: S is 0"},
           {"2", "1", 9, true,
            "Number of steps: an integer from 1 to T-S; at most 1 step: T-S is 1"},
           {"x", "1", 5, true,
            "Number of steps: an integer from 1 to T-S; at most 5 steps: T-S is 5"},
           {"1", "0", 5, true, "Number of samples: an integer of at least 1"},
           {"1", "", 5, false, "Number of samples: an integer of at least 1"},
       }) {
    const StepFields r = read_step_fields(steps_text, samples_text, S, 10, plus);
    EXPECT_FALSE(r.ok) << rule;
    EXPECT_EQ(r.rule, rule);
  }

  // One sample: the run's configuration exactly, with a line per step.
  Hexagon hex;
  ASSERT_EQ(set_hexagon(hex, HexagonParams{3, 6, 0, {}}), "");
  RandomSource rng(5);
  CollectSink sink;
  run_step_command(hex, true, 4, 1, rng, sink);
  EXPECT_EQ(hex.params.S, 4);
  EXPECT_EQ(check_invariants(hex.paths, 3, 6, 4), "");
  ASSERT_EQ(sink.lines.size(), 4u);
  EXPECT_EQ(sink.lines[3], "Iteration 1 S=4");

  // Several samples: element-wise average rounded toward zero, a valid family.
  sink.lines.clear();
  run_step_command(hex, false, 2, 3, rng, sink);
  EXPECT_EQ(hex.params.S, 2);
  EXPECT_EQ(sink.lines.size(), 6u);
  EXPECT_EQ(sink.lines.back(), "Iteration 3 S=2");
  EXPECT_EQ(check_invariants(hex.paths, 3, 6, 2), "");
}

// Averaging rounds toward zero: heights 1 and 0 over 2 samples give 0, not 1.
TEST(StepCommand, AverageTruncates) {
  // N = 1, T = 2, S: 0 -> 1. Of the two samples, one rises at slice 1 and one
  // at slice 2, found by trying seeds; the middle height averages to (1+0)/2.
  for (int64_t seed = 1; seed < 200; ++seed) {
    Hexagon hex;
    ASSERT_EQ(set_hexagon(hex, HexagonParams{1, 2, 0, {}}), "");
    RandomSource rng(seed);
    NullSink sink;
    // Find what the two runs give by replaying the same stream.
    RandomSource replay(seed);
    Hexagon a = hex, b = hex;
    run_step_command(a, true, 1, 1, replay, sink);
    run_step_command(b, true, 1, 1, replay, sink);
    run_step_command(hex, true, 1, 2, rng, sink);
    EXPECT_EQ(hex.paths(1, 1), (a.paths(1, 1) + b.paths(1, 1)) / 2);
    if (a.paths(1, 1) + b.paths(1, 1) == 1) {
      EXPECT_EQ(hex.paths(1, 1), 0);
      return;
    }
  }
  FAIL() << "no seed gave two different samples";
}

// The same with larger heights: a cell at 3 in one run and 4 in the other
// averages to 3 (7 over 2, rounded toward zero).
TEST(StepCommand, SevenOverTwoSamplesGivesThree) {
  for (int64_t seed = 1; seed < 500; ++seed) {
    Hexagon hex;
    ASSERT_EQ(set_hexagon(hex, HexagonParams{3, 8, 0, {}}), "");
    NullSink sink;
    RandomSource replay(seed), rng(seed);
    Hexagon a = hex, b = hex;
    run_step_command(a, true, 4, 1, replay, sink);
    run_step_command(b, true, 4, 1, replay, sink);
    run_step_command(hex, true, 4, 2, rng, sink);
    for (int32_t t = 0; t <= 8; ++t)
      for (int32_t i = 1; i <= 3; ++i)
        if (a.paths(i, t) + b.paths(i, t) == 7) {
          EXPECT_EQ(hex.paths(i, t), 3);
          return;
        }
  }
  FAIL() << "no seed gave heights 3 and 4 at one cell";
}

}  // namespace
}  // namespace lozengia
