// Hahn's long blocks on the 8-lane path: the outcome decided from weights
// and sums made eight at a time, checked against the plain evaluation's
// rounding, the block redone the plain way when the check cannot decide.
//
// The plain evaluation (hahn_weights) makes a block's weights as one chain of
// products and its sums as one chain of additions, each step waiting for the
// one before: about six cycles per outcome, for blocks of hundreds of
// outcomes near the frozen regions. Here both are prefix scans over vectors
// of eight, whose results differ from the chains' only in rounding:
//   - Both are made of the same factors, each rounded as the plain
//     evaluation rounds it, and every factor is checked to lie in [0, 1]
//     (Hahn's anchor is chosen so that they do), so the weights fall away
//     from the anchored outcome, whose weight is 1, and the total is at
//     least 1.
//   - A weight whose exact value is at least 2^-1000 is then reached, in
//     either evaluation, only through products at least as large: nothing on
//     its way underflows, and a product of n factors in any order carries a
//     relative error of at most gamma_n = n u / (1 - n u), u = 2^-53.
//     Smaller weights are below 2^-999 in both.
//   - A sum of non-negative terms, in any order, likewise; so every sum of
//     either evaluation is within 2.01 gamma_m of the exact one. Anchored at
//     the last outcome, the scans sum from the top and take each running sum
//     as the total less the sum above it, which adds the error of both and
//     one rounding. The two evaluations' running sums are then within
//     6.1 m u times the total (plus 4 m 2^-999) of each other; `delta`
//     below allows 16 m u.
// The outcome is therefore the plain evaluation's when the total is close
// enough to one single-precision value that the threshold, rounded as the
// chooser rounds it, is the plain one, and the sums on either side of the
// threshold are further than delta from it (the sums do not decrease, so
// every other sum is on its side too). Otherwise (mostly a total near a
// rounding boundary of single precision, a few blocks in 10^5) the block goes
// the plain way.
#pragma once

#include "core/sweep/isa.h"

#ifdef LOZENGIA_AVX512

#include <cstdint>

#include "core/sweep/walk.h"
#include "core/sweep/workspace.h"
#include "core/weights.h"

LOZENGIA_AVX512_CODE_BEGIN

namespace lozengia::sweep {

// Blocks with at least this many outcomes are worth the scans.
inline constexpr int32_t kLongBlockOutcomes = 32;

// Lane l from lane l - s (shift == up) or l + s (down), `fill` where there is
// none.
template <int S>
LOZENGIA_AVX512_INLINE __m512d shifted_up(
    __m512d v, __m512d fill) {
  return _mm512_castsi512_pd(
      _mm512_alignr_epi64(_mm512_castpd_si512(v), _mm512_castpd_si512(fill), 8 - S));
}
template <int S>
LOZENGIA_AVX512_INLINE __m512d shifted_down(
    __m512d v, __m512d fill) {
  return _mm512_castsi512_pd(
      _mm512_alignr_epi64(_mm512_castpd_si512(fill), _mm512_castpd_si512(v), S));
}

// write_large of a whole block (every particle of i..j), sixteen particles a
// store: the same heights, and no loop as long as the block to mispredict
// the end of.
template <bool Plus>
LOZENGIA_AVX512_INLINE void write_large_avx512(
    const int32_t* old_heights, int32_t* new_heights, int32_t i, int32_t j, int32_t edge) {
  const __m512i q = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  for (int32_t p = i; p <= j; p += 16) {
    const int32_t left = j - p + 1;
    const auto here = static_cast<__mmask16>(left >= 16 ? 0xFFFF : (1u << left) - 1);
    const __m512i o = _mm512_maskz_loadu_epi32(here, old_heights + p);
    const __m512i at = _mm512_add_epi32(_mm512_set1_epi32(p), q);
    const __m512i e = _mm512_set1_epi32(edge);
    // S->S+1: up from the edge on; S->S-1: down below it.
    const __mmask16 moved = Plus ? _mm512_cmpge_epi32_mask(at, e) : _mm512_cmplt_epi32_mask(at, e);
    const __m512i out = _mm512_mask_add_epi32(o, moved, o, _mm512_set1_epi32(Plus ? 1 : -1));
    _mm512_mask_storeu_epi32(new_heights + p, here, out);
  }
}

// count_below eight sums at a time (the sums do not decrease, so counting
// them is the search); the binary search for blocks longer than it pays off.
LOZENGIA_AVX512_INLINE int32_t count_below_avx512(
    const double* sums, int32_t m, double v) {
  if (m > 48) return count_below(sums, m, v);
  const __m512d th = _mm512_set1_pd(v);
  int32_t below = 0;
  for (int32_t k = 1; k <= m; k += 8) {
    const int32_t left = m - k + 1;
    const auto here = static_cast<__mmask8>(left >= 8 ? 0xFF : (1u << left) - 1);
    const __m512d s = _mm512_maskz_loadu_pd(here, sums + k);
    below += static_cast<int32_t>(
        _mm_popcnt_u32(_cvtmask8_u32(_mm512_mask_cmp_pd_mask(here, s, th, _CMP_LT_OQ))));
  }
  return below;
}

// hahn_large with the search and the writes above: a long block whose scans
// could not decide, or one too short for them.
template <bool Plus>
LOZENGIA_AVX512_FUNCTION inline void hahn_large_avx512(SweepWorkspace& work,
                                                       const HahnRatios& ratios,
                                                       const int32_t* old_heights,
                                                       int32_t* new_heights, int32_t i, int32_t j,
                                                       int32_t block) {
  const int32_t m = j - i + 2;
  double* w = work.weights.data();
  double* sums = work.sums.data();
  const double total = hahn_weights<true>(work.tables, ratios, old_heights[i], m, w, sums);
  const double v = threshold<Plus>(work.spans[static_cast<std::size_t>(block)], total);
  const int32_t below = count_below_avx512(sums, m, v);
  const int32_t k = below < m ? below + 1 : walk_past_total<Plus>(work, w, m, total, block);
  write_large_avx512<Plus>(old_heights, new_heights, i, j, i + k - 1);
}

// Draws and writes a block i..j (m = j - i + 2 >= kLongBlockOutcomes
// outcomes) with draw `block`, the whole block written as hahn_large writes
// it; returns false, having written nothing, when the check above cannot
// decide. Leaves the scanned sums in work.sums: c(1..m) anchored at the first
// outcome, r(1..m + 1) at the last (see below).
template <bool Plus>
LOZENGIA_AVX512_FUNCTION inline bool hahn_long_avx512(SweepWorkspace& work, const HahnRatios& h,
                                                      const int32_t* old_heights,
                                                      int32_t* new_heights, int32_t i, int32_t j,
                                                      int32_t block) {
  const int32_t m = j - i + 2;
  const int32_t factors = m - 1;  // g_0..g_{m-2}
  const int64_t x0 = old_heights[i];
  // Factor g_q = num_q / den_q, num_q = n0 + step (x0 + q), den_q the same
  // from d0; anchored at the first outcome, w(q + 2) = w(q + 1) g_q, at the
  // last, w(q + 1) = w(q + 2) g_q (as hahn_weights).
  const int64_t n0 = h.forward ? h.a : h.b, d0 = h.forward ? h.b : h.a;
  const double num_base = static_cast<double>(n0 + h.step * x0);
  const int64_t den_base = d0 + h.step * x0;
  const double step = static_cast<double>(h.step);
  const double* inv = work.tables.inv_data();

  const __m512d ones = _mm512_set1_pd(1.0), zeros = _mm512_setzero_pd();
  const __m512d lane = _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7);
  const __m512i reversed = _mm512_setr_epi64(7, 6, 5, 4, 3, 2, 1, 0);
  // The factors g_q..g_q+7, 1 past the last; `outside` gathers the lanes of
  // any factor not in [0, 1] (or not a number).
  __mmask8 outside = 0;
  auto factors_at = [&](int32_t q, __mmask8 valid, int32_t left) LOZENGIA_AVX512_LAMBDA {
    __m512d r;
    if (h.step > 0) {
      r = _mm512_mask_loadu_pd(ones, valid, inv + den_base + q);
    } else {
      // Falling through the table: the eight from den_base - q - 7, reversed.
      const auto mem = static_cast<__mmask8>(left >= 8 ? 0xFF : 0xFF << (8 - left));
      r = _mm512_permutexvar_pd(reversed, _mm512_mask_loadu_pd(ones, mem, inv + den_base - q - 7));
    }
    const __m512d num = _mm512_add_pd(_mm512_set1_pd(num_base + step * q),
                                      _mm512_mul_pd(_mm512_set1_pd(step), lane));
    const __m512d g = _mm512_mask_mul_pd(ones, valid, num, r);
    outside |= static_cast<__mmask8>(~(_mm512_cmp_pd_mask(g, zeros, _CMP_GE_OQ) &
                                       _mm512_cmp_pd_mask(g, ones, _CMP_LE_OQ)));
    return g;
  };
  auto valid_of = [](int32_t left) {
    return static_cast<__mmask8>(left >= 8 ? 0xFF : (1u << left) - 1);
  };

  // One pass over the factors: the weights as products scanned away from the
  // anchor, and at once their sums, scanned the same way. Anchored at the
  // first outcome, the sums are the running sums c(k) = w(1) + ... + w(k); at
  // the last, the sums from each outcome to the last, r(k) = w(k) + ... +
  // w(m), and c(k) is taken as r(1) - r(k + 1).
  double* sums = work.sums.data();
  if (h.forward) {
    // w(1) = 1, w(q + 2) = g_0 ... g_q; c(1) = 1.
    sums[1] = 1.0;
    __m512d product = ones, sum = ones;
    for (int32_t q = 0; q < factors; q += 8) {
      const int32_t left = factors - q;
      const __mmask8 valid = valid_of(left);
      __m512d v = factors_at(q, valid, left);
      v = _mm512_mul_pd(v, shifted_up<1>(v, ones));
      v = _mm512_mul_pd(v, shifted_up<2>(v, ones));
      v = _mm512_mul_pd(v, shifted_up<4>(v, ones));
      v = _mm512_mul_pd(v, product);
      product = _mm512_permutexvar_pd(_mm512_set1_epi64(7), v);
      __m512d s = _mm512_maskz_mov_pd(valid, v);
      s = _mm512_add_pd(s, shifted_up<1>(s, zeros));
      s = _mm512_add_pd(s, shifted_up<2>(s, zeros));
      s = _mm512_add_pd(s, shifted_up<4>(s, zeros));
      s = _mm512_add_pd(s, sum);
      _mm512_mask_storeu_pd(sums + q + 2, valid, s);
      sum = _mm512_permutexvar_pd(_mm512_set1_epi64(7), s);
    }
  } else {
    // w(m) = 1, w(q + 1) = g_q ... g_{m-2}, from the top; r(m) = 1.
    sums[m] = 1.0;
    sums[m + 1] = 0.0;
    __m512d product = ones, sum = ones;
    for (int32_t q = (factors - 1) / 8 * 8; q >= 0; q -= 8) {
      const int32_t left = factors - q;
      const __mmask8 valid = valid_of(left);
      __m512d v = factors_at(q, valid, left);
      v = _mm512_mul_pd(v, shifted_down<1>(v, ones));
      v = _mm512_mul_pd(v, shifted_down<2>(v, ones));
      v = _mm512_mul_pd(v, shifted_down<4>(v, ones));
      v = _mm512_mul_pd(v, product);
      product = _mm512_broadcastsd_pd(_mm512_castpd512_pd128(v));
      __m512d s = _mm512_maskz_mov_pd(valid, v);
      s = _mm512_add_pd(s, shifted_down<1>(s, zeros));
      s = _mm512_add_pd(s, shifted_down<2>(s, zeros));
      s = _mm512_add_pd(s, shifted_down<4>(s, zeros));
      s = _mm512_add_pd(s, sum);
      _mm512_mask_storeu_pd(sums + q + 1, valid, s);
      sum = _mm512_broadcastsd_pd(_mm512_castpd512_pd128(s));
    }
  }
  if (outside != 0) return false;
  const bool forward = h.forward;
  const double total = forward ? sums[m] : sums[1];
  auto running = [&](int32_t k) { return forward ? sums[k] : total - sums[k + 1]; };

  const double delta = 16.0 * m * 0x1p-53 * total;
  const float span = work.spans[static_cast<std::size_t>(block)];
  double v;
  if constexpr (Plus) {
    // threshold<true>: span * float(total), in single precision.
    const auto lo = static_cast<float>(total - delta), hi = static_cast<float>(total + delta);
    if (lo != hi) return false;
    v = static_cast<double>(span * lo);
  } else {
    // threshold<false>: float(span * total), the product in double.
    const double s = static_cast<double>(span);
    const auto lo = static_cast<float>(s * (total - delta)),
               hi = static_cast<float>(s * (total + delta));
    if (lo != hi) return false;
    v = static_cast<double>(lo);
  }
  // How many running sums lie below v (they do not decrease; a rounded
  // difference of sums that do not increase does not decrease either).
  int32_t below = 0;
  for (int32_t n = m; n > 0;) {
    const int32_t half = n / 2;
    if (running(below + half + 1) < v) {
      below += half + 1;
      n -= half + 1;
    } else {
      n = half;
    }
  }
  if (below >= m) return false;  // past the total: the chooser's walk
  if (below >= 1 && !(running(below) + delta < v)) return false;
  if (!(running(below + 1) - delta >= v)) return false;
  write_large_avx512<Plus>(old_heights, new_heights, i, j, i + below);
  return true;
}

}  // namespace lozengia::sweep

LOZENGIA_AVX512_CODE_END

#endif  // LOZENGIA_AVX512
