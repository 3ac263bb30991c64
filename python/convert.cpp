#include "convert.h"

#include <algorithm>
#include <cstdio>

namespace lozengia::pymod {

std::string check_plane_partition(const int32_t* a, int64_t rows, int64_t cols, int64_t N) {
  auto at = [&](int64_t r, int64_t c) { return a[r * cols + c]; };
  auto where = [](int64_t r, int64_t c) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "[%lld, %lld]", static_cast<long long>(r),
                  static_cast<long long>(c));
    return std::string(buf);
  };
  for (int64_t r = 0; r < rows; ++r) {
    for (int64_t c = 0; c < cols; ++c) {
      const int32_t v = at(r, c);
      if (v < 0 || v > N)
        return "entry " + where(r, c) + " is " + std::to_string(v) + ", outside 0.." +
               std::to_string(N);
      if (c > 0 && v > at(r, c - 1))
        return "entry " + where(r, c) + " = " + std::to_string(v) +
               " exceeds the entry left of it (" + std::to_string(at(r, c - 1)) +
               "): rows must decrease weakly";
      if (r > 0 && v > at(r - 1, c))
        return "entry " + where(r, c) + " = " + std::to_string(v) +
               " exceeds the entry above it (" + std::to_string(at(r - 1, c)) +
               "): columns must decrease weakly";
    }
  }
  return {};
}

uint64_t plane_partition_to_paths_bytes(int64_t rows, int64_t cols, int64_t N) {
  return path_array_bytes(N, rows + cols) +
         2 * static_cast<uint64_t>(std::min(rows, cols) + 1) * sizeof(int32_t);
}

PathArray plane_partition_to_paths(const int32_t* a, int32_t rows, int32_t cols, int32_t N) {
  const int32_t S = rows, T = rows + cols;
  PathArray paths(N, T);
  init_minimal_paths(N, T, S, paths);  // slices 0 and T, and every slice when S or T-S is 0
  if (S == 0 || cols == 0) return paths;
  std::vector<int32_t> holes;
  for (int32_t t = 1; t < T; ++t) {
    // The diagonal of slice t starts at 1-based cell (S, t) below slice T-S,
    // at (T-t, T-S) above it, and climbs one row up and one column left per
    // hole, the holes going upwards in height from the slice's lowest place.
    int32_t r = t <= cols ? S : T - t;
    int32_t c = t <= cols ? t : cols;
    const int32_t h0 = std::max(0, t - cols);
    const int32_t h1 = std::min(S + N - 1, t + N - 1);
    holes.clear();
    for (int32_t j = 0; r >= 1 && c >= 1; ++j, --r, --c)
      holes.push_back(h0 + j + a[static_cast<std::size_t>(r - 1) * cols + (c - 1)]);
    int32_t* col = paths.slice(t);
    int32_t i = 0;
    std::size_t k = 0;
    for (int32_t h = h0; h <= h1 && i < N; ++h) {
      if (k < holes.size() && holes[k] == h) {
        ++k;
        continue;
      }
      col[i++] = h;
    }
  }
  return paths;
}

void lozenge_types(const PathArray& paths, int32_t N, int32_t T, int32_t S, int8_t* out) {
  const int32_t H = N + S;
  std::fill(out, out + static_cast<std::size_t>(H) * static_cast<std::size_t>(T), int8_t{0});
  auto at = [&](int32_t h, int32_t t) -> int8_t& {
    return out[static_cast<std::size_t>(h) * T + static_cast<std::size_t>(t)];
  };
  for (int32_t t = 0; t < T; ++t) {
    // The hexagon at slice t spans heights lo..hi.
    const int32_t lo = std::max(0, t - (T - S));
    const int32_t hi = std::min(H - 1, t + N - 1);
    for (int32_t h = lo; h <= hi; ++h) at(h, t) = 3;
    for (int32_t i = 1; i <= N; ++i) at(paths(i, t), t) = paths(i, t + 1) == paths(i, t) ? 1 : 2;
  }
}

}  // namespace lozengia::pymod
