// The state of one sweep in progress: its hexagon, its generator and chooser,
// and the buffers its slices fill and read. Every buffer is sized once per
// sweep for the largest slice, N particles, so no slice allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/draw_chooser.h"
#include "core/random.h"
#include "core/weights.h"

namespace lozengia::sweep {

// Room past the last entry each buffer needs, and why.
//
// Outcomes are numbered 1..m with m <= N + 1 (a block of all N particles);
// the walk reads its sentinel at m + 1, and the branch-free code of small
// blocks writes entries 1..4 whatever m is (N = 1 still needs index 4).
inline constexpr std::size_t kOutcomePad = 5;
// The listing writes the starts of a group of eight (with AVX-512: sixteen)
// particles as one whole row of places, of which only the first few count.
inline constexpr std::size_t kStartPad = 16;
// The flags are read eight at a time: the free flags up to a multiple of
// eight, the links also from any particle of a block (the end of a long block
// is searched eight links at a time, the lanes read four links at once). The
// bytes past the last particle stay 0.
inline std::size_t flag_bytes(int32_t N) { return (static_cast<std::size_t>(N) + 7) / 8 * 8; }
inline constexpr std::size_t kLinkPad = 8;
// The generator's states and the draws are made several blocks at a time,
// the last group running up to 24 places past the slice's count of blocks
// (the 8-lane path), and the states are read one place ahead of the draws.
inline constexpr std::size_t kDrawPad = 32;

struct SweepWorkspace {
  SweepWorkspace(const ModelTables& tables, int32_t N, int32_t T, int32_t S, ParkMiller& rng,
                 MessageSink& sink)
      : N(N),
        T(T),
        S(S),
        tables(tables),
        block_weights(N, T, S, tables),
        weights(static_cast<std::size_t>(N) + kOutcomePad),
        sums(static_cast<std::size_t>(N) + kOutcomePad),
        exponents(static_cast<std::size_t>(N) + kOutcomePad),
        ratios(static_cast<std::size_t>(N)),
        block_starts(static_cast<std::size_t>(N) + kStartPad),
        block_ends(static_cast<std::size_t>(N) + kStartPad),
        links(flag_bytes(N) + kLinkPad, 0),
        is_free(flag_bytes(N), 0),
        draw_states(static_cast<std::size_t>(N) + kDrawPad),
        draws(static_cast<std::size_t>(N) + kDrawPad),
        spans(static_cast<std::size_t>(N) + kDrawPad),
        jumps(static_cast<std::size_t>(N) + kDrawPad),
        redo_list(static_cast<std::size_t>(N) + kStartPad),
        redo_ends(static_cast<std::size_t>(N)),
        medium_places(static_cast<std::size_t>(N)),
        redo_finished(static_cast<std::size_t>(N)),
        rng(rng),
        chooser(N, T, S, tables.model().q, rng, sink) {
    uint32_t a = 1;
    for (uint32_t& j : jumps) {
      j = a;
      a = ParkMiller::advance(a);
    }
  }

  int32_t N, T, S;
  const ModelTables& tables;
  // The general evaluation of a block's weights, on the tables.
  BlockWeightsT<ModelTables> block_weights;

  // The block being weighed: weights[1..m], their running sums sums[1..m],
  // and while a long block is built, the binary exponents of its weights.
  std::vector<double> weights, sums;
  std::vector<int32_t> exponents;
  // A long block's ratios of consecutive weights, ratios[k - 2] = w(k) / w(k - 1).
  std::vector<double> ratios;

  // The slice's blocks: first particles in block order; links[i] = 1 when
  // particle i belongs to the same block as particle i + 1; is_free[i] = 1
  // when particle i is free (not forced).
  std::vector<int32_t> block_starts;
  // The 8-lane path's listing also lists each block's last particle.
  std::vector<int32_t> block_ends;
  std::vector<uint8_t> links;
  std::vector<uint8_t> is_free;

  // The slice's random numbers, one per block in block order, made before any
  // block is weighed: draw_states[b] is the generator's state before block
  // b's draw, draws[b] the draw u and spans[b] = 1 - u (the factor of the
  // walk's threshold).
  std::vector<uint32_t> draw_states;
  std::vector<float> draws;
  std::vector<float> spans;
  // jumps[k] = 48271^k mod (2^31 - 1): the generator's k steps as one
  // product (the 8-lane path makes a slice's states from its first one).
  std::vector<uint32_t> jumps;

  // The vector code's redo list: the blocks (by index) it did not finish in
  // its lanes, done after the groups in block order. redo_ends[k] is the last
  // particle of redo_list[k] when it is a long block (four particles or
  // more), -1 otherwise; medium_places lists the places k of the blocks of
  // four to seven particles, weighed several at a time first, and
  // redo_finished[k] marks those already drawn and written.
  std::vector<int32_t> redo_list;
  std::vector<int32_t> redo_ends;
  std::vector<int32_t> medium_places;
  std::vector<uint8_t> redo_finished;

  ParkMiller& rng;
  DrawChooser<ParkMiller> chooser;
};

}  // namespace lozengia::sweep
