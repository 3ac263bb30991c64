// The listing of a slice's blocks, and the loop that hands each block to the
// code for its length.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "core/sweep/isa.h"
#include "core/sweep/workspace.h"

namespace lozengia::sweep {

// Positions of the set bytes of a group of eight start flags, by the group's
// bit mask, and how many there are: a group's starts are written with one
// table row and no branch.
struct StartTable {
  int32_t pos[256][8];
  uint8_t count[256];
  constexpr StartTable() : pos{}, count{} {
    for (int mask = 0; mask < 256; ++mask) {
      int c = 0;
      for (int b = 0; b < 8; ++b)
        if (mask & (1 << b)) pos[mask][c++] = b;
      count[mask] = static_cast<uint8_t>(c);
    }
  }
};
inline constexpr StartTable kStarts{};

// Lists the blocks of a slice without a branch per particle, and writes the
// forced particles. Free in S->S+1: old height equal to the new height of the
// slice before; in S->S-1: one above it. A free particle links to the next
// when that one is free too and their new heights in the slice before are
// consecutive; a block is a maximal chain of links, listed by its first
// particle. Listing the starts first lets the blocks be weighed and drawn
// without waiting for the previous block to be measured. The two passes over
// the particles have no dependency between particles and are vectorised; the
// starts are then read eight flags at a time. Returns the number of blocks.
//
// The body is compiled twice, for any x86-64 and for processors with AVX2,
// whose wider vectors and integer maximum make the two passes about half as
// long. It calls no out-of-line function, so nothing compiled for AVX2 can be
// shared with the other version. (The same body compiled for AVX-512 measured
// slower; the 8-lane path has a listing written for masks, list_avx512.)
template <bool Plus>
[[gnu::always_inline]] inline int32_t list_core(int32_t N, const int32_t* __restrict old_heights,
                                                const int32_t* __restrict new_before,
                                                int32_t* __restrict new_heights, int32_t* starts,
                                                uint8_t* __restrict links,
                                                uint8_t* __restrict is_free) {
  // Forced: up (or staying) in S->S+1, staying (or down) in S->S-1.
  for (int32_t i = 0; i < N; ++i) {
    if constexpr (Plus)
      new_heights[i] = old_heights[i] > new_before[i] ? old_heights[i] : new_before[i];
    else
      new_heights[i] = old_heights[i] < new_before[i] + 1 ? old_heights[i] : new_before[i] + 1;
    is_free[i] = Plus ? (old_heights[i] == new_before[i]) : (old_heights[i] == new_before[i] + 1);
  }
  for (int32_t i = 0; i + 1 < N; ++i)
    links[i] = is_free[i] & is_free[i + 1] & (new_before[i + 1] == new_before[i] + 1);
  links[N - 1] = 0;
  // A block starts at a free particle that the one below does not link to.
  // Eight particles at a time: their free flags, less the links shifted up
  // by one particle. Both are zero past N up to a multiple of 8.
  int32_t count = 0;
  uint64_t carry = 0;  // the link of the particle below the group
  for (int32_t base = 0; base < N; base += 8) {
    uint64_t f, l;
    std::memcpy(&f, is_free + base, 8);
    std::memcpy(&l, links + base, 8);
    const uint64_t bytes = f & ~((l << 8) | carry);
    carry = l >> 56;
    // One bit per flag byte: byte b of `bytes` (0 or 1) lands in bit 56 + b.
    const unsigned mask = static_cast<unsigned>((bytes * 0x0102040810204080ull) >> 56);
    // All eight places are written (the list has room for them); only the
    // first `count` are starts.
    using Four = int32_t __attribute__((vector_size(16)));
    Four lo, hi;
    std::memcpy(&lo, kStarts.pos[mask], 16);
    std::memcpy(&hi, kStarts.pos[mask] + 4, 16);
    lo += base;
    hi += base;
    std::memcpy(starts + count, &lo, 16);
    std::memcpy(starts + count + 4, &hi, 16);
    count += kStarts.count[mask];
  }
  return count;
}

template <bool Plus>
int32_t list_plain(int32_t N, const int32_t* old_heights, const int32_t* new_before,
                   int32_t* new_heights, int32_t* starts, uint8_t* links, uint8_t* is_free) {
  return list_core<Plus>(N, old_heights, new_before, new_heights, starts, links, is_free);
}

#ifdef LOZENGIA_AVX2
template <bool Plus>
LOZENGIA_AVX2_FUNCTION int32_t list_avx2(int32_t N, const int32_t* old_heights,
                                                  const int32_t* new_before, int32_t* new_heights,
                                                  int32_t* starts, uint8_t* links,
                                                  uint8_t* is_free) {
  return list_core<Plus>(N, old_heights, new_before, new_heights, starts, links, is_free);
}
#endif

#ifdef LOZENGIA_AVX512
LOZENGIA_AVX512_CODE_BEGIN
// One group of sixteen particles from `base` for list_avx512; `here` and
// `above` mask the lanes with a particle and with one above it (all set but
// in the last group); `places` holds base, base + 1, ..., base + 15. The flags
// stay masks from the comparisons to the compressions: taking them to
// general registers and back costs as much as the rest of the group.
template <bool Plus, bool Links>
LOZENGIA_AVX512_INLINE void list16(
    int32_t base, __mmask16 here, __mmask16 above, const int32_t* old_heights,
    const int32_t* new_before, int32_t* new_heights, int32_t* starts, int32_t* ends, uint8_t* links,
    int32_t& count, int32_t& end_count, __m512i& apart, __m512i places) {
  const __m512i one = _mm512_set1_epi32(1);
  const __m512i o = _mm512_maskz_loadu_epi32(here, old_heights + base);
  const __m512i b = _mm512_maskz_loadu_epi32(here, new_before + base);
  const __m512i o1 = _mm512_maskz_loadu_epi32(above, old_heights + base + 1);
  const __m512i b1 = _mm512_maskz_loadu_epi32(above, new_before + base + 1);
  const __m512i b_up = _mm512_add_epi32(b, one);
  // Zero where a particle is free (x0), where the one above is free (x1),
  // where the new heights below are consecutive (x2).
  __m512i x0, x1;
  if constexpr (Plus) {
    // Forced: up (or staying).
    _mm512_mask_storeu_epi32(new_heights + base, here, _mm512_max_epi32(o, b));
    x0 = _mm512_xor_si512(o, b);
    x1 = _mm512_xor_si512(o1, b1);
  } else {
    // Forced: staying (or down).
    _mm512_mask_storeu_epi32(new_heights + base, here, _mm512_min_epi32(o, b_up));
    x0 = _mm512_xor_si512(o, b_up);
    x1 = _mm512_xor_si512(o1, _mm512_add_epi32(b1, one));
  }
  const __m512i x2 = _mm512_xor_si512(b1, b_up);
  // Nonzero where a free particle does not link to the next (the top one
  // never does); the flags stay in vectors, which the mask registers'
  // logic would otherwise serialise.
  const __m512i no_link = _mm512_mask_mov_epi32(_mm512_set1_epi32(-1), above,
                                                _mm512_ternarylogic_epi32(x0, x1, x2, 0xFE));
  const __mmask16 free = _mm512_mask_testn_epi32_mask(here, x0, x0);
  if constexpr (Links)
    _mm_mask_storeu_epi8(
        links + base, here,
        _mm_maskz_mov_epi8(_mm512_mask_testn_epi32_mask(free, no_link, no_link), _mm_set1_epi8(1)));
  // A block starts at a free particle the one below does not link to, and
  // ends at one without a link to the next; the k-th end listed is the k-th
  // block's.
  const __m512i below = _mm512_alignr_epi32(no_link, apart, 15);
  const __mmask16 first = _mm512_mask_test_epi32_mask(free, below, below);
  const __mmask16 last = _mm512_mask_test_epi32_mask(free, no_link, no_link);
  apart = no_link;
  // All sixteen places are written (the lists have room for them); only the
  // first few are starts or ends.
  _mm512_storeu_si512(starts + count, _mm512_maskz_compress_epi32(first, places));
  _mm512_storeu_si512(ends + end_count, _mm512_maskz_compress_epi32(last, places));
  count += static_cast<int32_t>(_mm_popcnt_u32(_cvtmask16_u32(first)));
  end_count += static_cast<int32_t>(_mm_popcnt_u32(_cvtmask16_u32(last)));
}

// The listing with AVX-512 masks, sixteen particles at a time: the flags of
// a group are bits of a mask instead of bytes in memory, and its starts and
// ends are compressed into their lists in one instruction each. With Links,
// the links are also written as bytes, for the code that reads them (the
// other models' groups and single blocks); Hahn's 8-lane code reads the ends
// instead. The free flags are not needed. Loads and stores past the last
// particle are masked off.
template <bool Plus, bool Links>
LOZENGIA_AVX512_FUNCTION int32_t list_avx512(
    int32_t N, const int32_t* old_heights, const int32_t* new_before, int32_t* new_heights,
    int32_t* starts, int32_t* ends, uint8_t* links) {
  int32_t count = 0, end_count = 0;
  __m512i apart = _mm512_set1_epi32(-1);  // lane 15: the particle below the group does not link
  __m512i places = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m512i sixteen = _mm512_set1_epi32(16);
  int32_t base = 0;
  for (; base + 16 < N; base += 16) {
    list16<Plus, Links>(base, 0xFFFF, 0xFFFF, old_heights, new_before, new_heights, starts, ends,
                        links, count, end_count, apart, places);
    places = _mm512_add_epi32(places, sixteen);
  }
  const int32_t left = N - base;  // 1 to 16
  list16<Plus, Links>(base, static_cast<__mmask16>((1u << left) - 1),
                      static_cast<__mmask16>((1u << (left - 1)) - 1), old_heights, new_before,
                      new_heights, starts, ends, links, count, end_count, apart, places);
  return count;
}
LOZENGIA_AVX512_CODE_END
#endif

// The slice's listing on the path's widest code. Links = false (the 8-lane
// path only) leaves the links unwritten: the caller reads block ends.
template <VectorPath Path, bool Plus, bool Links = true>
inline int32_t list_blocks(SweepWorkspace& work, const int32_t* old_heights,
                           const int32_t* new_before, int32_t* new_heights) {
#ifdef LOZENGIA_AVX512
  if constexpr (Path == VectorPath::kAvx512)
    return list_avx512<Plus, Links>(work.N, old_heights, new_before, new_heights,
                                    work.block_starts.data(), work.block_ends.data(),
                                    work.links.data());
#endif
  static_assert(Links || Path == VectorPath::kAvx512, "only the 8-lane listing lists ends");
#ifdef LOZENGIA_AVX2
  if constexpr (Path != VectorPath::kPlain)
    return list_avx2<Plus>(work.N, old_heights, new_before, new_heights, work.block_starts.data(),
                           work.links.data(), work.is_free.data());
#endif
  return list_plain<Plus>(work.N, old_heights, new_before, new_heights, work.block_starts.data(),
                          work.links.data(), work.is_free.data());
}

// The last particle of a block of four particles or more from i: the first
// without a link, found eight links at a time (each is 0 or 1, and the list
// has room past its end).
inline int32_t block_end(const uint8_t* links, int32_t i) {
  int32_t j = i + 3;
  for (;;) {
    uint64_t bytes;
    std::memcpy(&bytes, links + j, 8);
    const uint64_t ends = ~bytes & 0x0101010101010101ull;
    if (ends) return j + (std::countr_zero(ends) >> 3);
    j += 8;
  }
}

// Hands the slice's blocks from..count-1 to the code for their length: up to
// three particles are measured without branches; longer blocks are extended
// eight links at a time. Calls small(i, has_second, has_third, b) for blocks
// of at most three particles (has_second and has_third are 0 or 1), and
// large(i, j, b) otherwise; b is the block's place in the slice (and the
// index of its draw). Then moves the generator past the slice's last draw.
template <class Small, class Large>
inline void blocks_from(SweepWorkspace& work, int32_t from, int32_t count, const Small& small,
                        const Large& large) {
  const int32_t* starts = work.block_starts.data();
  const uint8_t* links = work.links.data();  // zero past the last particle
  for (int32_t b = from; b < count; ++b) {
    const int32_t i = starts[b];
    const int32_t has_second = links[i];
    const int32_t has_third = has_second & links[i + 1];
    const int32_t has_fourth = has_third & links[i + 2];
    if (has_fourth) {
      large(i, block_end(links, i), b);
    } else {
      small(i, has_second, has_third, b);
    }
  }
  work.rng.set_state(work.draw_states[static_cast<std::size_t>(count)]);
}

}  // namespace lozengia::sweep
