#include "core/plane_partition.h"

#include <algorithm>

namespace lozengia {

namespace {

// Scans heights h0..h1 of one slice upwards; every hole stores the number of
// paths passed so far into the next cell of a diagonal that climbs one row up
// and one column left from (r, c).
void fill_diagonal(const PathArray& paths, int32_t N, int32_t slice, int32_t h0, int32_t h1,
                   int32_t r, int32_t c, PlanePartition& pp) {
  int32_t k = 1, passed = 0;
  // Paths below h0 are passed without being counted as holes.
  while (k <= N && paths(k, slice) < h0) {
    ++k;
    ++passed;
  }
  for (int32_t h = h0; h <= h1; ++h) {
    if (k <= N && paths(k, slice) == h) {
      ++k;
      ++passed;
    } else {
      if (r >= 1 && c >= 1) pp.cells[static_cast<std::size_t>(r - 1) * pp.cols + (c - 1)] = passed;
      --r;
      --c;
    }
  }
}

}  // namespace

PlanePartition to_plane_partition(const PathArray& paths, int32_t N, int32_t T, int32_t S) {
  PlanePartition pp;
  pp.rows = S;
  pp.cols = T - S;
  pp.cells.assign(static_cast<std::size_t>(pp.rows) * static_cast<std::size_t>(pp.cols), 0);
  if (pp.rows == 0 || pp.cols == 0) return pp;
  for (int32_t t = 1; t <= T - S; ++t)
    fill_diagonal(paths, N, t, 0, std::min(S + N - 1, t + N - 1), S, t, pp);
  for (int32_t r0 = S - 1; r0 >= 1; --r0) {
    const int32_t t = T - r0;
    fill_diagonal(paths, N, t, S - r0, std::min(S + N - 1, T - r0 + N - 1), r0, T - S, pp);
  }
  return pp;
}

}  // namespace lozengia
