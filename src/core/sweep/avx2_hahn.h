// Hahn's blocks four at a time, in the lanes of AVX2 vectors.
#pragma once

#include "core/sweep/isa.h"

#ifdef LOZENGIA_AVX2

#include <algorithm>
#include <cstdint>

#include "core/sweep/avx2_lanes.h"
#include "core/sweep/block_list.h"
#include "core/sweep/hahn_blocks.h"
#include "core/sweep/workspace.h"
#include "core/weights.h"

namespace lozengia::sweep {

// Hahn's blocks of four to seven particles, four at a time, one per lane, as
// eight outcomes whose unused ones weigh 0: hahn_large's numbers, operation
// for operation, with the four blocks' chains of products and sums side by
// side. `places` lists positions in the redo list (whose ends are in
// ws.redo_ends); a block drawn and written is marked in ws.redo_finished, one
// whose threshold fell past the total is left for hahn_large. Factors past a
// block are read from the table too (its padding holds 0 below 1) and weigh
// nothing.
template <bool Plus, bool Forward>
__attribute__((target("avx2"))) void hahn_medium_groups(SweepWorkspace& ws,
                                                        const int32_t* old_heights,
                                                        int32_t* new_heights, const int32_t* places,
                                                        int32_t count, const HahnRatios& ratios) {
  const double* inv = ws.tables.inv_data();
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
    const MediumLanes ln = medium_lanes(ws, old_heights, at);
    const int32_t* xs = ln.xs;
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
        _mm256_cvtepi32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ln.outcomes)));
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
    draw_medium<Plus>(ws, new_heights, ln, at, w, skip);
  }
}

// Hahn's blocks four at a time: the slice's draws are made beforehand, so its
// blocks do not depend on one another. A block of four particles or more is
// weighed in its lane as if it had three (those writes land inside it) and
// then drawn and written whole by hahn_large; a lane whose threshold fell past
// the total goes through the single-block code again, which asks the
// chooser. Returns how many blocks were done (a multiple of four); the rest
// are left to the caller.
template <bool Plus, bool Forward>
__attribute__((target("avx2"))) int32_t hahn_groups(SweepWorkspace& ws, int32_t t,
                                                    const int32_t* old_heights,
                                                    int32_t* new_heights, int32_t count,
                                                    const HahnSmallBlock<Plus, Forward>& small,
                                                    const HahnRatios& ratios) {
  const double* inv = ws.tables.inv_data();
  const int32_t* starts = ws.block_starts.data();
  const uint8_t* links = ws.links.data();
  const float* spans = ws.spans.data();
  const int32_t D = ws.T - t - ws.S, N = ws.N, S = ws.S;
  const __m256d one = _mm256_set1_pd(1.0), two = _mm256_set1_pd(2.0), three = _mm256_set1_pd(3.0);
  int32_t* redo_list = ws.redo_list.data();
  int32_t redo_count = 0;
  int32_t block = 0;
  for (; block + 4 <= count; block += 4) {
    const Lanes ln = lanes(starts, links, old_heights, block);
    const __m128i x = ln.x;
    // Each lane's three reciprocals are consecutive in the table, rising
    // with x in S->S+1 and falling in S->S-1: four rows of four read from
    // each lane's lowest index, and transposed. In S->S-1 the single-block
    // code clamps indices below 1 to 1; those factors belong past the block
    // and are unused, and the table holds a finite 0 there.
    const int32_t offset = Plus ? (Forward ? 1 : D) : (Forward ? S + N - 1 : N + t) - 2;
    constexpr int32_t direction = Plus ? 1 : -1;
    __m256d col[4];
    rows_to_columns(inv + offset, direction, ln.xs, col);
    // The reciprocals of the first, second and third factor.
    const __m256d t0 = Plus ? col[0] : col[2], t1 = col[1], t2 = Plus ? col[2] : col[0];
    const __m256d xd = _mm256_cvtepi32_pd(x);
    __m256d w1, w2, w3, w4;
    if constexpr (!Forward) {
      // w(k) = w(k+1) f_k + [k = m]: 1 at the last outcome, 0 past it.
      const __m256d last4 = _mm256_and_pd(lane_mask(ln.has_third), one);
      const __m256d last3 =
          _mm256_and_pd(lane_mask(_mm_andnot_si128(ln.has_third, ln.has_second)), one);
      const __m256d last2 = _mm256_andnot_pd(lane_mask(ln.has_second), one);
      __m256d f1, f2, f3;
      if constexpr (Plus) {
        f1 = _mm256_mul_pd(_mm256_add_pd(xd, one), t0);
        f2 = _mm256_mul_pd(_mm256_add_pd(xd, two), t1);
        f3 = _mm256_mul_pd(_mm256_add_pd(xd, three), t2);
      } else {
        const __m256d e = _mm256_cvtepi32_pd(_mm_sub_epi32(_mm_set1_epi32(S + N - 1), x));
        f1 = _mm256_mul_pd(e, t0);
        f2 = _mm256_mul_pd(_mm256_sub_pd(e, one), t1);
        f3 = _mm256_mul_pd(_mm256_sub_pd(e, two), t2);
      }
      w4 = last4;
      w3 = _mm256_add_pd(_mm256_mul_pd(w4, f3), last3);
      w2 = _mm256_add_pd(_mm256_mul_pd(w3, f2), last2);
      w1 = _mm256_mul_pd(w2, f1);
    } else {
      __m256d d, d1, d2;
      if constexpr (Plus) {
        d = _mm256_cvtepi32_pd(_mm_add_epi32(x, _mm_set1_epi32(D)));
        d1 = _mm256_add_pd(d, one);
        d2 = _mm256_add_pd(d, two);
      } else {
        d = _mm256_cvtepi32_pd(_mm_sub_epi32(_mm_set1_epi32(N + t), x));
        d1 = _mm256_sub_pd(d, one);
        d2 = _mm256_sub_pd(d, two);
      }
      w1 = one;
      w2 = _mm256_mul_pd(d, t0);
      const __m256d r3 = _mm256_mul_pd(w2, _mm256_mul_pd(d1, t1));
      const __m256d r4 = _mm256_mul_pd(r3, _mm256_mul_pd(d2, t2));
      w3 = _mm256_and_pd(r3, lane_mask(ln.has_second));
      w4 = _mm256_and_pd(r4, lane_mask(ln.has_third));
    }
    const int past = walk_and_write<Plus>(spans, block, new_heights, ln, w1, w2, w3, w4);
    // Lanes to redo: long blocks, and thresholds past the total (below = m),
    // which are rare. They are listed without a branch and done after the
    // groups, in block order (so any messages come in the order of the
    // blocks); the loop over groups then has no branch that could be
    // mispredicted.
    const int longs =
        _mm_movemask_ps(_mm_castsi128_ps(_mm_sub_epi32(_mm_setzero_si128(), ln.has_fourth)));
    list_redone(redo_list, redo_count, block, longs | past);
  }
  // Blocks of four to seven particles first, four at a time (Hahn's draw no
  // message before the chooser); then everything else in block order.
  const int32_t medium_count = sort_redone(ws, redo_count, [](int32_t, int32_t) { return true; });
  hahn_medium_groups<Plus, Forward>(ws, old_heights, new_heights, ws.medium_places.data(),
                                    medium_count, ratios);
  for (int32_t k = 0; k < redo_count; ++k) {
    if (ws.redo_finished[static_cast<std::size_t>(k)]) continue;
    const int32_t b = redo_list[k], i = starts[b], j = ws.redo_ends[static_cast<std::size_t>(k)];
    if (j >= 0)
      hahn_large<Plus>(ws, ratios, old_heights, new_heights, i, j, b, true);
    else
      small(i, links[i], links[i] & links[i + 1], b);
  }
  return block;
}

}  // namespace lozengia::sweep

#endif  // LOZENGIA_AVX2
