// The tools of the 4-lane code (AVX2): one block per lane of 256-bit vectors
// of doubles. Each lane computes what the single-block code computes,
// operation for operation (no fused multiply-add, whose rounding differs), so
// the sample is the same.
#pragma once

#include "core/sweep/isa.h"

#ifdef LOZENGIA_AVX2

#include <cstdint>
#include <cstring>
#include <limits>

#include "core/sweep/block_list.h"
#include "core/sweep/model_blocks.h"
#include "core/sweep/walk.h"
#include "core/sweep/workspace.h"
#include "core/weights.h"

namespace lozengia::sweep {

// The ratios r[0..count) of heights x0, x0+1, ... as factor_ratios_plain
// makes them, four at a time: rows read from each table, the falling ones
// reversed. Returns whether all are finite numbers.
template <int Kind, bool Plus>
LOZENGIA_AVX2_INLINE bool factor_ratios_avx2(const ModelTables& tables, int32_t t, int32_t S,
                                             int64_t x0, int32_t count, double* r) {
  const FactorRows<Plus> rows(tables, t, S);
  const double* first = rows.first - x0;
  const double* second = rows.second + rows.kSecondDirection * x0;
  const double* third = rows.third - x0;
  const __m256d limit = _mm256_set1_pd(std::numeric_limits<double>::max());
  const __m256d sign = _mm256_set1_pd(-0.0);
  __m256d ok = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  int32_t k = 0;
  for (; k + 4 <= count; k += 4) {
    const __m256d nv = _mm256_permute4x64_pd(_mm256_loadu_pd(first - k), 0x1B);
    const __m256d xv = Plus ? _mm256_loadu_pd(second + k)
                            : _mm256_permute4x64_pd(_mm256_loadu_pd(second - k), 0x1B);
    __m256d rv = _mm256_mul_pd(nv, xv);
    if constexpr (Kind != kQHahn)
      rv = _mm256_mul_pd(rv, _mm256_permute4x64_pd(_mm256_loadu_pd(third - k), 0x1B));
    _mm256_storeu_pd(r + k, rv);
    ok = _mm256_and_pd(ok, _mm256_cmp_pd(_mm256_andnot_pd(sign, rv), limit, _CMP_LE_OQ));
  }
  const bool finite = _mm256_movemask_pd(ok) == 15;
  return factor_ratios_plain<Kind, Plus>(tables, t, S, x0 + k, count - k, r + k) && finite;
}

// Writes a block of at most seven particles from i (m - 1 of them) whose
// lowest `below` particles stay (S->S+1) or come down (S->S-1); the old
// heights of a block are consecutive from x0. The eight places from i are
// read, blended and written back whole: a masked store (vpmaskmovd) is slow
// on some processors (measured: the whole sample 3-5% slower on this
// machine's AMD cores). Only near the slice's end (n particles), where the
// eight places would pass it, is the store masked.
template <bool Plus>
LOZENGIA_AVX2_INLINE void write_medium(int32_t* new_heights, int32_t n, int32_t i, int32_t x0,
                                       int32_t m, int32_t below) {
  const __m256i q = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i b = _mm256_set1_epi32(below);
  const __m256i moved = Plus ? _mm256_cmpgt_epi32(_mm256_add_epi32(q, _mm256_set1_epi32(1)), b)
                             : _mm256_cmpgt_epi32(b, q);
  const __m256i heights = _mm256_add_epi32(_mm256_set1_epi32(x0), q);
  const __m256i out = Plus ? _mm256_sub_epi32(heights, moved) : _mm256_add_epi32(heights, moved);
  const __m256i mine = _mm256_cmpgt_epi32(_mm256_set1_epi32(m - 1), q);
  if (i + 8 <= n) {
    __m256i* at = reinterpret_cast<__m256i*>(new_heights + i);
    _mm256_storeu_si256(at, _mm256_blendv_epi8(_mm256_loadu_si256(at), out, mine));
  } else {
    _mm256_maskstore_epi32(new_heights + i, mine, out);
  }
}

// A block of four to seven particles (five to eight outcomes), the most
// common long block, as eight outcomes whose unused ones weigh 0: no loop
// whose length depends on the block, so no branch the processor could
// mispredict. The numbers are factor_large_core's: w(1) = 1, each weight the
// one before times its ratio, scaled by the first largest, summed in order,
// the sums past the block equal to the total. Returns false, having written
// nothing, when the block needs more (a ratio that is not a finite number, a
// weight out of range or negative, a threshold past the total).
template <int Kind, bool Plus>
LOZENGIA_AVX2_INLINE bool medium_block_avx2(SweepWorkspace& work, int32_t t,
                                            const int32_t* old_heights, int32_t* new_heights,
                                            int32_t i, int32_t j, int32_t block) {
  const int32_t m = j - i + 2;
  const int32_t x0 = old_heights[i];
  double r[8];
  factor_ratios_avx2<Kind, Plus>(work.tables, t, work.S, x0, 8, r);
  double w[9], sums[9];
  w[1] = 1.0;
  double product = 1.0;
  Largest largest{1.0, 1};
  bool fine = true;
  for (int32_t k = 2; k <= 8; ++k) {
    const bool used = k <= m;
    product *= used ? r[k - 2] : 1.0;
    w[k] = used ? product : 0.0;
    fine &= (w[k] >= 0.0) & (w[k] <= kWeightBig) & ((w[k] >= kWeightSmall) | (w[k] == 0.0));
    largest.at = w[k] > largest.magnitude ? k : largest.at;
    largest.magnitude = w[k] > largest.magnitude ? w[k] : largest.magnitude;
  }
  if (!fine) return false;
  scale_by_largest(w, 8, largest);
  double total = 0.0;
  for (int32_t k = 1; k <= 8; ++k) {
    total += w[k];
    sums[k] = total;
  }
  const double v = threshold<Plus>(work.spans[static_cast<std::size_t>(block)], total);
  int32_t below = 0;
  for (int32_t k = 1; k <= 8; ++k) below += sums[k] < v;
  if (below >= m) return false;
  write_medium<Plus>(new_heights, work.N, i, x0, m, below);
  return true;
}

// A group of consecutive blocks of a slice, one per lane, for the code that
// weighs them side by side (hahn_group_body.h, model_groups_avx2): 4 lanes
// here, 8 in avx512_hahn.h.
template <int Width>
struct Lanes;

// A 0 or 1 in each of four 32-bit lanes as a mask of four doubles.
LOZENGIA_AVX2_INLINE __m256d lane_mask(__m128i bits) {
  return _mm256_castsi256_pd(_mm256_cvtepi32_epi64(_mm_sub_epi32(_mm_setzero_si128(), bits)));
}

// Four consecutive blocks b..b+3 of a slice, one per lane: first particles,
// whether each has a second, third and fourth particle (the links of its
// first four particles in one 32-bit read; the list has room past its end),
// and the old height of its first particle.
template <>
struct Lanes<4> {
  static constexpr int32_t kWidth = 4;
  // The 4-lane listing writes links, not ends; the groups take only whole
  // groups, and leave the slice's last blocks to the single-block code.
  static constexpr bool kListsEnds = false;
  static constexpr bool kMaskedTail = false;
  static constexpr bool kTwoGroupsAtOnce = false;
  using Doubles = __m256d;
  using Live = int;  // unused: every lane of a group is a block
  static constexpr Live kAllLive = 0xF;

  __m128i first, has_second, has_third, has_fourth, x;
  int32_t xs[4];

  static Lanes read(const SweepWorkspace& work, const int32_t* old_heights, int32_t block) {
    const int32_t* starts = work.block_starts.data();
    const uint8_t* links = work.links.data();
    const int32_t i0 = starts[block], i1 = starts[block + 1], i2 = starts[block + 2],
                  i3 = starts[block + 3];
    int32_t l0, l1, l2, l3;
    std::memcpy(&l0, links + i0, 4);
    std::memcpy(&l1, links + i1, 4);
    std::memcpy(&l2, links + i2, 4);
    std::memcpy(&l3, links + i3, 4);
    const __m128i lk = _mm_setr_epi32(l0, l1, l2, l3), one = _mm_set1_epi32(1);
    Lanes lanes;
    lanes.first = _mm_setr_epi32(i0, i1, i2, i3);
    lanes.has_second = _mm_and_si128(lk, one);
    lanes.has_third = _mm_and_si128(_mm_srli_epi32(lk, 8), lanes.has_second);
    lanes.has_fourth = _mm_and_si128(_mm_srli_epi32(lk, 16), lanes.has_third);
    lanes.xs[0] = old_heights[i0];
    lanes.xs[1] = old_heights[i1];
    lanes.xs[2] = old_heights[i2];
    lanes.xs[3] = old_heights[i3];
    lanes.x = _mm_setr_epi32(lanes.xs[0], lanes.xs[1], lanes.xs[2], lanes.xs[3]);
    return lanes;
  }

  // The numbers the weights are made of, lane by lane: c + x, c - x as
  // doubles, a value kept only where a block has a second (third) particle,
  // and 1 at each block's last outcome m (0 at the others).
  LOZENGIA_AVX2_INLINE static Doubles splat(double v) { return _mm256_set1_pd(v); }
  LOZENGIA_AVX2_INLINE Doubles x_plus(int32_t c) const {
    return _mm256_cvtepi32_pd(_mm_add_epi32(x, _mm_set1_epi32(c)));
  }
  LOZENGIA_AVX2_INLINE Doubles minus_x(int32_t c) const {
    return _mm256_cvtepi32_pd(_mm_sub_epi32(_mm_set1_epi32(c), x));
  }
  LOZENGIA_AVX2_INLINE Doubles x_doubles() const { return _mm256_cvtepi32_pd(x); }
  LOZENGIA_AVX2_INLINE Doubles where_second(Doubles v) const {
    return _mm256_and_pd(v, lane_mask(has_second));
  }
  LOZENGIA_AVX2_INLINE Doubles where_third(Doubles v) const {
    return _mm256_and_pd(v, lane_mask(has_third));
  }
  LOZENGIA_AVX2_INLINE void last_outcomes(Doubles& m2, Doubles& m3, Doubles& m4) const {
    const __m256d one = _mm256_set1_pd(1.0);
    m4 = _mm256_and_pd(lane_mask(has_third), one);
    m3 = _mm256_and_pd(lane_mask(_mm_andnot_si128(has_third, has_second)), one);
    m2 = _mm256_andnot_pd(lane_mask(has_second), one);
  }
};

// Each lane's numbers are four consecutive entries of a table, from
// base + dir * x in lane l: read as four rows and transposed, so that col[k]
// holds entry k of every lane's row (reading rows is several times faster
// than gathering the columns).
LOZENGIA_AVX2_INLINE void rows_to_columns(const double* base, int32_t dir, const int32_t* xs,
                                          __m256d* col) {
  const __m256d r0 = _mm256_loadu_pd(base + dir * xs[0]), r1 = _mm256_loadu_pd(base + dir * xs[1]),
                r2 = _mm256_loadu_pd(base + dir * xs[2]), r3 = _mm256_loadu_pd(base + dir * xs[3]);
  const __m256d u0 = _mm256_unpacklo_pd(r0, r1), u1 = _mm256_unpackhi_pd(r0, r1),
                u2 = _mm256_unpacklo_pd(r2, r3), u3 = _mm256_unpackhi_pd(r2, r3);
  col[0] = _mm256_permute2f128_pd(u0, u2, 0x20);
  col[1] = _mm256_permute2f128_pd(u1, u3, 0x20);
  col[2] = _mm256_permute2f128_pd(u0, u2, 0x31);
  col[3] = _mm256_permute2f128_pd(u1, u3, 0x31);
}

// The lanes whose weight is 0 or within [2^-300, 2^300] (not NaN): the
// weights the vector code draws without the chooser's message or exponents.
LOZENGIA_AVX2_INLINE __m256d ordinary_weights(__m256d w) {
  const __m256d zero = _mm256_setzero_pd();
  return _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(w, zero, _CMP_GE_OQ),
                                     _mm256_cmp_pd(w, _mm256_set1_pd(kWeightBig), _CMP_LE_OQ)),
                       _mm256_or_pd(_mm256_cmp_pd(w, _mm256_set1_pd(kWeightSmall), _CMP_GE_OQ),
                                    _mm256_cmp_pd(w, zero, _CMP_EQ_OQ)));
}

// scale_by_largest in each lane, for weights w[1..Count] with w[1] = 1 and
// every weight an ordinary one (or the lane is redone): the first weight of
// largest value becomes exactly 1, the others are multiplied by the
// reciprocal of the largest (by 1 when it is w[1]: no change).
template <int Count>
LOZENGIA_AVX2_INLINE void scale_lanes_by_largest(__m256d* w) {
  const __m256d one = _mm256_set1_pd(1.0);
  __m256d above[Count + 1];  // w[k] above every weight before it
  __m256d top = one;
  // Unrolled, so that the weights stay in registers.
#pragma GCC unroll 8
  for (int k = 2; k <= Count; ++k) {
    above[k] = _mm256_cmp_pd(w[k], top, _CMP_GT_OQ);
    top = _mm256_max_pd(w[k], top);
  }
  // The first largest is the last weight above all the ones before it.
  const __m256d inv = _mm256_div_pd(one, top);
  __m256d later = _mm256_setzero_pd();
#pragma GCC unroll 8
  for (int k = Count; k >= 2; --k) {
    const __m256d at = _mm256_andnot_pd(later, above[k]);
    later = _mm256_or_pd(later, above[k]);
    w[k] = _mm256_blendv_pd(_mm256_mul_pd(w[k], inv), one, at);
  }
  w[1] = _mm256_blendv_pd(one, inv, later);
}

// Four small blocks in the lanes from their weights w1..w4 (0 past each
// block's last outcome): the total, the threshold from the slice's draws, the
// walk as four comparisons, and each block's three writes (see write_small).
// The numbers are the single-block code's, operation for operation. Returns
// the lanes whose threshold fell past the total: those need the chooser.
// (`starts` and `live` are the 8-lane form's: every lane here is a block.)
template <bool Plus>
LOZENGIA_AVX2_INLINE int walk_and_write(const float* spans, const int32_t* /*starts*/,
                                        int32_t block, int32_t* new_heights, const Lanes<4>& lanes,
                                        const __m256d* w, Lanes<4>::Live /*live*/ = 0xF) {
  const __m256d w1 = w[0], w2 = w[1], w3 = w[2], w4 = w[3];
  const __m128i one_i = _mm_set1_epi32(1), two_i = _mm_set1_epi32(2);
  const __m128i x = lanes.x, first = lanes.first;
  const __m256d c2 = _mm256_add_pd(w1, w2), c3 = _mm256_add_pd(c2, w3),
                total = _mm256_add_pd(c3, w4);
  const __m128 span = _mm_loadu_ps(spans + block);
  __m256d v;
  if constexpr (Plus)
    v = _mm256_cvtps_pd(_mm_mul_ps(span, _mm256_cvtpd_ps(total)));
  else
    v = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(span), total)));
  // Each comparison that holds is -1 in its lane.
  const __m256i sum =
      _mm256_add_epi64(_mm256_add_epi64(_mm256_castpd_si256(_mm256_cmp_pd(w1, v, _CMP_LT_OQ)),
                                        _mm256_castpd_si256(_mm256_cmp_pd(c2, v, _CMP_LT_OQ))),
                       _mm256_add_epi64(_mm256_castpd_si256(_mm256_cmp_pd(c3, v, _CMP_LT_OQ)),
                                        _mm256_castpd_si256(_mm256_cmp_pd(total, v, _CMP_LT_OQ))));
  // The low halves of the four 64-bit counts, negated.
  const __m256i lows = _mm256_setr_epi32(0, 2, 4, 6, 0, 0, 0, 0);
  const __m128i below = _mm_sub_epi32(
      _mm_setzero_si128(), _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(sum, lows)));
  const __m128i k1 = lanes.has_second, k2 = _mm_add_epi32(lanes.has_second, lanes.has_third);
  const __m128i p1 = _mm_add_epi32(first, k1), p2 = _mm_add_epi32(first, k2);
  __m128i v0, v1, v2;
  if constexpr (Plus) {
    // x + k + (k >= below)
    v0 = _mm_sub_epi32(x, _mm_cmpeq_epi32(below, _mm_setzero_si128()));
    v1 = _mm_sub_epi32(_mm_add_epi32(x, k1), _mm_cmpgt_epi32(_mm_add_epi32(k1, one_i), below));
    v2 = _mm_sub_epi32(_mm_add_epi32(x, k2), _mm_cmpgt_epi32(_mm_add_epi32(k2, one_i), below));
  } else {
    // x + k - (k < below)
    v0 = _mm_add_epi32(x, _mm_cmpgt_epi32(below, _mm_setzero_si128()));
    v1 = _mm_add_epi32(_mm_add_epi32(x, k1), _mm_cmpgt_epi32(below, k1));
    v2 = _mm_add_epi32(_mm_add_epi32(x, k2), _mm_cmpgt_epi32(below, k2));
  }
  alignas(16) int32_t pos[3][4], val[3][4];
  _mm_store_si128(reinterpret_cast<__m128i*>(pos[0]), first);
  _mm_store_si128(reinterpret_cast<__m128i*>(pos[1]), p1);
  _mm_store_si128(reinterpret_cast<__m128i*>(pos[2]), p2);
  _mm_store_si128(reinterpret_cast<__m128i*>(val[0]), v0);
  _mm_store_si128(reinterpret_cast<__m128i*>(val[1]), v1);
  _mm_store_si128(reinterpret_cast<__m128i*>(val[2]), v2);
  for (int l = 0; l < 4; ++l) {
    new_heights[pos[0][l]] = val[0][l];
    new_heights[pos[1][l]] = val[1][l];
    new_heights[pos[2][l]] = val[2][l];
  }
  const __m128i m = _mm_add_epi32(two_i, k2);
  return _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(_mm_add_epi32(below, one_i), m)));
}

// Adds a group's lanes to redo (long blocks, and those set in `redo`, a
// 4-bit mask) to the redo list, in lane order, without a branch: every place
// is written, the count moves on only for the listed ones.
LOZENGIA_AVX2_INLINE void list_redone(int32_t* redo_list, int32_t& redo_count,
                                      const Lanes<4>& lanes, int redo, int32_t block,
                                      Lanes<4>::Live /*live*/ = 0xF) {
  redo |= _mm_movemask_ps(_mm_castsi128_ps(_mm_sub_epi32(_mm_setzero_si128(), lanes.has_fourth)));
  for (int l = 0; l < 4; ++l) {
    redo_list[redo_count] = block + l;
    redo_count += (redo >> l) & 1;
  }
}

// Four blocks of four to seven particles, one per lane, from their places in
// the redo list.
struct MediumLanes {
  int32_t blocks[4];          // block numbers (of the slice's draws)
  int32_t firsts[4];          // first particles
  int32_t outcomes[4];        // numbers of outcomes
  alignas(16) int32_t xs[4];  // heights of the first particles
};

inline MediumLanes medium_lanes(const SweepWorkspace& work, const int32_t* old_heights,
                                const int32_t* places) {
  MediumLanes lanes;
  for (int l = 0; l < 4; ++l) {
    const auto place = static_cast<std::size_t>(places[l]);
    lanes.blocks[l] = work.redo_list[place];
    lanes.firsts[l] = work.block_starts[static_cast<std::size_t>(lanes.blocks[l])];
    lanes.outcomes[l] = work.redo_ends[place] - lanes.firsts[l] + 2;
    lanes.xs[l] = old_heights[lanes.firsts[l]];
  }
  return lanes;
}

// The draw of four such blocks from their weights w[1..8] (0 past each
// block's last outcome), as medium_block_avx2 draws one: the sums in order, the
// thresholds, the walks as counts of the sums below them. A lane in `skip`,
// or whose threshold fell past its total, is left as it is; the others are
// written and marked in work.redo_finished.
template <bool Plus>
LOZENGIA_AVX2_INLINE void draw_medium(SweepWorkspace& work, int32_t* new_heights,
                                      const MediumLanes& lanes, const int32_t* places,
                                      const __m256d* w, int skip) {
  __m256d total = w[1], sums[9];
  sums[1] = total;
  for (int k = 2; k <= 8; ++k) {
    total = _mm256_add_pd(total, w[k]);
    sums[k] = total;
  }
  const float* spans = work.spans.data();
  const __m128 span = _mm_setr_ps(spans[lanes.blocks[0]], spans[lanes.blocks[1]],
                                  spans[lanes.blocks[2]], spans[lanes.blocks[3]]);
  __m256d th;
  if constexpr (Plus)
    th = _mm256_cvtps_pd(_mm_mul_ps(span, _mm256_cvtpd_ps(total)));
  else
    th = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(span), total)));
  __m256i below = _mm256_setzero_si256();
  for (int k = 1; k <= 8; ++k)
    below = _mm256_sub_epi64(below, _mm256_castpd_si256(_mm256_cmp_pd(sums[k], th, _CMP_LT_OQ)));
  alignas(32) int64_t bl[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(bl), below);
  for (int l = 0; l < 4; ++l) {
    if (((skip >> l) & 1) || bl[l] >= lanes.outcomes[l]) continue;
    write_medium<Plus>(new_heights, work.N, lanes.firsts[l], lanes.xs[l], lanes.outcomes[l],
                       static_cast<int32_t>(bl[l]));
    work.redo_finished[static_cast<std::size_t>(places[l])] = 1;
  }
}

}  // namespace lozengia::sweep

#endif  // LOZENGIA_AVX2
