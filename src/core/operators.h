// The two Markov operators: S->S+1 (SOPERATOR) and S->S-1 (SMINUSOPERATOR).
// Each reads `old`, writes every element of `nw`, and never changes S; the
// caller swaps or copies the arrays and changes S by one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/hexagon.h"
#include "core/message_sink.h"
#include "core/random.h"

namespace lozengia {


// Operators on the shared, locked generator (the desktop program's single
// stream, in the order every draw is made).
void SOPERATOR(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
               const double& q, const double& K, const double& alpha, const double& beta,
               const PathArray& old, PathArray& nw, RandomSource& rng, MessageSink& sink);
void SMINUSOPERATOR(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                    const double& q, const double& K, const double& alpha, const double& beta,
                    const PathArray& old, PathArray& nw, RandomSource& rng, MessageSink& sink);

// The same on a private stream, for work that runs in parallel.
void SOPERATOR(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
               const double& q, const double& K, const double& alpha, const double& beta,
               const PathArray& old, PathArray& nw, ParkMiller& rng, MessageSink& sink);
void SMINUSOPERATOR(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                    const double& q, const double& K, const double& alpha, const double& beta,
                    const PathArray& old, PathArray& nw, ParkMiller& rng, MessageSink& sink);

// The plain sweeps: every model value computed when needed, the block loop
// written as directly as possible. They draw the same numbers and give the same
// results as the operators above, which run on tables; kept as the reference
// the fast path is checked against.
void plain_sweep_plus(int32_t N, int32_t T, int32_t S, const ModelParams& model,
                      const PathArray& old, PathArray& nw, ParkMiller& rng, MessageSink& sink);
void plain_sweep_minus(int32_t N, int32_t T, int32_t S, const ModelParams& model,
                       const PathArray& old, PathArray& nw, ParkMiller& rng, MessageSink& sink);

// Repeated sweeps on one hexagon: keeps the model's tables and the work vector
// between calls. `paths` is advanced in place (the result array is swapped in).
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
// S = 0 by S steps of S->S+1. `paths` must have the hexagon's shape.
template <class Rng>
void exact_sample(const HexagonParams& p, PathArray& paths, Rng& rng, MessageSink& sink);


}  // namespace lozengia
