// Exact samples whose sweeps run in parallel, as a wavefront.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <thread>
#include <vector>

#include "core/fast_sweep.h"
#include "core/sweep/isa.h"
#include "core/sweep/slice.h"
#include "core/sweep/workspace.h"

namespace lozengia {

void exact_sample_streams(const HexagonParams& p, PathArray& paths, int64_t seed,
                          unsigned threads, MessageSink& sink,
                          std::atomic<int64_t>* sweeps_done) {
  using sweep::SweepWorkspace;
  const int32_t N = p.N, T = p.T, S = p.S;
  INIT_PATHS(N, T, 0, paths);
  if (S == 0) return;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  constexpr int32_t kBatch = 16;
  threads = static_cast<unsigned>(std::min<int64_t>(threads, (S + kBatch - 1) / kBatch));
  const ModelTables tables(N, T, p.model);
  // Every sweep of the sample runs the same code, chosen once.
  const sweep::SliceFunction slice_plus =
      sweep::slice_function(sweep::chosen_vector_path(), tables.kind(), true);
  PathArray other(N, T);
  INIT_PATHS(N, T, 0, other);
  // Sweep s reads array s % 2 and writes the other one.
  PathArray* arrays[2] = {&paths, &other};

  // Each thread takes batches of kBatch consecutive sweeps and runs them as a
  // wavefront of its own, each sweep one slice behind the one before: a
  // slice is then read and written by the whole batch while it is in the
  // core's cache, instead of once per sweep from the shared cache or memory
  // (the arrays of large hexagons are several times the core's cache).
  //
  // progress[s]: the last slice sweep s has finished. Sweep s may work on
  // slice t once sweep s-1 has finished it (its input slice is then written)
  // and sweep s-2 has finished slice t+1: the slice t that sweep s writes is
  // in the array sweep s-2 wrote, which sweep s-2 itself reads back as the
  // slice before while it works on slice t+1 (and sweep s-1 has read it).
  // Within a batch this holds by construction; the first sweep of a batch
  // waits for the last two of the batch before it, run by another thread.
  std::vector<std::atomic<int32_t>> progress(static_cast<std::size_t>(S));
  for (auto& a : progress) a.store(-1, std::memory_order_relaxed);
  std::atomic<int32_t> next{0};
  auto wait_for = [](std::atomic<int32_t>* a, int32_t& seen, int32_t want) {
    unsigned spins = 0;
    while (seen < want) {
      seen = a->load(std::memory_order_acquire);
      if (seen < want && ++spins > 64) std::this_thread::yield();
    }
  };
  auto worker = [&]() {
    std::vector<ParkMiller> rngs;
    std::deque<SweepWorkspace> sweeps;
    for (;;) {
      const int32_t s0 = next.fetch_add(kBatch);
      if (s0 >= S) return;
      const int32_t k = std::min(kBatch, S - s0);
      sweeps.clear();
      rngs.clear();
      rngs.reserve(static_cast<std::size_t>(k));  // the sweeps keep references
      for (int32_t j = 0; j < k; ++j) {
        rngs.emplace_back(stream_seed(seed, static_cast<uint64_t>(s0 + j)));
        sweeps.emplace_back(tables, N, T, s0 + j, rngs.back(), sink);
      }
      std::atomic<int32_t>* before = s0 > 0 ? &progress[static_cast<std::size_t>(s0 - 1)] : nullptr;
      std::atomic<int32_t>* before2 =
          s0 > 1 ? &progress[static_cast<std::size_t>(s0 - 2)] : nullptr;
      int32_t seen = before ? -1 : T;  // slices known finished by sweep s0-1
      int32_t seen2 = before2 ? -1 : T;  // and by sweep s0-2
      for (int32_t tau = 0; tau < T + k; ++tau) {
        if (tau <= T) {
          if (before) wait_for(before, seen, tau);
          if (before2) wait_for(before2, seen2, std::min(tau + 1, T));
        }
        for (int32_t j = std::max(0, tau - T); j < k && j <= tau; ++j) {
          const int32_t s = s0 + j, t = tau - j;
          const PathArray& old = *arrays[s % 2];
          PathArray& nw = *arrays[(s + 1) % 2];
          SweepWorkspace& ws = sweeps[static_cast<std::size_t>(j)];
          if (t == 0)
            std::copy(old.slice(0), old.slice(0) + N, nw.slice(0));
          else
            slice_plus(ws, t, old.slice(t), nw.slice(t - 1), nw.slice(t));
          progress[static_cast<std::size_t>(s)].store(t, std::memory_order_release);
          if (t == T) {
            ws.chooser.finish();
            if (sweeps_done) sweeps_done->fetch_add(1, std::memory_order_relaxed);
          }
        }
      }
    }
  };
  std::vector<std::thread> pool;
  for (unsigned k = 1; k < threads; ++k) pool.emplace_back(worker);
  worker();
  for (auto& th : pool) th.join();
  if (S % 2 == 1) paths.swap(other);
}

}  // namespace lozengia
