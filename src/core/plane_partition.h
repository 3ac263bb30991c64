// The boxed plane partition of a tiling: an S x (T-S) matrix with entries in
// 0..N, rows and columns weakly decreasing. Entry (r, c) counts the paths that
// lie below one hole (an unoccupied height) of one time slice.
#pragma once

#include <cstdint>
#include <vector>

#include "core/hexagon.h"

namespace lozengia {

struct PlanePartition {
  int32_t rows = 0;                                 // S
  int32_t cols = 0;                                 // T - S
  std::vector<int32_t> cells;                       // row-major
  int32_t operator()(int32_t r, int32_t c) const {  // 1-based
    return cells[static_cast<std::size_t>(r - 1) * cols + (c - 1)];
  }
};

PlanePartition to_plane_partition(const PathArray& paths, int32_t N, int32_t T, int32_t S);

}  // namespace lozengia
