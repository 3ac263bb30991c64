// Step 4 of a slice on the vector paths: the blocks the groups left on the
// redo list, done again after the groups. Blocks of four to seven particles
// are sorted out first, to be drawn four at a time; every other listed block
// is then done one at a time, in block order, so that messages come in the
// order of the plain sweep.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/sweep/block_list.h"
#include "core/sweep/workspace.h"

namespace lozengia::sweep {

// The blocks of the redo list (work.redo_list[0..redo_count)) sorted: their
// last particles in work.redo_ends (long blocks; -1 for the others), none
// finished yet, and in work.medium_places the places of those of four to seven
// particles that `take` accepts, which are then drawn four at a time.
// Returns how many those are. A block's end comes from the listing's ends
// (FromEnds: the 8-lane listing, which writes no links) or is searched along
// the links.
template <bool FromEnds, class Take>
inline int32_t sort_redone(SweepWorkspace& work, int32_t redo_count, Take take) {
  const int32_t* starts = work.block_starts.data();
  int32_t medium_count = 0;
  for (int32_t k = 0; k < redo_count; ++k) {
    const int32_t b = work.redo_list[static_cast<std::size_t>(k)], i = starts[b];
    int32_t j;
    if constexpr (FromEnds) {
      const int32_t last = work.block_ends[static_cast<std::size_t>(b)];
      j = last - i >= 3 ? last : -1;
    } else {
      const uint8_t* links = work.links.data();
      j = links[i] & links[i + 1] & links[i + 2] ? block_end(links, i) : -1;
    }
    work.redo_ends[static_cast<std::size_t>(k)] = j;
    work.redo_finished[static_cast<std::size_t>(k)] = 0;
    work.medium_places[static_cast<std::size_t>(medium_count)] = k;
    medium_count += j >= 0 && j - i < 7 && take(i, j);
  }
  return medium_count;
}

// After the medium blocks: every listed block not yet finished, in block
// order, long ones (four particles or more) by large(i, j, b), the others by
// small(i, b); b is the block's place in the slice (and its draw).
template <class Large, class Small>
inline void redo_unfinished(SweepWorkspace& work, int32_t redo_count, const Large& large,
                            const Small& small) {
  const int32_t* starts = work.block_starts.data();
  for (int32_t k = 0; k < redo_count; ++k) {
    if (work.redo_finished[static_cast<std::size_t>(k)]) continue;
    const int32_t b = work.redo_list[static_cast<std::size_t>(k)], i = starts[b],
                  j = work.redo_ends[static_cast<std::size_t>(k)];
    if (j >= 0)
      large(i, j, b);
    else
      small(i, b);
  }
}

}  // namespace lozengia::sweep
