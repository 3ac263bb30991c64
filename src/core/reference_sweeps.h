// The reference sweeps as callable functions: the plain evaluation (every
// model value computed when needed, one block after another, the generic
// sweeps of core/sweep.h), and exact samples made one operator step after
// another. Tests and benchmarks check and measure the fast path against them;
// the program itself samples through core/operators.h and core/fast_sweep.h.
#pragma once

#include <cstdint>

#include "core/hexagon.h"
#include "core/message_sink.h"
#include "core/random.h"

namespace lozengia {

// The plain sweeps. They draw the same numbers and give the same results as
// the operators, which run on tables.
void plain_sweep_plus(int32_t N, int32_t T, int32_t S, const ModelParams& model,
                      const PathArray& old, PathArray& new_paths, ParkMiller& rng,
                      MessageSink& sink);
void plain_sweep_minus(int32_t N, int32_t T, int32_t S, const ModelParams& model,
                       const PathArray& old, PathArray& new_paths, ParkMiller& rng,
                       MessageSink& sink);

// Repeated operator steps on one hexagon: keeps the work array between calls.
// `paths` is advanced in place (the result array is swapped in).
class Sampler {
 public:
  Sampler(int32_t N, int32_t T, const ModelParams& model);
  // One S->S+1 step from S (S < T), one S->S-1 step from S (S > 0).
  template <class Rng>
  void step_plus(int32_t S, PathArray& paths, Rng& rng, MessageSink& sink);
  template <class Rng>
  void step_minus(int32_t S, PathArray& paths, Rng& rng, MessageSink& sink);

 private:
  int32_t N_, T_;
  ModelParams model_;
  PathArray scratch_;
};

// An exact sample of the model at S, grown from the minimal configuration at
// S = 0 by S steps of S->S+1 on one stream. `paths` must have the hexagon's
// shape.
template <class Rng>
void exact_sample(const HexagonParams& p, PathArray& paths, Rng& rng, MessageSink& sink);

}  // namespace lozengia
