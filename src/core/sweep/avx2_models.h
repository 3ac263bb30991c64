// The other models' blocks several at a time, in the lanes of AVX2 vectors.
#pragma once

#include <cstdint>

#include "core/sweep/isa.h"
#include "core/sweep/model_blocks.h"
#include "core/sweep/workspace.h"
#include "core/weights.h"

#ifdef LOZENGIA_AVX2

#include "core/sweep/avx2_lanes.h"
#include "core/sweep/block_list.h"
#include "core/sweep/redo.h"

namespace lozengia::sweep {

// A block of four particles or more in the plain range: factor_large_plain's
// numbers, blocks of four to seven particles drawn by medium_block_avx2 without a
// loop, the ratios of longer ones made four at a time.
template <int Kind, bool Plus>
LOZENGIA_AVX2_FUNCTION void factor_large_avx2(SweepWorkspace& work, int32_t t,
                                              const int32_t* old_heights, int32_t* new_heights,
                                              int32_t i, int32_t j, int32_t block, bool whole) {
  if (certain_block<Plus>(work, t, old_heights, new_heights, i, j, whole)) return;
  if (j - i < 7 && medium_block_avx2<Kind, Plus>(work, t, old_heights, new_heights, i, j, block))
    return;
  const bool finite = factor_ratios_avx2<Kind, Plus>(work.tables, t, work.S, old_heights[i],
                                                     j - i + 1, work.ratios.data());
  factor_large_core<Kind, Plus>(work, t, old_heights, new_heights, i, j, block, whole, finite);
}

// Blocks of four to seven particles, four at a time, one per lane: the
// numbers of medium_block_avx2, lane by lane, so that the chains of products and
// sums of four blocks run side by side. `places` lists positions in the redo
// list (whose ends are in work.redo_ends); a block drawn and written is marked
// in work.redo_finished, the others (a weight out of range, negative or
// undefined, a threshold past the total) are left for factor_large_avx2.
template <int Kind, bool Plus>
LOZENGIA_AVX2_FUNCTION void medium_groups_avx2(SweepWorkspace& work, int32_t t,
                                               const int32_t* old_heights, int32_t* new_heights,
                                               const int32_t* places, int32_t count) {
  const int32_t* starts = work.block_starts.data();
  const FactorRows<Plus> rows(work.tables, t, work.S);
  const __m256d one = _mm256_set1_pd(1.0);
  int32_t q = 0;
  for (; q + 4 <= count; q += 4) {
    const MediumLanes lanes = medium_lanes(work, old_heights, places + q);
    const int32_t* xs = lanes.xs;
    // The ratios of heights x + k, k = 0..7: entry 3 - k of a falling row
    // read from x, entry 7 - k of one read from x + 4; rising rows the other
    // way round.
    __m256d r[8];
    {
      __m256d lo[4], hi[4];
      rows_to_columns(rows.first, -1, xs, lo);
      rows_to_columns(rows.first - 4, -1, xs, hi);
      for (int k = 0; k < 4; ++k) {
        r[k] = lo[3 - k];
        r[4 + k] = hi[3 - k];
      }
      rows_to_columns(rows.second, rows.kSecondDirection, xs, lo);
      rows_to_columns(rows.second + 4 * rows.kSecondDirection, rows.kSecondDirection, xs, hi);
      for (int k = 0; k < 4; ++k) {
        r[k] = _mm256_mul_pd(r[k], Plus ? lo[k] : lo[3 - k]);
        r[4 + k] = _mm256_mul_pd(r[4 + k], Plus ? hi[k] : hi[3 - k]);
      }
      if constexpr (Kind != kQHahn) {
        rows_to_columns(rows.third, -1, xs, lo);
        rows_to_columns(rows.third - 4, -1, xs, hi);
        for (int k = 0; k < 4; ++k) {
          r[k] = _mm256_mul_pd(r[k], lo[3 - k]);
          r[4 + k] = _mm256_mul_pd(r[4 + k], hi[3 - k]);
        }
      }
    }
    const __m256i outcomes =
        _mm256_cvtepi32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes.outcomes)));
    __m256d w[9];
    __m256d product = one;
    __m256d fine = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    w[1] = one;
    for (int k = 2; k <= 8; ++k) {
      const __m256d used =
          _mm256_castsi256_pd(_mm256_cmpgt_epi64(outcomes, _mm256_set1_epi64x(k - 1)));
      product = _mm256_mul_pd(product, _mm256_blendv_pd(one, r[k - 2], used));
      w[k] = _mm256_and_pd(product, used);
      fine = _mm256_and_pd(fine, ordinary_weights(w[k]));
    }
    const int bad = _mm256_movemask_pd(fine) ^ 15;
    scale_lanes_by_largest<8>(w);
    draw_medium<Plus>(work, new_heights, lanes, places + q, w, bad);
  }
  for (; q < count; ++q) {
    const auto place = static_cast<std::size_t>(places[q]);
    const int32_t block = work.redo_list[place], i = starts[block];
    if (medium_block_avx2<Kind, Plus>(work, t, old_heights, new_heights, i, work.redo_ends[place],
                                      block))
      work.redo_finished[place] = 1;
  }
}

// The other models' blocks four at a time, as Hahn's (see hahn_groups): each
// lane reads its three ratios' factors as rows of the factor tables and
// computes the single-block code's weights operation for operation, scaled
// so that the largest is 1. A lane whose block has four particles or more,
// whose weights are not all ordinary (an impossible or certain outcome, a
// value needing an exponent, a negative weight with its message) or whose
// threshold fell past the total is put on the redo list and done again
// after the groups, in block order (so that messages come in the order of the
// blocks) and written whole: long blocks by factor_large_avx2, the others the
// general way. Returns how many blocks were done (a multiple of four).
template <int Kind, bool Plus>
LOZENGIA_AVX2_FUNCTION int32_t model_groups_avx2(SweepWorkspace& work, int32_t t,
                                                 const int32_t* old_heights, int32_t* new_heights,
                                                 int32_t count) {
  const int32_t* starts = work.block_starts.data();
  const uint8_t* links = work.links.data();
  const float* spans = work.spans.data();
  const FactorRows<Plus> rows(work.tables, t, work.S);
  const __m256d one = _mm256_set1_pd(1.0);
  int32_t* redo_list = work.redo_list.data();
  int32_t redo_count = 0;
  int32_t block = 0;
  for (; block + 4 <= count; block += 4) {
    const Lanes<4> lanes = Lanes<4>::read(work, old_heights, block);
    __m256d first[4], second[4], third[4];
    rows_to_columns(rows.first, -1, lanes.xs, first);
    rows_to_columns(rows.second, rows.kSecondDirection, lanes.xs, second);
    __m256d r2 = _mm256_mul_pd(first[3], second[Plus ? 0 : 3]);
    __m256d r3 = _mm256_mul_pd(first[2], second[Plus ? 1 : 2]);
    __m256d r4 = _mm256_mul_pd(first[1], second[Plus ? 2 : 1]);
    if constexpr (Kind != kQHahn) {
      rows_to_columns(rows.third, -1, lanes.xs, third);
      r2 = _mm256_mul_pd(r2, third[3]);
      r3 = _mm256_mul_pd(r3, third[2]);
      r4 = _mm256_mul_pd(r4, third[1]);
    }
    // w1 = 1; past the block a ratio counts as 1 and its weight as 0.
    const __m256d used3 = lane_mask(lanes.has_second), used4 = lane_mask(lanes.has_third);
    __m256d w[5];
    w[1] = one;
    w[2] = r2;
    w[3] = _mm256_mul_pd(w[2], _mm256_blendv_pd(one, r3, used3));
    w[4] = _mm256_mul_pd(w[3], _mm256_blendv_pd(one, r4, used4));
    w[3] = _mm256_and_pd(w[3], used3);
    w[4] = _mm256_and_pd(w[4], used4);
    const int bad = _mm256_movemask_pd(
                        _mm256_and_pd(_mm256_and_pd(ordinary_weights(w[2]), ordinary_weights(w[3])),
                                      ordinary_weights(w[4]))) ^
                    15;
    scale_lanes_by_largest<4>(w);
    const int past = walk_and_write<Plus>(spans, starts, block, new_heights, lanes, w + 1);
    list_redone(redo_list, redo_count, lanes, bad | past, block);
  }
  // The redo step (redo.h): blocks of four to seven particles first, four at
  // a time (they draw no message); then everything else in block order.
  const int32_t medium_count = sort_redone<false>(work, redo_count, [&](int32_t i, int32_t j) {
    return !certain<Plus>(work, t, old_heights, i, j);
  });
  medium_groups_avx2<Kind, Plus>(work, t, old_heights, new_heights, work.medium_places.data(),
                                 medium_count);
  redo_unfinished(
      work, redo_count,
      [&](int32_t i, int32_t j, int32_t b) {
        factor_large_avx2<Kind, Plus>(work, t, old_heights, new_heights, i, j, b, true);
      },
      [&](int32_t i, int32_t b) {
        general_block<Kind, Plus>(work, t, old_heights, new_heights, i,
                                  i + links[i] + (links[i] & links[i + 1]), b, true);
      });
  return block;
}

}  // namespace lozengia::sweep

#endif  // LOZENGIA_AVX2

namespace lozengia::sweep {

// A long block of the other models in the plain range (their factor tables)
// on the path's widest code.
template <VectorPath Path, int Kind, bool Plus>
inline void factor_large(SweepWorkspace& work, int32_t t, const int32_t* old_heights,
                         int32_t* new_heights, int32_t i, int32_t j, int32_t block, bool whole) {
#ifdef LOZENGIA_AVX2
  if constexpr (Path != VectorPath::kPlain)
    return factor_large_avx2<Kind, Plus>(work, t, old_heights, new_heights, i, j, block, whole);
#endif
  factor_large_plain<Kind, Plus>(work, t, old_heights, new_heights, i, j, block, whole);
}

// Step 3 of the other models' slice: their small blocks four at a time, on
// both vector paths (the 8-lane path has no wider form of them). Returns how
// many of the slice's `count` blocks were done (none on the plain path).
template <VectorPath Path, int Kind, bool Plus>
inline int32_t model_groups(SweepWorkspace& work, int32_t t, const int32_t* old_heights,
                            int32_t* new_heights, int32_t count) {
#ifdef LOZENGIA_AVX2
  if constexpr (Path != VectorPath::kPlain)
    return model_groups_avx2<Kind, Plus>(work, t, old_heights, new_heights, count);
#endif
  (void)work, (void)t, (void)old_heights, (void)new_heights, (void)count;
  return 0;
}

}  // namespace lozengia::sweep
