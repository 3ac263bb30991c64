// The draws of a slice, made before its blocks are weighed.
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/random.h"
#include "core/sweep/isa.h"
#include "core/sweep/workspace.h"

namespace lozengia::sweep {

// 48271^n mod (2^31 - 1): n steps of the generator in one product.
constexpr uint32_t generator_jump(int n) {
  uint64_t a = 1;
  for (int k = 0; k < n; ++k) a = a * ParkMiller::kMultiplier % ParkMiller::kModulus;
  return static_cast<uint32_t>(a);
}
inline constexpr uint32_t kJump8 = generator_jump(8);

// The draws of a slice's `count` blocks: one per block, in block order,
// exactly the generator's. A state is the one eight steps before it times
// 48271^8, reduced as a single step reduces, so after eight single steps the
// rest are made four at a time in two independent chains; the floats are
// converted four at a time. The generator itself is moved past the last draw
// when the slice is done (blocks_from).
inline void make_draws_plain(SweepWorkspace& work, int32_t count) {
  uint32_t* states = work.draw_states.data();
  float* u = work.draws.data();
  float* span = work.spans.data();
  uint32_t x = work.rng.state();
  states[0] = x;
  const int32_t first = std::min(count, 8);
  for (int32_t b = 1; b <= first; ++b) states[b] = x = ParkMiller::advance(x);
#ifdef LOZENGIA_SSE2
  // The buffers have room for the groups running past the count.
  const __m128i p = _mm_set1_epi64x(ParkMiller::kModulus);
  const __m128i a = _mm_set1_epi32(static_cast<int>(kJump8));
  auto reduce = [&p](__m128i prod) {
    const __m128i r = _mm_add_epi64(_mm_and_si128(prod, p), _mm_srli_epi64(prod, 31));
    const __m128i t = _mm_sub_epi64(r, p);
    // All ones where r - p is negative (its high half copied to both halves).
    const __m128i below = _mm_shuffle_epi32(t, _MM_SHUFFLE(3, 3, 1, 1));
    return _mm_or_si128(_mm_and_si128(below, r), _mm_andnot_si128(below, t));
  };
  for (int32_t b = 9; b <= count; b += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(states + b - 8));
    const __m128i even = reduce(_mm_mul_epu32(v, a));
    const __m128i odd = reduce(_mm_mul_epu32(_mm_srli_epi64(v, 32), a));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(states + b),
                     _mm_or_si128(even, _mm_slli_epi64(odd, 32)));
  }
  // States are below 2^31, so they convert as signed integers; the scaling by
  // 2^-31 is exact, so the float is rounded once, as to_float rounds it.
  const __m128 scale = _mm_set1_ps(0x1p-31f), top = _mm_set1_ps(0.99999994f);
  const __m128 one = _mm_set1_ps(1.0f);
  for (int32_t b = 0; b < count; b += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(states + b + 1));
    const __m128 f = _mm_min_ps(_mm_mul_ps(_mm_cvtepi32_ps(v), scale), top);
    _mm_storeu_ps(u + b, f);
    _mm_storeu_ps(span + b, _mm_sub_ps(one, f));
  }
#else
  for (int32_t b = first + 1; b <= count; ++b) states[b] = x = ParkMiller::advance(x);
  for (int32_t b = 0; b < count; ++b) {
    u[b] = ParkMiller::to_float(states[b + 1]);
    span[b] = 1.0f - u[b];
  }
#endif
}

#ifdef LOZENGIA_AVX512
LOZENGIA_AVX512_CODE_BEGIN
// make_draws_plain with AVX-512: state k of the slice is its first state times
// 48271^k (work.jumps[k]), reduced as a single step reduces, eight at a time
// and each group on its own (no chain from group to group); the floats
// sixteen at a time. The same numbers.
LOZENGIA_AVX512_FUNCTION inline void make_draws_avx512(SweepWorkspace& work, int32_t count) {
  uint32_t* states = work.draw_states.data();
  const uint32_t* jumps = work.jumps.data();
  float* u = work.draws.data();
  float* span = work.spans.data();
  const __m512i p = _mm512_set1_epi64(ParkMiller::kModulus);
  const __m512i x = _mm512_set1_epi64(work.rng.state());
  // States 0..count + 16: the floats below read sixteen past each group.
  for (int32_t k = 0; k <= count + 16; k += 8) {
    const __m512i a =
        _mm512_cvtepu32_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(jumps + k)));
    const __m512i prod = _mm512_mul_epu32(x, a);
    const __m512i r = _mm512_add_epi64(_mm512_and_si512(prod, p), _mm512_srli_epi64(prod, 31));
    // r - p wraps past r when r < p: the smaller of the two is the reduced one.
    const __m512i reduced = _mm512_min_epu64(r, _mm512_sub_epi64(r, p));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(states + k), _mm512_cvtepi64_epi32(reduced));
  }
  const __m512 scale = _mm512_set1_ps(0x1p-31f), top = _mm512_set1_ps(0.99999994f);
  const __m512 one = _mm512_set1_ps(1.0f);
  for (int32_t b = 0; b < count; b += 16) {
    const __m512i v = _mm512_loadu_si512(states + b + 1);
    const __m512 f = _mm512_min_ps(_mm512_mul_ps(_mm512_cvtepi32_ps(v), scale), top);
    _mm512_storeu_ps(u + b, f);
    _mm512_storeu_ps(span + b, _mm512_sub_ps(one, f));
  }
}
LOZENGIA_AVX512_CODE_END
#endif

// Step 2 of a slice: its draws on the path's widest code.
template <VectorPath Path>
inline void make_draws(SweepWorkspace& work, int32_t count) {
#ifdef LOZENGIA_AVX512
  if constexpr (Path == VectorPath::kAvx512) return make_draws_avx512(work, count);
#endif
  make_draws_plain(work, count);
}

}  // namespace lozengia::sweep
