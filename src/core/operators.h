// The two Markov operators: S->S+1 (operator_sweep_plus) and S->S-1
// (operator_sweep_minus).
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

// One sweep of an operator over the hexagon `hexagon` (its N, T, S and model):
// operator_sweep_plus goes S->S+1, operator_sweep_minus S->S-1. These take the
// shared, locked generator (the desktop program's single stream, in the order
// every draw is made).
void operator_sweep_plus(const HexagonParams& hexagon, const PathArray& old, PathArray& new_paths,
                         RandomSource& rng, MessageSink& sink);
void operator_sweep_minus(const HexagonParams& hexagon, const PathArray& old, PathArray& new_paths,
                          RandomSource& rng, MessageSink& sink);

// The same on a private stream, for work that runs in parallel.
void operator_sweep_plus(const HexagonParams& hexagon, const PathArray& old, PathArray& new_paths,
                         ParkMiller& rng, MessageSink& sink);
void operator_sweep_minus(const HexagonParams& hexagon, const PathArray& old, PathArray& new_paths,
                          ParkMiller& rng, MessageSink& sink);

}  // namespace lozengia
