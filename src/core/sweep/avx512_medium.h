// Hahn's blocks of four to fifteen particles, eight at a time, in the lanes of
// AVX-512 vectors: the 4-lane medium groups (avx2_hahn.h) with twice the
// lanes, and a second width of sixteen outcomes for blocks of eight to
// fifteen particles, which would otherwise each go through hahn_large's
// chains and the mispredicted end of its loop.
#pragma once

#include "core/sweep/isa.h"

#ifdef LOZENGIA_AVX512

#include <algorithm>
#include <cstdint>

#include "core/sweep/avx2_lanes.h"
#include "core/sweep/workspace.h"
#include "core/weights.h"

// GCC 12 warns that its own AVX-512 conversion intrinsics read an
// uninitialised "undefined" vector, which they deliberately leave undefined.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace lozengia::sweep {

// rows_to_columns for eight lanes: two 4-lane transposes side by side.
LOZENGIA_AVX512_INLINE void rows_to_columns8(const double* base, int32_t dir, const int32_t* xs,
                                             __m512d* col) {
  __m256d lo[4], hi[4];
  rows_to_columns(base, dir, xs, lo);
  rows_to_columns(base, dir, xs + 4, hi);
  for (int k = 0; k < 4; ++k) col[k] = _mm512_insertf64x4(_mm512_castpd256_pd512(lo[k]), hi[k], 1);
}

// Eight blocks of the redo list, one per lane, from their places in it; the
// lanes past `live` repeat the last block and are neither drawn nor written.
struct MediumLanes8 {
  alignas(32) int32_t firsts[8];    // first particles
  alignas(32) int32_t outcomes[8];  // numbers of outcomes
  alignas(32) int32_t xs[8];        // heights of the first particles
  alignas(32) float spans[8];       // the blocks' 1 - u
  int32_t places[8];
};

inline MediumLanes8 medium_lanes8(const SweepWorkspace& ws, const int32_t* old_heights,
                                  const int32_t* places, int live) {
  MediumLanes8 ln;
  for (int l = 0; l < 8; ++l) {
    const int32_t place = places[std::min(l, live - 1)];
    const auto b = static_cast<std::size_t>(ws.redo_list[static_cast<std::size_t>(place)]);
    ln.places[l] = place;
    ln.firsts[l] = ws.block_starts[b];
    ln.outcomes[l] = ws.redo_ends[static_cast<std::size_t>(place)] - ln.firsts[l] + 2;
    ln.xs[l] = old_heights[ln.firsts[l]];
    ln.spans[l] = ws.spans[b];
  }
  return ln;
}

// Writes lane l's block (m - 1 particles from i, old heights consecutive from
// x0) whose lowest `below` particles stay (S->S+1) or come down (S->S-1).
// AVX-512's masked stores are fast, unlike AVX2's vpmaskmovd, and write
// nothing past the block: no read of the places after it, no special case at
// the slice's end.
template <bool Plus, int Outcomes>
LOZENGIA_AVX512_INLINE void write_medium8(int32_t* new_heights, int32_t i, int32_t x0, int32_t m,
                                          int32_t below) {
  const __m512i q =
      _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m512i heights = _mm512_add_epi32(_mm512_set1_epi32(x0), q);
  const __m512i b = _mm512_set1_epi32(below);
  // S->S+1: up from particle `below` on; S->S-1: down below it.
  const __mmask16 moved =
      Plus ? _mm512_cmpge_epi32_mask(q, b) : _mm512_cmplt_epi32_mask(q, b);
  const __m512i out = _mm512_mask_add_epi32(heights, moved, heights,
                                            _mm512_set1_epi32(Plus ? 1 : -1));
  const auto mine = static_cast<__mmask16>((1u << (m - 1)) - 1);
  if constexpr (Outcomes <= 8)
    _mm256_mask_storeu_epi32(new_heights + i, static_cast<__mmask8>(mine),
                             _mm512_castsi512_si256(out));
  else
    _mm512_mask_storeu_epi32(new_heights + i, mine, out);
}

// Hahn's blocks of up to Outcomes - 1 particles (Outcomes = 8 or 16), eight
// at a time, as Outcomes outcomes whose unused ones weigh 0: hahn_large's
// numbers operation for operation (hahn_weights), with eight blocks' chains
// side by side. `places` lists positions in the redo list; a block drawn and
// written is marked in ws.redo_finished, one whose threshold fell past its
// total is left for hahn_large. Factors past a block are read from the table
// too (its padding holds finite values) and weigh nothing.
template <bool Plus, bool Forward, int Outcomes>
__attribute__((target(LOZENGIA_AVX512_TARGET))) void hahn_medium8(
    SweepWorkspace& ws, const int32_t* old_heights, int32_t* new_heights, const int32_t* places,
    int32_t count, const HahnRatios& ratios) {
  static_assert(Outcomes == 8 || Outcomes == 16);
  const double* inv = ws.tables.inv_data();
  const __m512d one = _mm512_set1_pd(1.0), zero = _mm512_setzero_pd();
  constexpr int32_t step = Plus ? 1 : -1;
  // A factor is num(h) / den(h) for a height h: forward from a + step h over
  // b + step h, backward the inverse (see HahnRatios).
  const int64_t num0 = Forward ? ratios.a : ratios.b, den0 = Forward ? ratios.b : ratios.a;
  for (int32_t q = 0; q < count; q += 8) {
    const int live = static_cast<int>(std::min<int32_t>(8, count - q));
    const MediumLanes8 ln = medium_lanes8(ws, old_heights, places + q, live);
    // f[h]: the factor of height x + h, h = 0..Outcomes-1: the reciprocals of
    // den0 + step (x + h) as columns of rows read from each lane's x.
    __m512d f[Outcomes];
    for (int c = 0; c < Outcomes / 4; ++c) {
      __m512d col[4];
      if constexpr (Plus) {
        rows_to_columns8(inv + den0 + 4 * c, 1, ln.xs, col);
        for (int h = 0; h < 4; ++h) f[4 * c + h] = col[h];
      } else {
        rows_to_columns8(inv + den0 - 3 - 4 * c, -1, ln.xs, col);
        for (int h = 0; h < 4; ++h) f[4 * c + h] = col[3 - h];
      }
    }
    const __m256i xs = _mm256_load_si256(reinterpret_cast<const __m256i*>(ln.xs));
    const __m512d xd = _mm512_cvtepi32_pd(xs);
    const __m512d n0 = _mm512_set1_pd(static_cast<double>(num0));
    const __m512d num = Plus ? _mm512_add_pd(n0, xd) : _mm512_sub_pd(n0, xd);
    for (int h = 0; h < Outcomes; ++h)
      f[h] = _mm512_mul_pd(_mm512_add_pd(num, _mm512_set1_pd(static_cast<double>(step * h))), f[h]);
    const __m256i outcomes = _mm256_load_si256(reinterpret_cast<const __m256i*>(ln.outcomes));
    __m512d w[Outcomes + 2];
    if constexpr (Forward) {
      // w(1) = 1, w(k) = w(k-1) f(x + k - 2), 0 past the block.
      w[1] = one;
      __m512d v = one;
      for (int k = 2; k <= Outcomes; ++k) {
        const __mmask8 used = _mm256_cmpgt_epi32_mask(outcomes, _mm256_set1_epi32(k - 1));
        v = _mm512_mul_pd(v, f[k - 2]);
        w[k] = _mm512_maskz_mov_pd(used, v);
      }
    } else {
      // w(k) = w(k+1) f(x + k - 1) + [k = m]: 1 at the last outcome, 0 past it.
      w[Outcomes + 1] = zero;
      for (int k = Outcomes; k >= 1; --k) {
        const __mmask8 last = _mm256_cmpeq_epi32_mask(outcomes, _mm256_set1_epi32(k));
        w[k] = _mm512_add_pd(_mm512_mul_pd(w[k + 1], f[k - 1]), _mm512_maskz_mov_pd(last, one));
      }
    }
    // The sums in order (those past a block equal its total), the threshold
    // rounded as the chooser rounds it, and the walk as a count of the sums
    // below it.
    __m512d sums[Outcomes + 1];
    __m512d total = w[1];
    sums[1] = total;
    for (int k = 2; k <= Outcomes; ++k) {
      total = _mm512_add_pd(total, w[k]);
      sums[k] = total;
    }
    const __m256 span = _mm256_load_ps(ln.spans);
    __m512d th;
    if constexpr (Plus)
      th = _mm512_cvtps_pd(_mm256_mul_ps(span, _mm512_cvtpd_ps(total)));
    else
      th = _mm512_cvtps_pd(_mm512_cvtpd_ps(_mm512_mul_pd(_mm512_cvtps_pd(span), total)));
    __m256i below = _mm256_setzero_si256();
    const __m256i one_i = _mm256_set1_epi32(1);
    for (int k = 1; k <= Outcomes; ++k)
      below = _mm256_mask_add_epi32(below, _mm512_cmp_pd_mask(sums[k], th, _CMP_LT_OQ), below,
                                    one_i);
    // A lane whose threshold fell past its total is left for hahn_large.
    const auto done = static_cast<unsigned>(_mm256_cmpgt_epi32_mask(outcomes, below) &
                                            ((1u << live) - 1));
    alignas(32) int32_t bl[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(bl), below);
    for (int l = 0; l < 8; ++l) {
      if (!((done >> l) & 1)) continue;
      write_medium8<Plus, Outcomes>(new_heights, ln.firsts[l], ln.xs[l], ln.outcomes[l], bl[l]);
      ws.redo_finished[static_cast<std::size_t>(ln.places[l])] = 1;
    }
  }
}

}  // namespace lozengia::sweep

#pragma GCC diagnostic pop

#endif  // LOZENGIA_AVX512
