// Conversions between the three descriptions of a tiling the module hands
// out: heights of the N paths, the boxed plane partition, and the lozenge
// type at every place of the hexagon.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/hexagon.h"

namespace lozengia::pymod {

// The lozenge types of a configuration at p's shape: an (N+S) x T matrix
// (row-major) over heights h and slices t = 0..T-1. Where a path crosses
// slice t at height h, the entry is the lozenge it goes through next: 1 flat,
// 2 rising; a place of slice t inside the hexagon that no path crosses is 3,
// the third lozenge (centred there); 0 is outside the hexagon.
// Every lozenge of the tiling appears once: N(T-S) ones, NS twos, S(T-S)
// threes.
// Written straight into `out` ((N+S) * T entries, the caller's array).
void lozenge_types(const PathArray& paths, int32_t N, int32_t T, int32_t S, int8_t* out);

}  // namespace lozengia::pymod
