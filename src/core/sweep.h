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
  int32_t t;       // slice
  int32_t i, j;    // first and last particle (1-based)
  int32_t D;       // T - t - S
  int32_t old_i;   // old height of particle i
  int32_t old_j;   // old height of particle j
};

// S->S+1. `w` holds at least N+2 doubles. Chooser::choose_plus(w, m, info)
// returns the outcome k in 1..m (k-1 particles stay, the rest go up).
template <class Chooser>
void sweep_plus(int32_t N, int32_t T, int32_t S, BlockWeights& bw, const PathArray& old,
                PathArray& nw, Chooser& chooser, double* w) {
  std::copy(old.slice(0), old.slice(0) + N, nw.slice(0));
  for (int32_t t = 1; t <= T; ++t) {
    const int32_t* o = old.slice(t);
    const int32_t* prev = nw.slice(t - 1);
    int32_t* n = nw.slice(t);
    int32_t i = 0;
    while (i < N) {
      const int32_t oi = o[i];
      const int32_t pi = prev[i];
      if (oi == pi + 1) {  // forced up
        n[i] = oi;
        ++i;
      } else if (oi == pi - 1) {  // forced to stay
        n[i] = pi;
        ++i;
      } else {
        int32_t j = i;
        while (j + 1 < N && prev[j + 1] == o[j + 1] && prev[j + 1] == prev[j] + 1) ++j;
        const int32_t m = j - i + 2;
        bw.plus(t, oi, m, w);
        const int32_t k = chooser.choose_plus(w, m, BlockInfo{t, i + 1, j + 1, T - t - S, oi, o[j]});
        const int32_t stay_end = i + k - 1;  // particles i..stay_end-1 stay
        for (int32_t p = i; p < stay_end; ++p) n[p] = o[p];
        for (int32_t p = stay_end; p <= j; ++p) n[p] = o[p] + 1;
        i = j + 1;
      }
    }
  }
}

// S->S-1. Chooser::choose_minus(w, L, info) returns k in 1..L (the lowest
// k-1 paths of the block move down, the others stay).
template <class Chooser>
void sweep_minus(int32_t N, int32_t T, int32_t S, BlockWeights& bw, const PathArray& old,
                 PathArray& nw, Chooser& chooser, double* w) {
  std::copy(old.slice(0), old.slice(0) + N, nw.slice(0));
  for (int32_t t = 1; t <= T; ++t) {
    const int32_t* o = old.slice(t);
    const int32_t* prev = nw.slice(t - 1);
    int32_t* n = nw.slice(t);
    int32_t i = 0;
    while (i < N) {
      const int32_t d = o[i] - prev[i];
      if (d == 0) {  // stays
        n[i] = o[i];
        ++i;
      } else if (d == 2) {  // forced down
        n[i] = prev[i] + 1;
        ++i;
      } else {
        int32_t j = i;
        while (j + 1 < N && o[j + 1] == prev[j + 1] + 1 && prev[j + 1] == prev[j] + 1) ++j;
        const int32_t L = j - i + 2;
        bw.minus(t, o[i], L, w);
        const int32_t k =
            chooser.choose_minus(w, L, BlockInfo{t, i + 1, j + 1, T - t - S, o[i], o[j]});
        const int32_t move_end = i + k - 1;  // paths i..move_end-1 move down
        for (int32_t p = i; p < move_end; ++p) n[p] = o[p] - 1;
        for (int32_t p = move_end; p <= j; ++p) n[p] = o[p];
        i = j + 1;
      }
    }
  }
}

}  // namespace lozengia
