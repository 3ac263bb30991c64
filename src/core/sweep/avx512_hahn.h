// Hahn's small blocks eight at a time, in the lanes of AVX-512 vectors: the
// 4-lane groups' body (hahn_group_body.h) with twice the lanes, lane for lane
// the same operations, so the same bits. What the groups leave (long blocks,
// a threshold past the total) is redone as on the 4-lane path, long blocks
// by avx512_long.h.
#pragma once

#include "core/sweep/isa.h"

#ifdef LOZENGIA_AVX512

#include <cstdint>
#include <cstring>

#include "core/sweep/avx2_hahn.h"
#include "core/sweep/avx2_lanes.h"
#include "core/sweep/avx512_long.h"
#include "core/sweep/hahn_blocks.h"
#include "core/sweep/redo.h"
#include "core/sweep/workspace.h"
#include "core/weights.h"

LOZENGIA_AVX512_CODE_BEGIN

namespace lozengia::sweep {

// Eight consecutive blocks b..b+7 of a slice, one per lane (see Lanes<4>):
// the first and last particles are consecutive in the listing's two lists;
// the old height of each block's first particle is read one lane at a time
// (measured faster than the gather instructions).
template <>
struct Lanes<8> {
  static constexpr int32_t kWidth = 8;
  // The 8-lane listing writes block ends, not links; the slice's last blocks
  // are a group with its lanes past them masked off; two groups go through
  // each step side by side.
  static constexpr bool kListsEnds = true;
  static constexpr bool kMaskedTail = true;
  static constexpr bool kTwoGroupsAtOnce = true;
  using Doubles = __m512d;
  using Live = __mmask8;
  static constexpr Live kAllLive = 0xFF;

  __m256i first, has_second, has_third, has_fourth, x;
  alignas(32) int32_t xs[8];

  LOZENGIA_AVX512_INLINE static Lanes read(const SweepWorkspace& work, const int32_t* old_heights,
                                           int32_t block) {
    const int32_t* starts = work.block_starts.data();
    const int32_t* ends = work.block_ends.data();
    Lanes lanes;
    const __m256i one = _mm256_set1_epi32(1), two = _mm256_set1_epi32(2);
    for (int l = 0; l < 8; ++l) lanes.xs[l] = old_heights[starts[block + l]];
    lanes.first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(starts + block));
    // The particles after the first.
    const __m256i more = _mm256_sub_epi32(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ends + block)), lanes.first);
    lanes.has_second = _mm256_min_epi32(more, one);
    lanes.has_third = _mm256_and_si256(_mm256_cmpgt_epi32(more, one), one);
    lanes.has_fourth = _mm256_and_si256(_mm256_cmpgt_epi32(more, two), one);
    lanes.x = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes.xs));
    return lanes;
  }

  // As Lanes<4>'s.
  LOZENGIA_AVX512_INLINE static Doubles splat(double v) { return _mm512_set1_pd(v); }
  LOZENGIA_AVX512_INLINE Doubles x_plus(int32_t c) const {
    return _mm512_cvtepi32_pd(_mm256_add_epi32(x, _mm256_set1_epi32(c)));
  }
  LOZENGIA_AVX512_INLINE Doubles minus_x(int32_t c) const {
    return _mm512_cvtepi32_pd(_mm256_sub_epi32(_mm256_set1_epi32(c), x));
  }
  LOZENGIA_AVX512_INLINE Doubles x_doubles() const { return _mm512_cvtepi32_pd(x); }
  LOZENGIA_AVX512_INLINE __mmask8 second() const {
    return _mm256_test_epi32_mask(has_second, has_second);
  }
  LOZENGIA_AVX512_INLINE __mmask8 third() const {
    return _mm256_test_epi32_mask(has_third, has_third);
  }
  LOZENGIA_AVX512_INLINE Doubles where_second(Doubles v) const {
    return _mm512_maskz_mov_pd(second(), v);
  }
  LOZENGIA_AVX512_INLINE Doubles where_third(Doubles v) const {
    return _mm512_maskz_mov_pd(third(), v);
  }
  LOZENGIA_AVX512_INLINE void last_outcomes(Doubles& m2, Doubles& m3, Doubles& m4) const {
    const __m512d one = _mm512_set1_pd(1.0);
    m4 = _mm512_maskz_mov_pd(third(), one);
    m3 = _mm512_maskz_mov_pd(static_cast<__mmask8>(second() & ~third()), one);
    m2 = _mm512_maskz_mov_pd(static_cast<__mmask8>(~second()), one);
  }
};

// rows_to_columns for eight lanes: two 4-lane transposes side by side.
LOZENGIA_AVX512_INLINE void rows_to_columns(const double* base, int32_t dir, const int32_t* xs,
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
LOZENGIA_AVX512_INLINE int walk_and_write(const float* spans, const int32_t* starts, int32_t block,
                                          int32_t* new_heights, const Lanes<8>& lanes,
                                          const __m512d* w, __mmask8 live = 0xFF) {
  const __m512d w1 = w[0], w2 = w[1], w3 = w[2], w4 = w[3];
  const __m256i one_i = _mm256_set1_epi32(1), two_i = _mm256_set1_epi32(2);
  const __m256i zero_i = _mm256_setzero_si256();
  const __m256i x = lanes.x;
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
      _mm256_maskz_or_epi32(live, _mm256_or_si256(one_i, _mm256_slli_epi32(lanes.has_second, 1)),
                            _mm256_slli_epi32(lanes.has_third, 2)));
  for (int l = 0; l < 4; ++l) {
    _mm_mask_storeu_epi32(new_heights + starts[block + l], static_cast<__mmask8>(places[l]),
                          _mm256_castsi256_si128(rows[l]));
    _mm_mask_storeu_epi32(new_heights + starts[block + 4 + l],
                          static_cast<__mmask8>(places[4 + l]),
                          _mm256_extracti128_si256(rows[l], 1));
  }
  const __m256i m = _mm256_add_epi32(_mm256_add_epi32(two_i, lanes.has_second), lanes.has_third);
  return _mm256_cmpgt_epi32_mask(_mm256_add_epi32(below, one_i), m);
}

// Lists a group's lanes to redo (long blocks, thresholds past the total),
// compressed into the list in block order (the list has room for a whole
// vector past its end).
LOZENGIA_AVX512_INLINE void list_redone(int32_t* redo_list, int32_t& redo_count,
                                        const Lanes<8>& lanes, int past, int32_t first,
                                        __mmask8 live = 0xFF) {
  const int longs = _mm256_test_epi32_mask(lanes.has_fourth, lanes.has_fourth);
  const auto redo = static_cast<__mmask8>((longs | past) & live);
  _mm256_storeu_si256(
      reinterpret_cast<__m256i*>(redo_list + redo_count),
      _mm256_maskz_compress_epi32(redo, _mm256_add_epi32(_mm256_set1_epi32(first),
                                                         _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7))));
  redo_count += __builtin_popcount(redo);
}

// A long block left on the redo list (see hahn_group_body.h), drawn and
// written whole: by the vector scans where those decide, otherwise by the
// plain evaluation with its search and writes in vectors (avx512_long.h).
// The listing gave every block's end: no search for it.
template <bool Plus>
inline void redo_hahn_large(const Lanes<8>*, SweepWorkspace& work, const HahnRatios& ratios,
                            const int32_t* old_heights, int32_t* new_heights, int32_t i, int32_t j,
                            int32_t block) {
  if (j - i + 2 >= kLongBlockOutcomes &&
      hahn_long_avx512<Plus>(work, ratios, old_heights, new_heights, i, j, block))
    return;
  hahn_large_avx512<Plus>(work, ratios, old_heights, new_heights, i, j, block);
}

// Hahn's small blocks eight at a time: hahn_groups_avx512, the same weights
// lane for lane as hahn_groups_avx2.
#define LOZENGIA_GROUP_LANES Lanes<8>
#define LOZENGIA_GROUP_FUNCTION LOZENGIA_AVX512_FUNCTION
#define LOZENGIA_GROUP_LAMBDA LOZENGIA_AVX512_LAMBDA
#define LOZENGIA_GROUP_NAME hahn_groups_avx512
#include "core/sweep/hahn_group_body.h"
#undef LOZENGIA_GROUP_LANES
#undef LOZENGIA_GROUP_FUNCTION
#undef LOZENGIA_GROUP_LAMBDA
#undef LOZENGIA_GROUP_NAME

}  // namespace lozengia::sweep

LOZENGIA_AVX512_CODE_END

#endif  // LOZENGIA_AVX512
