// Step 3 of Hahn's slice on the path's widest code: its small blocks a group
// at a time (hahn_group_body.h, as hahn_groups_avx2 and hahn_groups_avx512).
#pragma once

#include <cstdint>

#include "core/sweep/avx2_hahn.h"
#include "core/sweep/avx512_hahn.h"
#include "core/sweep/hahn_blocks.h"
#include "core/sweep/isa.h"
#include "core/sweep/workspace.h"
#include "core/weights.h"

namespace lozengia::sweep {

// Returns how many of the slice's `count` blocks were done (the 8-lane path
// does them all, the 4-lane path whole groups of four, the plain path none);
// the rest are left to the single-block code.
template <VectorPath Path, bool Plus, bool Forward>
inline int32_t hahn_groups(SweepWorkspace& work, int32_t t, const int32_t* old_heights,
                           int32_t* new_heights, int32_t count,
                           const HahnSmallBlock<Plus, Forward>& small, const HahnRatios& ratios) {
#ifdef LOZENGIA_AVX512
  if constexpr (Path == VectorPath::kAvx512)
    return hahn_groups_avx512<Plus, Forward>(work, t, old_heights, new_heights, count, small,
                                             ratios);
#endif
#ifdef LOZENGIA_AVX2
  if constexpr (Path == VectorPath::kAvx2)
    return hahn_groups_avx2<Plus, Forward>(work, t, old_heights, new_heights, count, small, ratios);
#endif
  (void)work, (void)t, (void)old_heights, (void)new_heights, (void)count, (void)small, (void)ratios;
  return 0;
}

}  // namespace lozengia::sweep
