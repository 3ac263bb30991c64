// Hahn's blocks four at a time, in the lanes of AVX2 vectors: the small
// blocks' groups (hahn_group_body.h) and the redo step's blocks of four to
// seven particles.
#pragma once

#include "core/sweep/isa.h"

#ifdef LOZENGIA_AVX2

#include <algorithm>
#include <cstdint>

#include "core/sweep/avx2_lanes.h"
#include "core/sweep/block_list.h"
#include "core/sweep/hahn_blocks.h"
#include "core/sweep/redo.h"
#include "core/sweep/workspace.h"
#include "core/weights.h"

namespace lozengia::sweep {

// Hahn's blocks of four to seven particles, four at a time, one per lane, as
// eight outcomes whose unused ones weigh 0: hahn_large's numbers, operation
// for operation, with the four blocks' chains of products and sums side by
// side. `places` lists positions in the redo list (whose ends are in
// work.redo_ends); a block drawn and written is marked in work.redo_finished, one
// whose threshold fell past the total is left for hahn_large. Factors past a
// block are read from the table too (its padding holds 0 below 1) and weigh
// nothing.
template <bool Plus, bool Forward>
LOZENGIA_AVX2_FUNCTION void hahn_medium_groups_avx2(SweepWorkspace& work,
                                                    const int32_t* old_heights,
                                                    int32_t* new_heights, const int32_t* places,
                                                    int32_t count, const HahnRatios& ratios) {
  const double* inv = work.tables.inv_data();
  const __m256d one = _mm256_set1_pd(1.0), zero = _mm256_setzero_pd();
  constexpr int32_t step = Plus ? 1 : -1;
  // A factor is num(h) / den(h) for a height h: forward from a + step h over
  // b + step h, backward the inverse (see HahnRatios).
  const int64_t num0 = Forward ? ratios.a : ratios.b, den0 = Forward ? ratios.b : ratios.a;
  for (int32_t q = 0; q < count; q += 4) {
    // The last one to three blocks make a group too, filled up with copies
    // of the last block that are neither drawn nor written.
    const int32_t* at = places + q;
    int32_t own[4];
    int skip = 0;
    if (q + 4 > count) {
      for (int l = 0; l < 4; ++l) {
        own[l] = places[std::min(q + l, count - 1)];
        skip |= (q + l >= count) << l;
      }
      at = own;
    }
    const MediumLanes lanes = medium_lanes(work, old_heights, at);
    const int32_t* xs = lanes.xs;
    // f[h]: the factor of height x + h, h = 0..7: the reciprocals of
    // den0 + step (x + h) as columns of rows read from each lane's x.
    __m256d f[8];
    {
      __m256d lo[4], hi[4];
      if constexpr (Plus) {
        rows_to_columns(inv + den0, 1, xs, lo);
        rows_to_columns(inv + den0 + 4, 1, xs, hi);
        for (int h = 0; h < 4; ++h) {
          f[h] = lo[h];
          f[4 + h] = hi[h];
        }
      } else {
        rows_to_columns(inv + den0 - 3, -1, xs, lo);
        rows_to_columns(inv + den0 - 7, -1, xs, hi);
        for (int h = 0; h < 4; ++h) {
          f[h] = lo[3 - h];
          f[4 + h] = hi[3 - h];
        }
      }
      const __m256d xd = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(xs)));
      const __m256d num = Plus ? _mm256_add_pd(_mm256_set1_pd(static_cast<double>(num0)), xd)
                               : _mm256_sub_pd(_mm256_set1_pd(static_cast<double>(num0)), xd);
      for (int h = 0; h < 8; ++h)
        f[h] =
            _mm256_mul_pd(_mm256_add_pd(num, _mm256_set1_pd(static_cast<double>(step * h))), f[h]);
    }
    const __m256i outcomes =
        _mm256_cvtepi32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes.outcomes)));
    __m256d w[10];
    if constexpr (Forward) {
      // w(1) = 1, w(k) = w(k-1) f(x + k - 2), 0 past the block.
      w[1] = one;
      __m256d v = one;
      for (int k = 2; k <= 8; ++k) {
        const __m256d used =
            _mm256_castsi256_pd(_mm256_cmpgt_epi64(outcomes, _mm256_set1_epi64x(k - 1)));
        v = _mm256_mul_pd(v, f[k - 2]);
        w[k] = _mm256_and_pd(v, used);
      }
    } else {
      // w(k) = w(k+1) f(x + k - 1) + [k = m]: 1 at the last outcome, 0 past it.
      w[9] = zero;
      for (int k = 8; k >= 1; --k) {
        const __m256d last = _mm256_and_pd(
            _mm256_castsi256_pd(_mm256_cmpeq_epi64(outcomes, _mm256_set1_epi64x(k))), one);
        w[k] = _mm256_add_pd(_mm256_mul_pd(w[k + 1], f[k - 1]), last);
      }
    }
    draw_medium<Plus>(work, new_heights, lanes, at, w, skip);
  }
}

// A long block left on the redo list (see hahn_group_body.h), drawn and
// written whole.
template <bool Plus>
inline void redo_hahn_large(const Lanes<4>*, SweepWorkspace& work, const HahnRatios& ratios,
                            const int32_t* old_heights, int32_t* new_heights, int32_t i, int32_t j,
                            int32_t block) {
  hahn_large<Plus>(work, ratios, old_heights, new_heights, i, j, block, true);
}

// Hahn's small blocks four at a time: hahn_groups_avx2.
#define LOZENGIA_GROUP_LANES Lanes<4>
#define LOZENGIA_GROUP_FUNCTION LOZENGIA_AVX2_FUNCTION
#define LOZENGIA_GROUP_LAMBDA LOZENGIA_AVX2_LAMBDA
#define LOZENGIA_GROUP_NAME hahn_groups_avx2
#include "core/sweep/hahn_group_body.h"
#undef LOZENGIA_GROUP_LANES
#undef LOZENGIA_GROUP_FUNCTION
#undef LOZENGIA_GROUP_LAMBDA
#undef LOZENGIA_GROUP_NAME

}  // namespace lozengia::sweep

#endif  // LOZENGIA_AVX2
