// Hahn's blocks, one at a time: the hot loop of exact uniform samples. Every
// weight is a product of integers over integers, read from the table of
// reciprocals, in the order of hahn_weights (weights.h), so the values are
// those of the plain evaluation to the bit. Hahn weights lie in [0, 1]: there
// is never anything to report.
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/sweep/walk.h"
#include "core/sweep/workspace.h"
#include "core/weights.h"

namespace lozengia::sweep {

// A block of four particles or more (near S = 0 a slice is often one block of
// hundreds): weights, running sums and total in one pass (hahn_weights), and
// the threshold found by a search without branches over the sums, which do
// not decrease. With `whole`, every particle of the block is written, not
// only the movers.
template <bool Plus>
inline void hahn_large(SweepWorkspace& work, const HahnRatios& ratios, const int32_t* old_heights,
                       int32_t* new_heights, int32_t i, int32_t j, int32_t block,
                       bool whole = false) {
  const int32_t m = j - i + 2;
  double* w = work.weights.data();
  double* sums = work.sums.data();
  const double total = hahn_weights<true>(work.tables, ratios, old_heights[i], m, w, sums);
  const double v = threshold<Plus>(work.spans[static_cast<std::size_t>(block)], total);
  const int32_t below = count_below(sums, m, v);
  const int32_t k = below < m ? below + 1 : walk_past_total<Plus>(work, w, m, total, block);
  write_large<Plus>(old_heights, new_heights, i, j, i + k - 1, whole);
}

// A block of at most three particles (m = 2 + has_second + has_third
// outcomes), weighed, drawn and written without a branch on its length: the
// three factors are always computed, those past the block unused. Weights
// anchored at the first outcome are masked past m; anchored at the last
// (w(m) = 1), each is w(k) = w(k+1) * f_k + [k = m], which is 1 at m, 0 past
// it and the same product below it. Past the block some denominators of
// S->S-1 may reach 0 or below: they are clamped to 1, their factor unused.
template <bool Plus, bool Forward>
struct HahnSmallBlock {
  SweepWorkspace& work;
  const int32_t* old_heights;
  int32_t* new_heights;
  const double* inv;  // inv[n] = 1/n
  int64_t D, N, S, t;

  HahnSmallBlock(SweepWorkspace& work, int32_t t, const int32_t* old_heights, int32_t* new_heights)
      : work(work),
        old_heights(old_heights),
        new_heights(new_heights),
        inv(work.tables.inv_data()),
        D(static_cast<int64_t>(work.T) - t - work.S),
        N(work.N),
        S(work.S),
        t(t) {}

  void operator()(int32_t i, int32_t has_second, int32_t has_third, int32_t block) const {
    const int32_t m = 2 + has_second + has_third;
    const int64_t x = old_heights[i];
    double w1, w2, w3, w4;
    if constexpr (Plus && Forward) {
      const double d = static_cast<double>(D + x);
      w1 = 1.0;
      w2 = d * inv[x + 1];
      const double r3 = w2 * ((d + 1.0) * inv[x + 2]);
      const double r4 = r3 * ((d + 2.0) * inv[x + 3]);
      w3 = keep(r3, m, 3);
      w4 = keep(r4, m, 4);
    } else if constexpr (Plus) {
      const double* last = kSmallBlock.last[m];
      const double xd = static_cast<double>(x);
      const double* r = inv + (D + x);
      const double f1 = (xd + 1.0) * r[0];
      const double f2 = (xd + 2.0) * r[1];
      const double f3 = (xd + 3.0) * r[2];
      w4 = last[4];
      w3 = w4 * f3 + last[3];
      w2 = w3 * f2 + last[2];
      w1 = w2 * f1;
    } else if constexpr (Forward) {
      const double d = static_cast<double>(N + t - x);
      w1 = 1.0;
      w2 = d * inv[S + N - 1 - x];
      const double r3 = w2 * ((d - 1.0) * inv[std::max<int64_t>(1, S + N - 2 - x)]);
      const double r4 = r3 * ((d - 2.0) * inv[std::max<int64_t>(1, S + N - 3 - x)]);
      w3 = keep(r3, m, 3);
      w4 = keep(r4, m, 4);
    } else {
      const double* last = kSmallBlock.last[m];
      const double e = static_cast<double>(S + N - 1 - x);
      const double f1 = e * inv[N + t - x];
      const double f2 = (e - 1.0) * inv[std::max<int64_t>(1, N + t - x - 1)];
      const double f3 = (e - 2.0) * inv[std::max<int64_t>(1, N + t - x - 2)];
      w4 = last[4];
      w3 = w4 * f3 + last[3];
      w2 = w3 * f2 + last[2];
      w1 = w2 * f1;
    }
    write_small<Plus>(static_cast<int32_t>(x), new_heights, i, has_second, has_third,
                      small_pick<Plus>(work, w1, w2, w3, w4, m, block));
  }
};

}  // namespace lozengia::sweep
