#include "convert.h"

#include <algorithm>

namespace lozengia::pymod {

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
