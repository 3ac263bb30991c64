// The two sweeps of the Markov operators, written once for any way of choosing
// a block's outcome: the sampler draws it, the exactness tests enumerate every
// outcome with its probability.
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/hexagon.h"
#include "core/weights.h"

namespace lozengia {

// What a chooser is told about the block it decides, for diagnostics.
struct BlockInfo {
  int32_t t;      // slice
  int32_t i, j;   // first and last particle (1-based)
  int32_t D;      // T - t - S
  int32_t old_i;  // old height of particle i
  int32_t old_j;  // old height of particle j
};

// S->S+1. `w` holds at least N+3 doubles (outcomes 1..N+1 and the walk's
// sentinel). Chooser::choose_plus(w, outcomes, info) returns the outcome k in
// 1..outcomes (k-1 particles stay, the rest go up).
template <class Chooser>
void sweep_plus(int32_t N, int32_t T, int32_t S, BlockWeights& bw, const PathArray& old,
                PathArray& new_paths, Chooser& chooser, double* w) {
  std::copy(old.slice(0), old.slice(0) + N, new_paths.slice(0));
  for (int32_t t = 1; t <= T; ++t) {
    const int32_t* old_heights = old.slice(t);
    const int32_t* new_before = new_paths.slice(t - 1);  // the slice before, already swept
    int32_t* new_heights = new_paths.slice(t);
    int32_t i = 0;
    while (i < N) {
      const int32_t x = old_heights[i];
      const int32_t below = new_before[i];
      if (x == below + 1) {  // forced up
        new_heights[i] = x;
        ++i;
      } else if (x == below - 1) {  // forced to stay
        new_heights[i] = below;
        ++i;
      } else {
        int32_t j = i;
        while (j + 1 < N && new_before[j + 1] == old_heights[j + 1] &&
               new_before[j + 1] == new_before[j] + 1)
          ++j;
        const int32_t outcomes = j - i + 2;
        bw.plus(t, x, outcomes, w);
        const int32_t k = chooser.choose_plus(
            w, outcomes, BlockInfo{t, i + 1, j + 1, T - t - S, x, old_heights[j]});
        const int32_t stay_end = i + k - 1;  // particles i..stay_end-1 stay
        for (int32_t p = i; p < stay_end; ++p) new_heights[p] = old_heights[p];
        for (int32_t p = stay_end; p <= j; ++p) new_heights[p] = old_heights[p] + 1;
        i = j + 1;
      }
    }
  }
}

// S->S-1. Chooser::choose_minus(w, outcomes, info) returns k in 1..outcomes
// (the lowest k-1 paths of the block move down, the others stay).
template <class Chooser>
void sweep_minus(int32_t N, int32_t T, int32_t S, BlockWeights& bw, const PathArray& old,
                 PathArray& new_paths, Chooser& chooser, double* w) {
  std::copy(old.slice(0), old.slice(0) + N, new_paths.slice(0));
  for (int32_t t = 1; t <= T; ++t) {
    const int32_t* old_heights = old.slice(t);
    const int32_t* new_before = new_paths.slice(t - 1);  // the slice before, already swept
    int32_t* new_heights = new_paths.slice(t);
    int32_t i = 0;
    while (i < N) {
      const int32_t d = old_heights[i] - new_before[i];
      if (d == 0) {  // stays
        new_heights[i] = old_heights[i];
        ++i;
      } else if (d == 2) {  // forced down
        new_heights[i] = new_before[i] + 1;
        ++i;
      } else {
        int32_t j = i;
        while (j + 1 < N && old_heights[j + 1] == new_before[j + 1] + 1 &&
               new_before[j + 1] == new_before[j] + 1)
          ++j;
        const int32_t outcomes = j - i + 2;
        bw.minus(t, old_heights[i], outcomes, w);
        const int32_t k = chooser.choose_minus(
            w, outcomes, BlockInfo{t, i + 1, j + 1, T - t - S, old_heights[i], old_heights[j]});
        const int32_t move_end = i + k - 1;  // paths i..move_end-1 move down
        for (int32_t p = i; p < move_end; ++p) new_heights[p] = old_heights[p] - 1;
        for (int32_t p = move_end; p <= j; ++p) new_heights[p] = old_heights[p];
        i = j + 1;
      }
    }
  }
}

}  // namespace lozengia
