// Hahn's small blocks eight at a time, in the lanes of AVX-512 vectors: the
// 4-lane code (avx2_hahn.h) with twice the lanes, lane for lane the same
// operations, so the same bits. What the groups leave (long blocks, a
// threshold past the total) is redone as on the 4-lane path.
#pragma once

#include "core/sweep/isa.h"

#ifdef LOZENGIA_AVX512

#include <cstdint>
#include <cstring>

#include "core/sweep/avx2_hahn.h"
#include "core/sweep/avx2_lanes.h"
#include "core/sweep/avx512_long.h"
#include "core/sweep/hahn_blocks.h"
#include "core/sweep/workspace.h"
#include "core/weights.h"

// GCC 12 warns that its own AVX-512 conversion intrinsics (_mm512_cvtps_pd,
// _mm512_cvtepi32_pd, _mm512_cvtpd_ps) read an uninitialised "undefined"
// vector, which they deliberately leave undefined: a false positive.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define LOZENGIA_AVX512_INLINE __attribute__((always_inline, target(LOZENGIA_AVX512_TARGET))) inline

namespace lozengia::sweep {

// Eight consecutive blocks b..b+7 of a slice, one per lane (see Lanes): the
// first and last particles are consecutive in the listing's two lists; the
// old height of each block's first particle is read one lane at a time
// (measured faster than the gather instructions).
struct Lanes8 {
  __m256i first, has_second, has_third, has_fourth, x;
  alignas(32) int32_t xs[8];
};

LOZENGIA_AVX512_INLINE Lanes8 lanes8(const int32_t* starts, const int32_t* ends,
                                     const int32_t* old_heights, int32_t block) {
  Lanes8 ln;
  const __m256i one = _mm256_set1_epi32(1), two = _mm256_set1_epi32(2);
  for (int l = 0; l < 8; ++l) ln.xs[l] = old_heights[starts[block + l]];
  ln.first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(starts + block));
  // The particles after the first.
  const __m256i more = _mm256_sub_epi32(
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ends + block)), ln.first);
  ln.has_second = _mm256_min_epi32(more, one);
  ln.has_third = _mm256_and_si256(_mm256_cmpgt_epi32(more, one), one);
  ln.has_fourth = _mm256_and_si256(_mm256_cmpgt_epi32(more, two), one);
  ln.x = _mm256_load_si256(reinterpret_cast<const __m256i*>(ln.xs));
  return ln;
}

// rows_to_columns for eight lanes: two 4-lane transposes side by side.
LOZENGIA_AVX512_INLINE void rows_to_columns8(const double* base, int32_t dir, const int32_t* xs,
                                             __m512d* col) {
  __m256d lo[4], hi[4];
  rows_to_columns(base, dir, xs, lo);
  rows_to_columns(base, dir, xs + 4, hi);
  for (int k = 0; k < 4; ++k) col[k] = _mm512_insertf64x4(_mm512_castpd256_pd512(lo[k]), hi[k], 1);
}

// walk_and_write for eight small blocks; returns the lanes whose threshold
// fell past the total. Each lane's block is written as one row of three
// heights by a masked store of its own places (AVX-512's masked stores are
// fast, unlike AVX2's vpmaskmovd): the rows are the three vectors of heights
// transposed, which takes far fewer instructions than taking every height
// and place out of its vector one by one. A block of four particles or more
// gets its first three places written; it is redrawn whole later.
template <bool Plus>
LOZENGIA_AVX512_INLINE int walk_and_write8(const float* spans, const int32_t* starts,
                                           int32_t block, int32_t* new_heights, const Lanes8& ln,
                                           __m512d w1, __m512d w2, __m512d w3, __m512d w4,
                                           __mmask8 live = 0xFF) {
  const __m256i one_i = _mm256_set1_epi32(1), two_i = _mm256_set1_epi32(2);
  const __m256i zero_i = _mm256_setzero_si256();
  const __m256i x = ln.x;
  const __m512d c2 = _mm512_add_pd(w1, w2), c3 = _mm512_add_pd(c2, w3),
                total = _mm512_add_pd(c3, w4);
  const __m256 span = _mm256_loadu_ps(spans + block);
  __m512d v;
  if constexpr (Plus)
    v = _mm512_cvtps_pd(_mm256_mul_ps(span, _mm512_cvtpd_ps(total)));
  else
    v = _mm512_cvtps_pd(_mm512_cvtpd_ps(_mm512_mul_pd(_mm512_cvtps_pd(span), total)));
  __m256i below = zero_i;
  below = _mm256_mask_add_epi32(below, _mm512_cmp_pd_mask(w1, v, _CMP_LT_OQ), below, one_i);
  below = _mm256_mask_add_epi32(below, _mm512_cmp_pd_mask(c2, v, _CMP_LT_OQ), below, one_i);
  below = _mm256_mask_add_epi32(below, _mm512_cmp_pd_mask(c3, v, _CMP_LT_OQ), below, one_i);
  below = _mm256_mask_add_epi32(below, _mm512_cmp_pd_mask(total, v, _CMP_LT_OQ), below, one_i);
  // The heights of places 0, 1 and 2 of each block (the old heights are
  // consecutive from x): S->S+1 x + k + (k >= below), S->S-1 x + k - (k < below).
  __m256i v0, v1, v2;
  const __m256i x1 = _mm256_add_epi32(x, one_i), x2 = _mm256_add_epi32(x, two_i);
  if constexpr (Plus) {
    v0 = _mm256_sub_epi32(x, _mm256_cmpeq_epi32(below, zero_i));
    v1 = _mm256_sub_epi32(x1, _mm256_cmpgt_epi32(two_i, below));
    v2 = _mm256_sub_epi32(x2, _mm256_cmpgt_epi32(_mm256_set1_epi32(3), below));
  } else {
    v0 = _mm256_add_epi32(x, _mm256_cmpgt_epi32(below, zero_i));
    v1 = _mm256_add_epi32(x1, _mm256_cmpgt_epi32(below, one_i));
    v2 = _mm256_add_epi32(x2, _mm256_cmpgt_epi32(below, two_i));
  }
  // Rows: lane l in the low half of rows[l % 4] for l < 4, the high half for
  // l >= 4.
  const __m256i a = _mm256_unpacklo_epi32(v0, v1), b = _mm256_unpackhi_epi32(v0, v1);
  const __m256i c = _mm256_unpacklo_epi32(v2, zero_i), d = _mm256_unpackhi_epi32(v2, zero_i);
  const __m256i rows[4] = {_mm256_unpacklo_epi64(a, c), _mm256_unpackhi_epi64(a, c),
                           _mm256_unpacklo_epi64(b, d), _mm256_unpackhi_epi64(b, d)};
  // Each lane's places: 1, 3 or 7 (a block of one, two, or three or more);
  // none in a lane past the slice's last block (`live`).
  alignas(32) int32_t places[8];
  _mm256_store_si256(
      reinterpret_cast<__m256i*>(places),
      _mm256_maskz_or_epi32(live, _mm256_or_si256(one_i, _mm256_slli_epi32(ln.has_second, 1)),
                            _mm256_slli_epi32(ln.has_third, 2)));
  for (int l = 0; l < 4; ++l) {
    _mm_mask_storeu_epi32(new_heights + starts[block + l], static_cast<__mmask8>(places[l]),
                          _mm256_castsi256_si128(rows[l]));
    _mm_mask_storeu_epi32(new_heights + starts[block + 4 + l],
                          static_cast<__mmask8>(places[4 + l]),
                          _mm256_extracti128_si256(rows[l], 1));
  }
  const __m256i m = _mm256_add_epi32(_mm256_add_epi32(two_i, ln.has_second), ln.has_third);
  return _mm256_cmpgt_epi32_mask(_mm256_add_epi32(below, one_i), m);
}

// Hahn's weights of eight small blocks (see hahn_groups): the factors'
// reciprocals read as rows from each lane's height and transposed.
template <bool Plus, bool Forward>
LOZENGIA_AVX512_INLINE void weigh8(const double* inv, int32_t offset, int32_t D, int32_t N,
                                   int32_t S, int32_t t, const Lanes8& ln, __m512d* w) {
  const __m512d one = _mm512_set1_pd(1.0), two = _mm512_set1_pd(2.0), three = _mm512_set1_pd(3.0);
  constexpr int32_t direction = Plus ? 1 : -1;
  const __m256i x = ln.x;
  __m512d col[4];
  rows_to_columns8(inv + offset, direction, ln.xs, col);
  const __m512d t0 = Plus ? col[0] : col[2], t1 = col[1], t2 = Plus ? col[2] : col[0];
  const __m512d xd = _mm512_cvtepi32_pd(x);
  const __mmask8 second = _mm256_test_epi32_mask(ln.has_second, ln.has_second);
  const __mmask8 third = _mm256_test_epi32_mask(ln.has_third, ln.has_third);
  if constexpr (!Forward) {
    // w(k) = w(k+1) f_k + [k = m]: 1 at the last outcome, 0 past it.
    const __m512d last4 = _mm512_maskz_mov_pd(third, one);
    const __m512d last3 = _mm512_maskz_mov_pd(static_cast<__mmask8>(second & ~third), one);
    const __m512d last2 = _mm512_maskz_mov_pd(static_cast<__mmask8>(~second), one);
    __m512d f1, f2, f3;
    if constexpr (Plus) {
      f1 = _mm512_mul_pd(_mm512_add_pd(xd, one), t0);
      f2 = _mm512_mul_pd(_mm512_add_pd(xd, two), t1);
      f3 = _mm512_mul_pd(_mm512_add_pd(xd, three), t2);
    } else {
      const __m512d e = _mm512_cvtepi32_pd(_mm256_sub_epi32(_mm256_set1_epi32(S + N - 1), x));
      f1 = _mm512_mul_pd(e, t0);
      f2 = _mm512_mul_pd(_mm512_sub_pd(e, one), t1);
      f3 = _mm512_mul_pd(_mm512_sub_pd(e, two), t2);
    }
    w[3] = last4;
    w[2] = _mm512_add_pd(_mm512_mul_pd(w[3], f3), last3);
    w[1] = _mm512_add_pd(_mm512_mul_pd(w[2], f2), last2);
    w[0] = _mm512_mul_pd(w[1], f1);
  } else {
    __m512d d, d1, d2;
    if constexpr (Plus) {
      d = _mm512_cvtepi32_pd(_mm256_add_epi32(x, _mm256_set1_epi32(D)));
      d1 = _mm512_add_pd(d, one);
      d2 = _mm512_add_pd(d, two);
    } else {
      d = _mm512_cvtepi32_pd(_mm256_sub_epi32(_mm256_set1_epi32(N + t), x));
      d1 = _mm512_sub_pd(d, one);
      d2 = _mm512_sub_pd(d, two);
    }
    w[0] = one;
    w[1] = _mm512_mul_pd(d, t0);
    const __m512d r3 = _mm512_mul_pd(w[1], _mm512_mul_pd(d1, t1));
    const __m512d r4 = _mm512_mul_pd(r3, _mm512_mul_pd(d2, t2));
    w[2] = _mm512_maskz_mov_pd(second, r3);
    w[3] = _mm512_maskz_mov_pd(third, r4);
  }
}

// Lists a group's lanes to redo (long blocks, thresholds past the total),
// compressed into the list in block order (the list has room for a whole
// vector past its end).
LOZENGIA_AVX512_INLINE void list_redo8(int32_t* redo_list, int32_t& redo_count, const Lanes8& ln,
                                       int past, int32_t first, __mmask8 live = 0xFF) {
  const int longs = _mm256_test_epi32_mask(ln.has_fourth, ln.has_fourth);
  const auto redo = static_cast<__mmask8>((longs | past) & live);
  _mm256_storeu_si256(
      reinterpret_cast<__m256i*>(redo_list + redo_count),
      _mm256_maskz_compress_epi32(redo, _mm256_add_epi32(_mm256_set1_epi32(first),
                                                         _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7))));
  redo_count += __builtin_popcount(redo);
}

// hahn_groups with eight lanes: the same weights lane for lane (see there).
// Two groups of eight go through each step side by side: the steps of one
// group wait on one another, and the processor overlaps two groups only when
// their instructions lie close together. Returns how many blocks were done
// (a multiple of eight).
template <bool Plus, bool Forward>
__attribute__((target(LOZENGIA_AVX512_TARGET))) int32_t hahn_groups8(
    SweepWorkspace& ws, int32_t t, const int32_t* old_heights, int32_t* new_heights, int32_t count,
    const HahnSmallBlock<Plus, Forward>& small, const HahnRatios& ratios) {
  const double* inv = ws.tables.inv_data();
  const int32_t* starts = ws.block_starts.data();
  const int32_t* ends = ws.block_ends.data();
  const float* spans = ws.spans.data();
  const int32_t D = ws.T - t - ws.S, N = ws.N, S = ws.S;
  const int32_t offset = Plus ? (Forward ? 1 : D) : (Forward ? S + N - 1 : N + t) - 2;
  int32_t* redo_list = ws.redo_list.data();
  int32_t redo_count = 0;
  int32_t block = 0;
  for (; block + 16 <= count; block += 16) {
    const Lanes8 a = lanes8(starts, ends, old_heights, block);
    const Lanes8 b = lanes8(starts, ends, old_heights, block + 8);
    __m512d wa[4], wb[4];
    weigh8<Plus, Forward>(inv, offset, D, N, S, t, a, wa);
    weigh8<Plus, Forward>(inv, offset, D, N, S, t, b, wb);
    const int past_a =
        walk_and_write8<Plus>(spans, starts, block, new_heights, a, wa[0], wa[1], wa[2], wa[3]);
    const int past_b =
        walk_and_write8<Plus>(spans, starts, block + 8, new_heights, b, wb[0], wb[1], wb[2], wb[3]);
    list_redo8(redo_list, redo_count, a, past_a, block);
    list_redo8(redo_list, redo_count, b, past_b, block + 8);
  }
  for (; block + 8 <= count; block += 8) {
    const Lanes8 a = lanes8(starts, ends, old_heights, block);
    __m512d wa[4];
    weigh8<Plus, Forward>(inv, offset, D, N, S, t, a, wa);
    const int past_a =
        walk_and_write8<Plus>(spans, starts, block, new_heights, a, wa[0], wa[1], wa[2], wa[3]);
    list_redo8(redo_list, redo_count, a, past_a, block);
  }
  // The last one to seven blocks as a group whose lanes past them are
  // neither written nor redone. Those lanes read the lists' padding, which
  // holds particles of the slice (zeros, or places of an earlier slice), and
  // draws already made.
  if (block < count) {
    const auto live = static_cast<__mmask8>((1u << (count - block)) - 1);
    const Lanes8 a = lanes8(starts, ends, old_heights, block);
    __m512d wa[4];
    weigh8<Plus, Forward>(inv, offset, D, N, S, t, a, wa);
    const int past_a = walk_and_write8<Plus>(spans, starts, block, new_heights, a, wa[0], wa[1],
                                             wa[2], wa[3], live);
    list_redo8(redo_list, redo_count, a, past_a, block, live);
    block = count;
  }
  // As on the 4-lane path: blocks of four to seven particles four at a time,
  // then everything else in block order.
  // The listing gave every block's end: no search for it.
  int32_t medium_count = 0;
  for (int32_t k = 0; k < redo_count; ++k) {
    const int32_t b = redo_list[k], i = starts[b], last = ends[b];
    const int32_t j = last - i >= 3 ? last : -1;
    ws.redo_ends[static_cast<std::size_t>(k)] = j;
    ws.redo_finished[static_cast<std::size_t>(k)] = 0;
    ws.medium_places[static_cast<std::size_t>(medium_count)] = k;
    medium_count += j >= 0 && j - i < 7;
  }
  hahn_medium_groups<Plus, Forward>(ws, old_heights, new_heights, ws.medium_places.data(),
                                    medium_count, ratios);
  for (int32_t k = 0; k < redo_count; ++k) {
    if (ws.redo_finished[static_cast<std::size_t>(k)]) continue;
    const int32_t b = redo_list[k], i = starts[b], j = ws.redo_ends[static_cast<std::size_t>(k)];
    if (j >= 0) {
      if (j - i + 2 >= kLongBlockOutcomes &&
          hahn_long8<Plus>(ws, ratios, old_heights, new_heights, i, j, b))
        continue;
      hahn_large8<Plus>(ws, ratios, old_heights, new_heights, i, j, b);
    } else {
      const int32_t more = ends[b] - i;
      small(i, static_cast<int32_t>(more >= 1), static_cast<int32_t>(more >= 2), b);
    }
  }
  return block;
}

}  // namespace lozengia::sweep

#pragma GCC diagnostic pop

#endif  // LOZENGIA_AVX512
