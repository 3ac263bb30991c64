// The blocks of the models other than Hahn, one at a time: the general way
// (BlockWeightsT's evaluation, any block), blocks with a single possible
// outcome, and long blocks from the tables of factors.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/sweep.h"
#include "core/sweep/walk.h"
#include "core/sweep/workspace.h"
#include "core/weights.h"

namespace lozengia::sweep {

// Any block of any model, the general way, with the block's own draw: its
// weights as the plain evaluation makes them, then the walk.
template <int Kind, bool Plus>
inline void general_block(SweepWorkspace& work, int32_t t, const int32_t* old_heights,
                          int32_t* new_heights, int32_t i, int32_t j, int32_t block,
                          bool whole = false) {
  const int32_t m = j - i + 2;
  double* w = work.weights.data();
  if constexpr (Plus)
    work.block_weights.template plus_k<Kind>(t, old_heights[i], m, w);
  else
    work.block_weights.template minus_k<Kind>(t, old_heights[i], m, w);
  const BlockInfo info{t, i + 1, j + 1, work.T - t - work.S, old_heights[i], old_heights[j]};
  const int32_t k = pick<Plus>(work, w, m, info, block);
  write_large<Plus>(old_heights, new_heights, i, j, i + k - 1, whole);
}

// Where the vector code reads the factor tables of slice t: rows of four
// from one below the lowest entry used at height 0, so that, shifted by a
// height x, entry 3 - j of a falling row (entry j of a rising one) belongs to
// height x + j. The first and third factors fall with x, the second rises in
// S->S+1 and falls in S->S-1; the third is read from its table for the parity
// of t + S.
template <bool Plus>
struct FactorRows {
  FactorRows(const ModelTables& tables, int32_t t, int32_t S) {
    using F = ModelTables::Factor;
    const int32_t t_plus_S = t + S, parity = t_plus_S & 1;
    first = tables.factor_data(Plus ? F::kUpN : F::kDownN) + ((Plus ? t_plus_S : t) - 3);
    second = tables.factor_data(Plus ? F::kUpX : F::kDownX) + (Plus ? 0 : S - 3);
    third = tables.third_by_parity(Plus, parity) + ((t_plus_S - parity) / 2 - 3);
  }
  static constexpr int32_t kSecondDirection = Plus ? 1 : -1;
  const double* first;
  const double* second;
  const double* third;
};

// The ratios r[0..count) of heights x0, x0+1, ... from the factor tables
// (factor_ratio's products); returns whether all are finite numbers.
template <int Kind, bool Plus>
[[gnu::always_inline]] inline bool factor_ratios_plain(const ModelTables& tables, int32_t t,
                                                       int32_t S, int64_t x0, int32_t count,
                                                       double* r) {
  bool finite = true;
  for (int32_t k = 0; k < count; ++k) {
    r[k] = factor_ratio<Kind, Plus>(tables, t, S, x0 + k);
    finite &= std::fabs(r[k]) <= std::numeric_limits<double>::max();  // false for NaN
  }
  return finite;
}

// Blocks with a single possible outcome, common at the edges of a slice:
// in S->S+1 the lowest particle at the lowest height it may have (its ratio,
// the block's first, is 0: every later outcome is impossible), so all move
// up; in S->S-1 the top path at the greatest height (its ratio, the block's
// last, as no particle lies above it, is infinite: every earlier outcome is
// impossible), unless an impossible outcome (a ratio at N + t - x = 0) came
// before it, so all come down. Whatever the other ratios, the weights are
// then 1 and 0s, and the walk picks that outcome for any draw (which lies in
// (0, 1)).
template <bool Plus>
inline bool certain(const SweepWorkspace& work, int32_t t, const int32_t* old_heights, int32_t i,
                    int32_t j) {
  const int64_t x0 = old_heights[i], x_last = old_heights[j];
  const int64_t nt = static_cast<int64_t>(work.N) + t;
  return Plus ? static_cast<int64_t>(work.T) - t - work.S + x0 == 0
              : x_last == static_cast<int64_t>(work.S) + work.N - 1 && !(x0 <= nt && nt < x_last);
}

// Writes such a block and returns true; false for any other block.
template <bool Plus>
inline bool certain_block(const SweepWorkspace& work, int32_t t, const int32_t* old_heights,
                          int32_t* new_heights, int32_t i, int32_t j, bool whole) {
  if (!certain<Plus>(work, t, old_heights, i, j)) return false;
  write_large<Plus>(old_heights, new_heights, i, j, Plus ? i : j + 1, whole);
  return true;
}

// A block of four particles or more of a model other than Hahn, in the plain
// range (Racah and trigonometric always): the ratios straight from the factor
// tables, and the products, exponents, scaling and walk of the general
// evaluation, with its numbers: a running product that leaves [2^-300, 2^300]
// is brought back by frexp, its exponent kept, exactly as there (where it is
// brought back decides which entries underflow in the final scaling). A ratio
// that is not a finite number sends the block the general way (blocks with a
// single possible outcome are done before, by certain_block).
//
// The block's ratios are in work.ratios already, `finite` telling whether all
// are finite numbers. Compiled for any x86-64 and for AVX2, like the listing
// (see list_core).
template <int Kind, bool Plus>
[[gnu::always_inline]] inline void factor_large_core(SweepWorkspace& work, int32_t t,
                                                     const int32_t* old_heights,
                                                     int32_t* new_heights, int32_t i, int32_t j,
                                                     int32_t block, bool whole, bool finite) {
  const int32_t m = j - i + 2;
  double* w = work.weights.data();
  int32_t* exponents = work.exponents.data();
  double product = 1.0;
  int32_t exponent = 0;
  bool scaled = false;
  w[1] = 1.0;
  exponents[1] = 0;
  Largest largest{1.0, 1};                    // w[1], as long as nothing is rescaled
  const double* ratios = work.ratios.data();  // ratios[k - 2] = w(k) / w(k - 1)
  int32_t largest_exponent = 0;               // of a non-zero entry
  for (int32_t k = 2; k <= m; ++k) {
    product *= ratios[k - 2];
    if (out_of_range(product)) [[unlikely]] {
      bring_back(product, exponent);
      scaled = true;
    }
    w[k] = product;
    exponents[k] = exponent;
    largest_exponent = product != 0.0 && exponent > largest_exponent ? exponent : largest_exponent;
    const double magnitude = std::fabs(product);
    largest.at = magnitude > largest.magnitude ? k : largest.at;
    largest.magnitude = magnitude > largest.magnitude ? magnitude : largest.magnitude;
  }
  if (!finite) [[unlikely]] {
    general_block<Kind, Plus>(work, t, old_heights, new_heights, i, j, block, whole);
    return;
  }
  if (scaled) {
    for (int32_t k = 1; k <= m; ++k) {
      const int32_t d = exponents[k] - largest_exponent;
      if (d <= 0) w[k] = scale_down(w[k], d);
    }
    largest = first_largest(w, m);
  }
  scale_by_largest(w, m, largest);
  const BlockInfo info{t, i + 1, j + 1, work.T - t - work.S, old_heights[i], old_heights[j]};
  const int32_t k = pick<Plus>(work, w, m, info, block);
  write_large<Plus>(old_heights, new_heights, i, j, i + k - 1, whole);
}

template <int Kind, bool Plus>
void factor_large_plain(SweepWorkspace& work, int32_t t, const int32_t* old_heights,
                        int32_t* new_heights, int32_t i, int32_t j, int32_t block, bool whole) {
  if (certain_block<Plus>(work, t, old_heights, new_heights, i, j, whole)) return;
  const bool finite = factor_ratios_plain<Kind, Plus>(work.tables, t, work.S, old_heights[i],
                                                      j - i + 1, work.ratios.data());
  factor_large_core<Kind, Plus>(work, t, old_heights, new_heights, i, j, block, whole, finite);
}

}  // namespace lozengia::sweep
