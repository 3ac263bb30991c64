// The two Markov operators: S->S+1 (s_plus_operator) and S->S-1 (s_minus_operator).
// Each reads `old`, writes every element of `new_paths`, and never changes S; the
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
// stream, in the order every draw is made). s_plus_operator: one sweep S->S+1;
// s_minus_operator: one sweep S->S-1.
void s_plus_operator(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                     const double& q, const double& K, const double& alpha, const double& beta,
                     const PathArray& old, PathArray& new_paths, RandomSource& rng,
                     MessageSink& sink);
void s_minus_operator(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                      const double& q, const double& K, const double& alpha, const double& beta,
                      const PathArray& old, PathArray& new_paths, RandomSource& rng,
                      MessageSink& sink);

// The same on a private stream, for work that runs in parallel.
void s_plus_operator(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                     const double& q, const double& K, const double& alpha, const double& beta,
                     const PathArray& old, PathArray& new_paths, ParkMiller& rng,
                     MessageSink& sink);
void s_minus_operator(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                      const double& q, const double& K, const double& alpha, const double& beta,
                      const PathArray& old, PathArray& new_paths, ParkMiller& rng,
                      MessageSink& sink);

}  // namespace lozengia
