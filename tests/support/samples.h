// Tilings to start the tests' sweeps from.
#pragma once

#include <cstdint>

#include "core/fast_sweep.h"
#include "core/hexagon.h"
#include "core/message_sink.h"

namespace lozengia::testing {

// A typical tiling of the N x (T-S) x S hexagon: an exact sample for `seed`.
inline PathArray sample_at(int32_t N, int32_t T, int32_t S, const ModelParams& m, int64_t seed) {
  PathArray p(N, T);
  NullSink quiet;
  exact_sample_streams(HexagonParams{N, T, S, m}, p, seed, 1, quiet);
  return p;
}

}  // namespace lozengia::testing
