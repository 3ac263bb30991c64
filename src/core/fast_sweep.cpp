// The operators' sweeps on tabulated model values: the entry of the fast path.
//
// A sweep S->S+1 (or S->S-1) runs slice by slice, t = 1..T; slice t reads the
// old heights of slice t and the new heights of slice t - 1. Every slice, on
// every path (plain, 4-lane AVX2 or 8-lane AVX-512, chosen once per sweep,
// sweep/isa.h), follows one
// protocol, which is what makes its sample the plain sweep's (core/sweep.h,
// the reference) for the same stream of random numbers:
//
//   1. List (sweep/block_list.h). The forced particles are written at once;
//      the free ones are linked into blocks (free particles at consecutive
//      indices whose new heights in the slice before are consecutive), and
//      the block starts (on the 8-lane path also their ends) listed in block
//      order, by vector passes without a branch per particle.
//   2. Draw (sweep/draws.h). One random number per block, in block order,
//      made before any block is weighed: draw b is exactly the b-th number
//      the plain sweep would draw in this slice, and the generator's state
//      before each draw is kept, so any block can still hand its draw to the
//      chooser. The blocks then no longer depend on one another.
//   3. Groups (sweep/hahn_groups.h, whose body is sweep/hahn_group_body.h
//      for either lane width; sweep/avx2_models.h; vector paths only).
//      Blocks of at most three particles are weighed, drawn and written four
//      (Hahn on the 8-lane path: eight) at a time, one per lane; a lane that
//      cannot finish its block (a long block, a weight that needs the
//      chooser's message or an exponent, a threshold past the total) puts it
//      on the redo list, without a branch. Hahn's 8-lane groups write each
//      lane's block by a masked store of its own places, and take the
//      slice's last blocks as a group with its lanes past them masked off.
//   4. Redo (sweep/redo.h), in block order. Blocks of four to seven
//      particles on the redo list are drawn four at a time (they never carry
//      a message); every other listed block is then done one at a time, in
//      block order, so that messages come in the order of the plain sweep
//      (Hahn's long blocks on the 8-lane path by vector scans where those
//      decide, and otherwise with the search of their sums and their writes
//      in vectors, sweep/avx512_long.h).
//   5. Blocks the groups did not reach (all on the plain path, fewer than a
//      group on the 4-lane path) go through the single-block code
//      (sweep/hahn_blocks.h, sweep/model_blocks.h, sweep/walk.h), and the
//      generator is moved past the slice's last draw (blocks_from).
//
// Each step's header chooses the step's code for the sweep's path (its
// plain, _avx2 or _avx512 form), so this file names no instruction set.
//
// Each block's numbers are the plain evaluation's, operation for operation
// (weights.h; the floating-point contract in sweep/isa.h): its weights, their
// scaling by the largest, its sums in order, its threshold rounded as the
// chooser rounds it, its walk. The exact samples' wavefront, which runs many
// sweeps at once, is sweep/wavefront.cpp.
#include "core/fast_sweep.h"

#include <algorithm>
#include <cstdint>

#include "core/sweep/avx2_models.h"
#include "core/sweep/block_list.h"
#include "core/sweep/draws.h"
#include "core/sweep/hahn_blocks.h"
#include "core/sweep/hahn_groups.h"
#include "core/sweep/isa.h"
#include "core/sweep/model_blocks.h"
#include "core/sweep/slice.h"
#include "core/sweep/walk.h"
#include "core/sweep/workspace.h"

namespace lozengia {

std::shared_ptr<const ModelTables> tables_for(int32_t N, int32_t T, const ModelParams& model) {
  struct Cached {
    int32_t N = -1, T = -1;
    ModelParams model;
    std::shared_ptr<const ModelTables> tables;
  };
  thread_local Cached cache;
  const ModelParams& m = cache.model;
  if (!cache.tables || cache.N != N || cache.T != T || m.kind != model.kind || m.q != model.q ||
      m.K != model.K || m.alpha != model.alpha || m.beta != model.beta) {
    // The old hexagon's tables go first (unless a caller still holds them):
    // a count made for the new ones alone (hexagon_need) must hold.
    cache.tables.reset();
    cache.tables = std::make_shared<const ModelTables>(N, T, model);
    cache.N = N;
    cache.T = T;
    cache.model = model;
  }
  return cache.tables;
}

namespace sweep {
namespace {

// Hahn's slice: nearly every block has at most three particles and is
// weighed with the table of reciprocals, drawn and written without a branch
// on its length. Whether the weights are anchored at the first or the last
// outcome is the same for the whole slice, and chosen once for it.
template <VectorPath Path, bool Plus, bool Forward>
void hahn_blocks(SweepWorkspace& work, int32_t t, const int32_t* old_heights,
                 const int32_t* new_before, int32_t* new_heights) {
  const HahnSmallBlock<Plus, Forward> small(work, t, old_heights, new_heights);
  const HahnRatios ratios =
      Plus ? HahnRatios::plus(work.T, t, work.S) : HahnRatios::minus(work.N, t, work.S);
  auto large = [&](int32_t i, int32_t j, int32_t block) {
    hahn_large<Plus>(work, ratios, old_heights, new_heights, i, j, block);
  };
  // The 8-lane path reads block ends, not links (and its groups take every
  // block, so the single-block code below reads none).
  constexpr bool kLinks = Path != VectorPath::kAvx512;
  const int32_t count = list_blocks<Path, Plus, kLinks>(work, old_heights, new_before, new_heights);
  make_draws<Path>(work, count);
  const int32_t done =
      hahn_groups<Path, Plus, Forward>(work, t, old_heights, new_heights, count, small, ratios);
  blocks_from(work, done, count, small, large);
}

template <VectorPath Path, bool Plus>
void hahn_slice(SweepWorkspace& work, int32_t t, const int32_t* old_heights,
                const int32_t* new_before, int32_t* new_heights) {
  const bool forward = Plus ? HahnRatios::plus(work.T, t, work.S).forward
                            : HahnRatios::minus(work.N, t, work.S).forward;
  if (forward)
    hahn_blocks<Path, Plus, true>(work, t, old_heights, new_before, new_heights);
  else
    hahn_blocks<Path, Plus, false>(work, t, old_heights, new_before, new_heights);
}

// The other models' slice: small blocks through the model's loop-free
// weights when they apply (no impossible outcome, no value needing an
// exponent, nothing to report), long ones from the factor tables where those
// exist, everything else the general way.
template <VectorPath Path, int Kind, bool Plus>
void model_slice(SweepWorkspace& work, int32_t t, const int32_t* old_heights,
                 const int32_t* new_before, int32_t* new_heights) {
  double* w = work.weights.data();
  auto small = [&](int32_t i, int32_t has_second, int32_t has_third, int32_t block) {
    const int32_t m = 2 + has_second + has_third;
    if (work.block_weights.template small_k<Kind, Plus>(t, old_heights[i], m, w)) {
      // The weights are scaled to at most 1 in magnitude; a negative or
      // undefined one needs the chooser's message. Unused entries are cleared
      // first, and the test has no branch.
      const double w3 = keep(w[3], m, 3), w4 = keep(w[4], m, 4);
      const bool fine = (w[1] >= 0.0) & (w[2] >= 0.0) & (w3 >= 0.0) & (w4 >= 0.0);
      if (fine) [[likely]] {
        const int32_t below = small_pick<Plus>(work, w[1], w[2], w3, w4, m, block);
        write_small<Plus>(old_heights[i], new_heights, i, has_second, has_third, below);
        return;
      }
    }
    general_block<Kind, Plus>(work, t, old_heights, new_heights, i, i + has_second + has_third,
                              block);
  };
  const bool factors = Kind == kRacah || Kind == kTrigonometric || work.tables.plain_range();
  auto large = [&](int32_t i, int32_t j, int32_t block) {
    if (factors)
      factor_large<Path, Kind, Plus>(work, t, old_heights, new_heights, i, j, block, false);
    else
      general_block<Kind, Plus>(work, t, old_heights, new_heights, i, j, block);
  };
  const int32_t count = list_blocks<Path, Plus>(work, old_heights, new_before, new_heights);
  make_draws<Path>(work, count);
  const int32_t done =
      factors ? model_groups<Path, Kind, Plus>(work, t, old_heights, new_heights, count) : 0;
  blocks_from(work, done, count, small, large);
}

template <VectorPath Path, int Kind, bool Plus>
void slice(SweepWorkspace& work, int32_t t, const int32_t* old_heights, const int32_t* new_before,
           int32_t* new_heights) {
  if constexpr (Kind == kHahn)
    hahn_slice<Path, Plus>(work, t, old_heights, new_before, new_heights);
  else
    model_slice<Path, Kind, Plus>(work, t, old_heights, new_before, new_heights);
}

template <bool Plus>
void full_sweep(const ModelTables& tables, int32_t N, int32_t T, int32_t S, const PathArray& old,
                PathArray& new_paths, ParkMiller& rng, MessageSink& sink) {
  SweepWorkspace work(tables, N, T, S, rng, sink);
  const SliceFunction slice_t = slice_function(chosen_vector_path(), tables.kind(), Plus);
  std::copy(old.slice(0), old.slice(0) + N, new_paths.slice(0));
  for (int32_t t = 1; t <= T; ++t)
    slice_t(work, t, old.slice(t), new_paths.slice(t - 1), new_paths.slice(t));
  work.chooser.finish();
}

}  // namespace

SliceFunction slice_function(VectorPath path, ModelKind kind, bool plus) {
  return with_vector_path(path, [&](auto p) {
    return with_model_kind(kind, [&](auto k) -> SliceFunction {
      if (plus) return &slice<p(), k(), true>;
      return &slice<p(), k(), false>;
    });
  });
}

}  // namespace sweep

int fast_sweep_lanes(int widest) {
  sweep::g_widest_lanes.store(widest);
  return sweep::lanes_of(sweep::chosen_vector_path());
}

void fast_sweep_plus(const ModelTables& tables, int32_t N, int32_t T, int32_t S,
                     const PathArray& old, PathArray& new_paths, ParkMiller& rng,
                     MessageSink& sink) {
  sweep::full_sweep<true>(tables, N, T, S, old, new_paths, rng, sink);
}

void fast_sweep_minus(const ModelTables& tables, int32_t N, int32_t T, int32_t S,
                      const PathArray& old, PathArray& new_paths, ParkMiller& rng,
                      MessageSink& sink) {
  sweep::full_sweep<false>(tables, N, T, S, old, new_paths, rng, sink);
}

}  // namespace lozengia
