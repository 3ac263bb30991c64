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
// long (the 8-lane path uses the AVX2 version too: compiled for AVX-512 the
// listing measured slower). It calls no out-of-line function, so nothing compiled for AVX2 can be
// shared with the other version.
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
__attribute__((target("avx2"))) int32_t list_avx2(int32_t N, const int32_t* old_heights,
                                                  const int32_t* new_before, int32_t* new_heights,
                                                  int32_t* starts, uint8_t* links,
                                                  uint8_t* is_free) {
  return list_core<Plus>(N, old_heights, new_before, new_heights, starts, links, is_free);
}
#endif

template <VectorPath Path, bool Plus>
inline int32_t list_blocks(SweepWorkspace& ws, const int32_t* old_heights,
                           const int32_t* new_before, int32_t* new_heights) {
#ifdef LOZENGIA_AVX2
  if constexpr (Path != VectorPath::kPlain)
    return list_avx2<Plus>(ws.N, old_heights, new_before, new_heights, ws.block_starts.data(),
                           ws.links.data(), ws.is_free.data());
#endif
  return list_plain<Plus>(ws.N, old_heights, new_before, new_heights, ws.block_starts.data(),
                          ws.links.data(), ws.is_free.data());
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
inline void blocks_from(SweepWorkspace& ws, int32_t from, int32_t count, const Small& small,
                        const Large& large) {
  const int32_t* starts = ws.block_starts.data();
  const uint8_t* links = ws.links.data();  // zero past the last particle
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
  ws.rng.set_state(ws.draw_states[static_cast<std::size_t>(count)]);
}

}  // namespace lozengia::sweep
