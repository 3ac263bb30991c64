// The state of one sweep in progress: its hexagon, its generator and chooser,
// and the buffers its slices fill and read (a scratch of its own, or one
// shared with the other sweeps run on the same thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

// A slice's working buffers. A slice fills them and is done with them before
// the next slice starts, so the sweeps that one thread runs side by side (the
// wavefront's batch) share one set: it then stays in the core's first-level
// cache from slice to slice, instead of a set per sweep being evicted by the
// others. Every buffer is sized for the largest slice, N particles, so no
// slice allocates.
struct SliceScratch {
  explicit SliceScratch(int32_t N)
      : N(N),
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
        redo_finished(static_cast<std::size_t>(N)) {
    uint32_t a = 1;
    for (uint32_t& j : jumps) {
      j = a;
      a = ParkMiller::advance(a);
    }
  }
  // The bytes a scratch for N particles allocates: the buffers above, by
  // the lengths they are given (tests/test_memory.cpp checks the count
  // against the allocator).
  static uint64_t bytes_needed(int32_t N) {
    const uint64_t n = static_cast<uint64_t>(N);
    const uint64_t outcomes = n + kOutcomePad, starts = n + kStartPad, draw_places = n + kDrawPad;
    return sizeof(SliceScratch) + outcomes * (2 * sizeof(double) + sizeof(int32_t)) +
           n * sizeof(double) + starts * 3 * sizeof(int32_t) + flag_bytes(N) * 2 + kLinkPad +
           draw_places * (2 * sizeof(uint32_t) + 2 * sizeof(float)) +
           n * (2 * sizeof(int32_t) + sizeof(uint8_t));
  }

  int32_t N;
  std::vector<double> weights, sums;
  std::vector<int32_t> exponents;
  std::vector<double> ratios;
  std::vector<int32_t> block_starts, block_ends;
  std::vector<uint8_t> links, is_free;
  std::vector<uint32_t> draw_states;
  std::vector<float> draws, spans;
  std::vector<uint32_t> jumps;
  std::vector<int32_t> redo_list, redo_ends, medium_places;
  std::vector<uint8_t> redo_finished;
};

// One of the scratch's buffers, as the slice code reads and writes it.
template <class T>
class ScratchBuffer {
 public:
  explicit ScratchBuffer(std::vector<T>& v) : data_(v.data()) {}
  T* data() const { return data_; }
  T& operator[](std::size_t i) const { return data_[i]; }

 private:
  T* data_;
};

struct SweepWorkspace {
  // `shared`, when given, is the scratch of the sweeps run side by side on
  // this thread (made for the same N, and outliving the workspace);
  // otherwise the workspace has its own.
  SweepWorkspace(const ModelTables& tables, int32_t N, int32_t T, int32_t S, ParkMiller& rng,
                 MessageSink& sink, SliceScratch* shared = nullptr)
      : N(N),
        T(T),
        S(S),
        tables(tables),
        block_weights(N, T, S, tables),
        own_(shared ? nullptr : std::make_unique<SliceScratch>(N)),
        scratch_(shared ? *shared : *own_),
        weights(scratch_.weights),
        sums(scratch_.sums),
        exponents(scratch_.exponents),
        ratios(scratch_.ratios),
        block_starts(scratch_.block_starts),
        block_ends(scratch_.block_ends),
        links(scratch_.links),
        is_free(scratch_.is_free),
        draw_states(scratch_.draw_states),
        draws(scratch_.draws),
        spans(scratch_.spans),
        jumps(scratch_.jumps),
        redo_list(scratch_.redo_list),
        redo_ends(scratch_.redo_ends),
        medium_places(scratch_.medium_places),
        redo_finished(scratch_.redo_finished),
        rng(rng),
        chooser(N, T, S, tables.model().q, rng, sink) {}

  // The bytes a workspace for N particles allocates: itself, its block
  // weights' exponents and, unless it shares one, its scratch.
  static uint64_t bytes_needed(int32_t N, bool shared) {
    return sizeof(SweepWorkspace) + BlockWeightsT<ModelTables>::bytes_needed(N) +
           (shared ? 0 : SliceScratch::bytes_needed(N));
  }

  int32_t N, T, S;
  const ModelTables& tables;
  // The general evaluation of a block's weights, on the tables.
  BlockWeightsT<ModelTables> block_weights;

 private:
  std::unique_ptr<SliceScratch> own_;
  SliceScratch& scratch_;

 public:
  // The block being weighed: weights[1..m], their running sums sums[1..m],
  // and while a long block is built, the binary exponents of its weights.
  ScratchBuffer<double> weights, sums;
  ScratchBuffer<int32_t> exponents;
  // A long block's ratios of consecutive weights, ratios[k - 2] = w(k) / w(k - 1).
  ScratchBuffer<double> ratios;

  // The slice's blocks: first particles in block order; links[i] = 1 when
  // particle i belongs to the same block as particle i + 1; is_free[i] = 1
  // when particle i is free (not forced).
  ScratchBuffer<int32_t> block_starts;
  // The 8-lane path's listing also lists each block's last particle.
  ScratchBuffer<int32_t> block_ends;
  ScratchBuffer<uint8_t> links;
  ScratchBuffer<uint8_t> is_free;

  // The slice's random numbers, one per block in block order, made before any
  // block is weighed: draw_states[b] is the generator's state before block
  // b's draw, draws[b] the draw u and spans[b] = 1 - u (the factor of the
  // walk's threshold).
  ScratchBuffer<uint32_t> draw_states;
  ScratchBuffer<float> draws;
  ScratchBuffer<float> spans;
  // jumps[k] = 48271^k mod (2^31 - 1): the generator's k steps as one
  // product (the 8-lane path makes a slice's states from its first one).
  ScratchBuffer<uint32_t> jumps;

  // The vector code's redo list: the blocks (by index) it did not finish in
  // its lanes, done after the groups in block order. redo_ends[k] is the last
  // particle of redo_list[k] when it is a long block (four particles or
  // more), -1 otherwise; medium_places lists the places k of the blocks of
  // four to seven particles, weighed several at a time first, and
  // redo_finished[k] marks those already drawn and written.
  ScratchBuffer<int32_t> redo_list;
  ScratchBuffer<int32_t> redo_ends;
  ScratchBuffer<int32_t> medium_places;
  ScratchBuffer<uint8_t> redo_finished;

  ParkMiller& rng;
  DrawChooser<ParkMiller> chooser;
};

}  // namespace lozengia::sweep
