// Conversions between the three descriptions of a tiling the module hands
// out: heights of the N paths, the boxed plane partition, and the lozenge
// type at every place of the hexagon.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/hexagon.h"

namespace lozengia::pymod {

// Empty when the rows x cols matrix (row-major) is a plane partition in an
// N-high box: entries in 0..N, weakly decreasing along rows and columns;
// otherwise what is wrong, naming the first bad entry (0-based).
std::string check_plane_partition(const int32_t* a, int64_t rows, int64_t cols, int64_t N);

// What plane_partition_to_paths allocates: the paths and a diagonal.
uint64_t plane_partition_to_paths_bytes(int64_t rows, int64_t cols, int64_t N);

// The paths of a plane partition already checked (the inverse of
// to_plane_partition): T = rows + cols, S = rows. At slice t the holes are
// read from one diagonal of the matrix, each entry counting the paths below
// its hole; the paths fill the other heights.
PathArray plane_partition_to_paths(const int32_t* a, int32_t rows, int32_t cols, int32_t N);

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
