// Hahn's blocks of four to fifteen particles on the 8-lane path, eight at a
// time as eight or sixteen outcomes, against the plain evaluation of each
// block: the same heights written for every block drawn, nothing written for
// a block left to the plain code (only when its threshold lies past the
// total), and nothing written outside the blocks, at the slice's end either.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/message_sink.h"
#include "core/random.h"
#include "core/sweep/avx512_medium.h"
#include "core/sweep/hahn_blocks.h"
#include "core/sweep/isa.h"
#include "core/sweep/walk.h"
#include "core/sweep/workspace.h"
#include "core/weights.h"

namespace lozengia {
namespace {

#ifdef LOZENGIA_AVX512

using sweep::SweepWorkspace;

constexpr int32_t kUnwritten = -7;

// Every factor of the block's weights reads the table inside [1, range], and
// no numerator is negative.
bool block_fits(const HahnRatios& h, int64_t x0, int32_t m, int64_t range) {
  const int64_t n0 = h.forward ? h.a : h.b, d0 = h.forward ? h.b : h.a;
  for (int64_t q = 0; q <= m - 2; ++q) {
    const int64_t num = n0 + h.step * (x0 + q), den = d0 + h.step * (x0 + q);
    if (num < 0 || den < 1 || den > range) return false;
  }
  return true;
}

// A slice's blocks: first and last particles, and the first one's height.
struct Layout {
  std::vector<int32_t> first, last;
  std::vector<int64_t> x0;
};

struct Tally {
  int drawn = 0, left = 0, mismatches = 0, stray_writes = 0, wrongly_left = 0, forward = 0,
      backward = 0, at_end = 0;
};

template <bool Plus, bool Forward, int Outcomes>
void run_group(SweepWorkspace& ws, const HahnRatios& h, const Layout& lay,
               const std::vector<int32_t>& old, Tally& tally) {
  const auto count = static_cast<int32_t>(lay.first.size());
  std::vector<int32_t> places(static_cast<std::size_t>(count));
  for (int32_t k = 0; k < count; ++k) {
    const auto kk = static_cast<std::size_t>(k);
    places[kk] = k;
    const int32_t b = 2 * k + 1;  // block numbers need not be the places
    ws.redo_list[kk] = b;
    ws.block_starts[static_cast<std::size_t>(b)] = lay.first[kk];
    ws.redo_ends[kk] = lay.last[kk];
    ws.redo_finished[kk] = 0;
  }
  // One more place past the slice's end, to see that nothing is written there.
  std::vector<int32_t> out(static_cast<std::size_t>(ws.N) + 16, kUnwritten);
  sweep::hahn_medium8<Plus, Forward, Outcomes>(ws, old.data(), out.data(), places.data(), count,
                                              h);
  std::vector<int32_t> expected(out.size(), kUnwritten);
  for (int32_t k = 0; k < count; ++k) {
    const auto kk = static_cast<std::size_t>(k);
    const int32_t b = 2 * k + 1, i = lay.first[kk], j = lay.last[kk], m = j - i + 2;
    if (ws.redo_finished[kk]) {
      ++tally.drawn;
      sweep::hahn_large<Plus>(ws, h, old.data(), expected.data(), i, j, b, true);
      continue;
    }
    ++tally.left;
    // Left only when the plain walk also runs past the total.
    std::vector<double> w(static_cast<std::size_t>(m) + 2), sums(static_cast<std::size_t>(m) + 2);
    const double total = hahn_weights<true>(ws.tables, h, lay.x0[kk], m, w.data(), sums.data());
    const double v = sweep::threshold<Plus>(ws.spans[static_cast<std::size_t>(b)], total);
    if (sweep::count_below(sums.data(), m, v) < m) ++tally.wrongly_left;
  }
  for (std::size_t p = 0; p < out.size(); ++p) {
    if (out[p] == expected[p]) continue;
    if (expected[p] == kUnwritten)
      ++tally.stray_writes;
    else
      ++tally.mismatches;
  }
  (Forward ? tally.forward : tally.backward) += count;
  tally.at_end += lay.last.back() == ws.N - 1;
}

template <int Outcomes>
Tally random_groups(int rounds, uint32_t seed) {
  const int32_t N = 120, T = 240;
  const ModelParams model{};
  const ModelTables tables(N, T, model);
  const int64_t range = ModelValues(N, T, model).range();
  ParkMiller rng(seed);
  NullSink sink;
  const int32_t lo = Outcomes == 8 ? 4 : 8, hi = Outcomes - 1;
  Tally tally;
  for (int round = 0; round < rounds; ++round) {
    const bool plus = round % 2 == 0;
    const int32_t S = 1 + static_cast<int32_t>(rng.next_float() * (T - 2));
    const int32_t t = 1 + static_cast<int32_t>(rng.next_float() * (T - 1));
    const HahnRatios h = plus ? HahnRatios::plus(T, t, S) : HahnRatios::minus(N, t, S);
    ParkMiller draws(seed + static_cast<uint32_t>(round));
    SweepWorkspace ws(tables, N, T, S, draws, sink);
    // One to twelve blocks: a full group, a partial one, or both.
    const int32_t count = 1 + static_cast<int32_t>(rng.next_float() * 12);
    Layout lay;
    std::vector<int32_t> old(static_cast<std::size_t>(N) + 16, 0);
    int32_t next = 1;
    bool fits = true;
    for (int32_t k = 0; k < count && fits; ++k) {
      const int32_t size = lo + static_cast<int32_t>(rng.next_float() * (hi - lo + 1));
      const int32_t m = size + 1;
      // Every third round ends its last block on the slice's last particle.
      if (k == count - 1 && round % 3 == 0) next = std::max(next, N - size);
      if (next + size > N) {
        fits = false;
        break;
      }
      // Heights anywhere the factors are defined; one block in four with its
      // last denominator at the end of the table (1 when the denominators
      // fall, the table's range when they rise), so that the factors past it
      // read the table's padding.
      int64_t x0 = static_cast<int64_t>(rng.next_float() * T);
      if (k % 4 == 3) {
        const int64_t d0 = h.forward ? h.b : h.a;
        x0 = h.step > 0 ? range - d0 - (m - 2) : d0 - 1 - (m - 2);
      }
      if (!block_fits(h, x0, m, range)) x0 = static_cast<int64_t>(rng.next_float() * T);
      if (!block_fits(h, x0, m, range)) {
        fits = false;
        break;
      }
      lay.first.push_back(next);
      lay.last.push_back(next + size - 1);
      lay.x0.push_back(x0);
      for (int32_t p = 0; p < size; ++p)
        old[static_cast<std::size_t>(next + p)] = static_cast<int32_t>(x0 + p);
      // A random draw, or one in three right on one of the plain sums, where
      // the rounding of the threshold decides.
      const int32_t b = 2 * k + 1;
      float span = 1.0f - rng.next_float();
      if (rng.next_float() < 1.0f / 3.0f) {
        std::vector<double> w(static_cast<std::size_t>(m) + 2),
            sums(static_cast<std::size_t>(m) + 2);
        const double total = hahn_weights<true>(tables, h, x0, m, w.data(), sums.data());
        const int32_t at = 1 + static_cast<int32_t>(rng.next_float() * m);
        span = static_cast<float>(sums[static_cast<std::size_t>(std::min(at, m))] / total);
      }
      ws.spans[static_cast<std::size_t>(b)] = span;
      ws.draws[static_cast<std::size_t>(b)] = 1.0f - span;
      next += size + static_cast<int32_t>(rng.next_float() * 3);
    }
    if (!fits || lay.first.empty()) continue;
    if (plus && h.forward) run_group<true, true, Outcomes>(ws, h, lay, old, tally);
    if (plus && !h.forward) run_group<true, false, Outcomes>(ws, h, lay, old, tally);
    if (!plus && h.forward) run_group<false, true, Outcomes>(ws, h, lay, old, tally);
    if (!plus && !h.forward) run_group<false, false, Outcomes>(ws, h, lay, old, tally);
  }
  return tally;
}

class MediumBlocks : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!sweep::processor_has_avx512()) GTEST_SKIP() << "this processor has no AVX-512";
  }
};

void expect_sound(const Tally& t) {
  EXPECT_EQ(t.mismatches, 0) << "heights differ from the plain evaluation's";
  EXPECT_EQ(t.stray_writes, 0) << "written outside the blocks drawn";
  EXPECT_EQ(t.wrongly_left, 0) << "left to the plain code with the threshold inside the total";
  // The cases must reach both anchors, the slice's end, and many blocks.
  EXPECT_GT(t.forward, 300);
  EXPECT_GT(t.backward, 300);
  EXPECT_GT(t.at_end, 30);
  EXPECT_GT(t.drawn, 1500);
}

TEST_F(MediumBlocks, FourToSevenParticlesAsEightOutcomes) {
  expect_sound(random_groups<8>(1500, 17));
}

TEST_F(MediumBlocks, EightToFifteenParticlesAsSixteenOutcomes) {
  expect_sound(random_groups<16>(1500, 29));
}

#else

TEST(MediumBlocks, NotBuilt) { GTEST_SKIP() << "built without the 8-lane path"; }

#endif

}  // namespace
}  // namespace lozengia
