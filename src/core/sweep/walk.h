// A block's draw and walk, and the writing of its outcome: the chooser's
// numbers, made without a branch per outcome where possible.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "core/sweep.h"
#include "core/sweep/isa.h"
#include "core/sweep/workspace.h"

namespace lozengia::sweep {

// The walk's threshold for a draw u (given as span = 1 - u, in single
// precision) and a total, rounded as the chooser rounds it: in single
// precision in S->S+1, the product in double and the result in single in
// S->S-1.
template <bool Plus>
inline double threshold(float span, double total) {
  if constexpr (Plus)
    return static_cast<double>(span * static_cast<float>(total));
  else
    return static_cast<double>(static_cast<float>(static_cast<double>(span) * total));
}

// How many of the non-decreasing sums sums[1..m] (m >= 1) lie below v: up to
// a few dozen sums all compared (independent comparisons, made several at a
// time), past that by a search without branches (each step waits for the
// one before).
inline int32_t count_below(const double* sums, int32_t m, double v) {
  if (m <= 48) {
    int32_t below = 0;
    for (int32_t k = 1; k <= m; ++k) below += sums[k] < v;
    return below;
  }
  const double* base = sums + 1;
  int32_t len = m;
  while (len > 1) {
    const int32_t half = len / 2;
    base = base[half] < v ? base + half : base;
    len -= half;
  }
  return static_cast<int32_t>(base - (sums + 1)) + (*base < v);
}

// Whether a weight needs the chooser's message: negative, huge or undefined.
inline bool needs_message(double x) { return !((x >= 0.0) & (x <= 1.0e8)); }

// The threshold of block b fell past the total of its weights w[1..m] (it was
// rounded above it): the chooser's fallback walk, on the draw already made.
template <bool Plus>
inline int32_t walk_past_total(SweepWorkspace& work, double* w, int32_t m, double total,
                               int32_t block) {
  return work.chooser.walk<Plus>(w, m, total, work.draws[static_cast<std::size_t>(block)]);
}

// Outcome of block b from its weights w[1..m], summed in work.sums to `total`,
// as the chooser's walk picks it: the first k whose cumulative weight reaches
// the threshold. With non-negative weights the cumulative sums do not
// decrease, so k - 1 is the number of sums below the threshold, counted
// without a branch per outcome. Vectors that need a message (`bad`: a
// negative, huge or undefined weight) go to the chooser, which draws and
// walks exactly the same way.
template <bool Plus>
inline int32_t pick_summed(SweepWorkspace& work, double* w, int32_t m, const BlockInfo& info,
                           int32_t block, double total, bool bad) {
  if (bad) {
    // The chooser draws the block's number itself.
    work.rng.set_state(work.draw_states[static_cast<std::size_t>(block)]);
    return Plus ? work.chooser.choose_plus(w, m, info) : work.chooser.choose_minus(w, m, info);
  }
  const double v = threshold<Plus>(work.spans[static_cast<std::size_t>(block)], total);
  const int32_t below = count_below(work.sums.data(), m, v);
  if (below < m) return below + 1;
  return walk_past_total<Plus>(work, w, m, total, block);
}

// The same for weights not yet summed.
template <bool Plus>
inline int32_t pick(SweepWorkspace& work, double* w, int32_t m, const BlockInfo& info,
                    int32_t block) {
  double* sums = work.sums.data();
  double total = 0.0;
  bool bad = false;
  for (int32_t k = 1; k <= m; ++k) {
    const double x = w[k];
    total += x;
    sums[k] = total;
    bad |= needs_message(x);
  }
  return pick_summed<Plus>(work, w, m, info, block, total, bad);
}

// Small blocks have at most four outcomes, and everything that depends on
// their number m is looked up rather than computed, so that the compiler
// makes no branch the processor could mispredict. keep[m][k] keeps the
// weight of outcome k when the block has it (k <= m) and clears it
// otherwise, as a bit mask (an unused value that is not finite is cleared
// all the same); last[m][k] is 1 at the last outcome.
struct SmallMasks {
  uint64_t keep[5][5];
  double last[5][5];
  constexpr SmallMasks() : keep{}, last{} {
    for (int m = 0; m < 5; ++m) {
      for (int k = 0; k < 5; ++k) {
        keep[m][k] = k <= m ? ~uint64_t{0} : 0;
        last[m][k] = k == m ? 1.0 : 0.0;
      }
    }
  }
};
inline constexpr SmallMasks kSmallBlock{};

inline double keep(double w, int32_t m, int k) {
  return std::bit_cast<double>(std::bit_cast<uint64_t>(w) & kSmallBlock.keep[m][k]);
}

// The draw and walk of a block of at most three particles (m <= 4 outcomes)
// with weights w1..w4, non-negative up to m and 0 past it, without a branch
// on m: returns the number of particles that stay (S->S+1) or come down
// (S->S-1). Adding the zero weights leaves the total as it is, and the
// cumulative sums past m equal the total, which a threshold within the total
// never exceeds. The numbers are the chooser's, operation for operation.
template <bool Plus>
inline int32_t small_pick(SweepWorkspace& work, double w1, double w2, double w3, double w4,
                          int32_t m, int32_t block) {
  const double c2 = w1 + w2, c3 = c2 + w3, total = c3 + w4;
  const double v = threshold<Plus>(work.spans[static_cast<std::size_t>(block)], total);
#ifdef LOZENGIA_SSE2
  // The four comparisons two at a time: each true one is -1 in its lane.
  const __m128d vv = _mm_set1_pd(v);
  const __m128i t = _mm_add_epi64(_mm_castpd_si128(_mm_cmplt_pd(_mm_set_pd(c2, w1), vv)),
                                  _mm_castpd_si128(_mm_cmplt_pd(_mm_set_pd(total, c3), vv)));
  const int32_t below =
      -static_cast<int32_t>(_mm_cvtsi128_si64(_mm_add_epi64(t, _mm_unpackhi_epi64(t, t))));
#else
  const int32_t below = (w1 < v) + (c2 < v) + (c3 < v) + (total < v);
#endif
  if (below < m) [[likely]]
    return below;
  double* w = work.weights.data();
  w[1] = w1;
  w[2] = w2;
  w[3] = w3;
  w[4] = w4;
  return walk_past_total<Plus>(work, w, m, total, block) - 1;
}

// Writes the block of m - 1 particles (at most three) from particle i, whose
// lowest `below` particles stay (S->S+1) or come down (S->S-1). The old
// heights of a block are consecutive, x = old height of particle i upwards,
// so nothing is read. Three writes clamped to the block, a repeated write
// storing the same value. `has_second` and `has_third` (0 or 1) tell whether
// the block has a second and a third particle.
template <bool Plus>
inline void write_small(int32_t x, int32_t* new_heights, int32_t i, int32_t has_second,
                        int32_t has_third, int32_t below) {
  const int32_t k1 = has_second, k2 = has_second + has_third;
  if constexpr (Plus) {
    new_heights[i] = x + (below == 0);
    new_heights[i + k1] = x + k1 + (k1 >= below);
    new_heights[i + k2] = x + k2 + (k2 >= below);
  } else {
    new_heights[i] = x - (below > 0);
    new_heights[i + k1] = x + k1 - (k1 < below);
    new_heights[i + k2] = x + k2 - (k2 < below);
  }
}

// Writes a block i..j whose particles below `edge` stay (S->S+1) or come down
// (S->S-1). The listing already gave every free particle its old height, so
// only the particles that move are written; with `whole`, every particle is
// (for a block whose particles may already have been overwritten).
template <bool Plus>
inline void write_large(const int32_t* old_heights, int32_t* new_heights, int32_t i, int32_t j,
                        int32_t edge, bool whole = false) {
  if (whole)
    for (int32_t p = i; p <= j; ++p)
      new_heights[p] = Plus ? old_heights[p] + (p >= edge) : old_heights[p] - (p < edge);
  else if constexpr (Plus)
    for (int32_t p = edge; p <= j; ++p) new_heights[p] = old_heights[p] + 1;
  else
    for (int32_t p = i; p < edge; ++p) new_heights[p] = old_heights[p] - 1;
}

}  // namespace lozengia::sweep
