// Hahn's long blocks on the 8-lane path (weights and sums as vector scans,
// checked against the plain evaluation's rounding) against the plain
// evaluation itself, block by block: the same outcome whenever the check
// decides, and the scanned sums within the error the check allows for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/message_sink.h"
#include "core/random.h"
#include "core/sweep/avx512_long.h"
#include "core/sweep/hahn_blocks.h"
#include "core/sweep/isa.h"
#include "core/sweep/workspace.h"
#include "core/weights.h"

namespace lozengia {
namespace {

#ifdef LOZENGIA_AVX512

using sweep::SweepWorkspace;

// A block of m - 1 particles at heights x0, x0 + 1, ... from particle i, in a
// slice of N particles; valid when every factor of hahn_weights reads the
// table inside [1, range] and no numerator is negative.
bool block_fits(const HahnRatios& h, int64_t x0, int32_t m, int64_t range) {
  const int64_t n0 = h.forward ? h.a : h.b, d0 = h.forward ? h.b : h.a;
  for (int64_t q = 0; q <= m - 2; ++q) {
    const int64_t num = n0 + h.step * (x0 + q), den = d0 + h.step * (x0 + q);
    if (num < 0 || den < 1 || den > range) return false;
  }
  return true;
}

struct Case {
  int32_t t, i, m;
  int64_t x0;
  float span;
};

// Runs one block both ways; returns whether the scans decided it.
template <bool Plus>
bool both_ways(SweepWorkspace& work, const HahnRatios& h, const Case& c, std::vector<int32_t>& old,
               int& mismatches, double& worst_error) {
  const int32_t j = c.i + c.m - 2;
  for (int32_t p = c.i; p <= j; ++p) old[static_cast<std::size_t>(p)] = static_cast<int32_t>(c.x0 + (p - c.i));
  work.spans[0] = c.span;
  work.draws[0] = 1.0f - c.span;
  std::vector<int32_t> scanned(old.size(), -7), plain(old.size(), -7);
  const bool decided =
      sweep::hahn_long_avx512<Plus>(work, h, old.data(), scanned.data(), c.i, j, 0);
  // The scanned running sums, before the plain evaluation overwrites the
  // buffers: anchored at the last outcome, the scans leave the sums from
  // each outcome to the last, and the running sums are the total less them.
  std::vector<double> sums(static_cast<std::size_t>(c.m));
  for (int32_t k = 1; k <= c.m; ++k)
    sums[static_cast<std::size_t>(k - 1)] =
        h.forward ? work.sums[static_cast<std::size_t>(k)]
                  : work.sums[1] - work.sums[static_cast<std::size_t>(k + 1)];
  sweep::hahn_large<Plus>(work, h, old.data(), plain.data(), c.i, j, 0, true);
  std::vector<double> w(static_cast<std::size_t>(c.m) + 2), exact(static_cast<std::size_t>(c.m) + 2);
  const double total = hahn_weights<true>(work.tables, h, c.x0, c.m, w.data(), exact.data());
  if (decided) {
    if (scanned != plain) ++mismatches;
    // The bound the check relies on: 6.1 m u of the total (4.03 anchored at
    // the first outcome), and the underflowed weights' share.
    const double bound = (h.forward ? 4.03 : 6.1) * c.m * 0x1p-53 * total + 4.0 * c.m * 0x1p-999;
    for (int32_t k = 1; k <= c.m; ++k)
      worst_error = std::max(worst_error, std::abs(sums[static_cast<std::size_t>(k - 1)] -
                                                   exact[static_cast<std::size_t>(k)]) /
                                              bound);
  } else {
    EXPECT_EQ(scanned, std::vector<int32_t>(old.size(), -7)) << "wrote without deciding";
  }
  return decided;
}

class LongBlocks : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!sweep::processor_has_avx512()) GTEST_SKIP() << "this processor has no AVX-512";
  }
};

// Random blocks of 32 to 900 outcomes, in both directions and both anchors,
// with random draws and with draws that put the threshold on one of the
// plain evaluation's sums (where the two evaluations' rounding matters).
TEST_F(LongBlocks, SameOutcomeAsThePlainEvaluation) {
  const int32_t N = 900, T = 1800;
  const ModelParams model{};
  const ModelTables tables(N, T, model);
  const int64_t range = ModelValues(N, T, model).range();
  ParkMiller rng(4242);
  ParkMiller draws(99);
  NullSink sink;
  std::vector<int32_t> old(N + 16, 0);
  int decided = 0, tried = 0, mismatches = 0, forward = 0, backward = 0, on_sums = 0;
  double worst_error = 0.0;
  for (int round = 0; round < 4000; ++round) {
    const bool plus = round % 2 == 0;
    const int32_t S = 1 + static_cast<int32_t>(rng.next_float() * (T - 2));
    const int32_t t = 1 + static_cast<int32_t>(rng.next_float() * (T - 1));
    const int32_t m = 32 + static_cast<int32_t>(std::pow(rng.next_float(), 2.0f) * (N - 31));
    const HahnRatios h = plus ? HahnRatios::plus(T, t, S) : HahnRatios::minus(N, t, S);
    const int64_t x0 = static_cast<int64_t>(rng.next_float() * T);
    if (!block_fits(h, x0, m, range)) continue;
    SweepWorkspace work(tables, N, T, S, draws, sink);
    // One block in four: the threshold right on one of the exact sums.
    float span = 1.0f - draws.next_float();
    const bool on_a_sum = (round / 2) % 4 == 0;
    if (on_a_sum) {
      std::vector<double> w(static_cast<std::size_t>(m) + 2), sums(static_cast<std::size_t>(m) + 2);
      const double total = hahn_weights<true>(tables, h, x0, m, w.data(), sums.data());
      const int32_t k = 1 + static_cast<int32_t>(draws.next_float() * (m - 1));
      span = static_cast<float>(sums[static_cast<std::size_t>(k)] / total);
    }
    const Case c{t, 3, m, x0, span};
    (h.forward ? forward : backward) += 1;
    const bool d = plus ? both_ways<true>(work, h, c, old, mismatches, worst_error)
                        : both_ways<false>(work, h, c, old, mismatches, worst_error);
    // Random draws: counted for how often the scans decide.
    if (on_a_sum) {
      ++on_sums;
    } else {
      ++tried;
      decided += d;
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_LE(worst_error, 1.0) << "the scanned sums strayed further than the check allows";
  // The test must reach both anchors and let the scans decide nearly always.
  EXPECT_GT(forward, 100);
  EXPECT_GT(backward, 100);
  EXPECT_GT(tried, 1000);
  EXPECT_GT(on_sums, 300);
  EXPECT_GT(decided, tried * 99 / 100);
}

// Factors above 1 (never Hahn's own, whose anchor keeps them in [0, 1]) are
// refused: the scans' error bound would not hold for them.
TEST_F(LongBlocks, FactorsAboveOneGoThePlainWay) {
  const int32_t N = 200, T = 400, S = 100, t = 50;
  const ModelTables tables(N, T, ModelParams{});
  ParkMiller draws(3);
  NullSink sink;
  SweepWorkspace work(tables, N, T, S, draws, sink);
  // The S->S+1 ratios of this slice anchored at the wrong end.
  HahnRatios h = HahnRatios::plus(T, t, S);
  ASSERT_FALSE(h.forward);
  h.forward = true;
  std::vector<int32_t> old(N + 16, 0), out(N + 16, -7);
  for (int32_t p = 0; p < 60; ++p) old[static_cast<std::size_t>(p)] = 20 + p;
  work.spans[0] = 0.5f;
  EXPECT_FALSE(sweep::hahn_long_avx512<true>(work, h, old.data(), out.data(), 0, 58, 0));
  EXPECT_EQ(out, std::vector<int32_t>(N + 16, -7));
}

// The plain evaluation on the 8-lane path (hahn_large_avx512: its search and writes
// in vectors) against hahn_large, on blocks of every length around the
// vectors' widths, in both directions and both anchors, with thresholds on
// the sums and at the total (often rounded past it), and blocks that end on the slice's last
// particle: the same heights, and nothing written outside the block.
TEST_F(LongBlocks, VectorSearchAndWritesAsThePlainOnes) {
  const int32_t N = 120, T = 240;
  const ModelParams model{};
  const ModelTables tables(N, T, model);
  const int64_t range = ModelValues(N, T, model).range();
  ParkMiller rng(77);
  NullSink sink;
  int compared = 0, at_end = 0, at_total = 0, mismatches = 0;
  for (int round = 0; round < 3000; ++round) {
    const bool plus = round % 2 == 0;
    const int32_t S = 1 + static_cast<int32_t>(rng.next_float() * (T - 2));
    const int32_t t = 1 + static_cast<int32_t>(rng.next_float() * (T - 1));
    const int32_t m = 5 + round % 60;  // 4 to 63 particles
    const HahnRatios h = plus ? HahnRatios::plus(T, t, S) : HahnRatios::minus(N, t, S);
    const int64_t x0 = static_cast<int64_t>(rng.next_float() * T);
    if (!block_fits(h, x0, m, range)) continue;
    // Every third block ends on the slice's last particle.
    const int32_t i = round % 3 == 0 ? N - (m - 1) : static_cast<int32_t>(rng.next_float() * 50);
    const int32_t j = i + m - 2;
    std::vector<int32_t> old(N, 5);
    for (int32_t p = i; p <= j; ++p) old[static_cast<std::size_t>(p)] = static_cast<int32_t>(x0 + (p - i));
    ParkMiller draws(static_cast<uint32_t>(round) + 1);
    SweepWorkspace work(tables, N, T, S, draws, sink);
    // A random threshold, one right on a sum, or one at the total.
    std::vector<double> w(static_cast<std::size_t>(m) + 2), sums(static_cast<std::size_t>(m) + 2);
    const double total = hahn_weights<true>(tables, h, x0, m, w.data(), sums.data());
    float span = 1.0f - rng.next_float();
    if (round % 5 == 1)
      span = static_cast<float>(sums[static_cast<std::size_t>(1 + round % (m - 1))] / total);
    if (round % 7 == 2) {
      span = 1.0f;
      ++at_total;
    }
    work.spans[0] = span;
    work.draws[0] = 1.0f - span;
    std::vector<int32_t> vec(N + 16, -7), plain(N + 16, -7);
    if (plus) {
      sweep::hahn_large_avx512<true>(work, h, old.data(), vec.data(), i, j, 0);
      sweep::hahn_large<true>(work, h, old.data(), plain.data(), i, j, 0, true);
    } else {
      sweep::hahn_large_avx512<false>(work, h, old.data(), vec.data(), i, j, 0);
      sweep::hahn_large<false>(work, h, old.data(), plain.data(), i, j, 0, true);
    }
    mismatches += vec != plain;
    ++compared;
    at_end += j == N - 1;
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(compared, 1000);
  EXPECT_GT(at_end, 300);
  EXPECT_GT(at_total, 100);
}

#else

TEST(LongBlocks, NotBuilt) { GTEST_SKIP() << "built without the 8-lane path"; }

#endif

}  // namespace
}  // namespace lozengia
