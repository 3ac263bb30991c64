// Runs of sweeps on their own streams, made in parallel as a wavefront, and
// the exact samples grown by them.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "core/fast_sweep.h"
#include "core/sweep/isa.h"
#include "core/sweep/slice.h"
#include "core/sweep/workspace.h"
#include "core/worker_threads.h"

namespace lozengia {

namespace {

// Hands a sweep's messages to the observer, tagged with the sweep.
class TaggedSink final : public MessageSink {
 public:
  TaggedSink(SweepObserver& observer, int32_t sweep) : observer_(observer), sweep_(sweep) {}
  void line(const std::string& text) override { observer_.line(sweep_, text); }
  void overflow_report(const std::string& text) override {
    observer_.overflow_report(sweep_, text);
  }

 private:
  SweepObserver& observer_;
  int32_t sweep_;
};

}  // namespace

SweepLayout sweep_layout(const HexagonParams& p, const StreamSweeps& how) {
  SweepLayout layout;
  const bool alternate = how.alternate;
  // The direction of the call's first sweep: with round trips, that of its
  // stream's place in them.
  const bool plus = alternate ? how.plus == (how.first_sweep % 2 == 0) : how.plus;
  // Never past the hexagon's ends: sweeps beyond them are not defined. Round
  // trips only ever need the room for their first step.
  const int32_t room = plus ? p.T - p.S : p.S;
  const int32_t steps =
      alternate ? (room > 0 ? std::max(0, how.steps) : 0) : std::max(0, std::min(how.steps, room));
  layout.steps = steps;
  if (steps == 0) return layout;
  unsigned threads = how.threads;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  // Batches of 16 sweeps, or fewer so that a short run still goes to every
  // thread; of whole round trips when the sweeps alternate.
  constexpr int32_t kMaxBatch = 16;
  int32_t batch = kMaxBatch;
  if (threads > 1)
    batch = static_cast<int32_t>(
        std::clamp<int64_t>((steps + int64_t{threads} - 1) / threads, 1, kMaxBatch));
  if (alternate) batch += batch % 2;
  layout.batch = batch;
  layout.threads = static_cast<unsigned>(std::min<int64_t>(threads, (steps + batch - 1) / batch));
  return layout;
}

int32_t sweep_streams(const HexagonParams& p, PathArray& paths, const StreamSweeps& how,
                      MessageSink& sink) {
  using sweep::SweepWorkspace;
  const int32_t N = p.N, T = p.T, S0 = p.S;
  const bool alternate = how.alternate;
  const bool plus = alternate ? how.plus == (how.first_sweep % 2 == 0) : how.plus;
  const SweepLayout layout = sweep_layout(p, how);
  const int32_t steps = layout.steps, batch = layout.batch;
  unsigned threads = layout.threads;
  if (steps == 0) return 0;
  // Sweep s's direction and the S it starts from.
  auto sweep_plus = [&](int32_t s) { return alternate ? plus == (s % 2 == 0) : plus; };
  auto sweep_S = [&](int32_t s) {
    if (alternate) return s % 2 == 0 ? S0 : plus ? S0 + 1 : S0 - 1;
    return plus ? S0 + s : S0 - s;
  };
  std::unique_ptr<ModelTables> own_tables;
  if (how.tables == nullptr) own_tables = std::make_unique<ModelTables>(N, T, p.model);
  const ModelTables& tables = how.tables ? *how.tables : *own_tables;
  // The code of each direction, chosen once for the run.
  const sweep::VectorPath path = sweep::chosen_vector_path();
  const sweep::SliceFunction slice_up = sweep::slice_function(path, tables.kind(), true);
  const sweep::SliceFunction slice_down = sweep::slice_function(path, tables.kind(), false);
  PathArray own_other;
  PathArray& other = how.scratch ? *how.scratch : own_other;
  if (other.n() != N || other.t() != T) other.resize(N, T);
  // Sweep s reads array s % 2 and writes the other one.
  PathArray* arrays[2] = {&paths, &other};
  const std::atomic<bool>* stop = how.stop;
  SweepObserver* observer = how.observer;
  std::atomic<int64_t>* sweeps_done = how.sweeps_done;

  // Each thread takes batches of consecutive sweeps and runs them as a
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
  // A sweep's last slice is published only once the sweep is wholly done
  // (its messages given, its end counted), so sweeps end in sweep order.
  //
  // Batches are claimed in order, so the claimed sweeps are always the first
  // ones; a stop ends the claiming, and every claimed batch is finished.
  //
  // A thread that cannot get its own buffers leaves the batches to the
  // others; a failure once a batch is claimed ends the call (its sweeps
  // could not be made) and is thrown on the calling thread.
  std::vector<std::atomic<int32_t>> progress(static_cast<std::size_t>(steps));
  for (auto& a : progress) a.store(-1, std::memory_order_relaxed);
  std::atomic<int32_t> next{0};
  std::atomic<bool> failed{false};
  std::atomic<unsigned> set_up{0};
  std::mutex error_mutex;
  std::exception_ptr error;
  // False when the call failed meanwhile: the slice may never come.
  auto wait_for = [&failed](std::atomic<int32_t>* a, int32_t& seen, int32_t want) {
    unsigned spins = 0;
    while (seen < want) {
      seen = a->load(std::memory_order_acquire);
      if (seen < want && ++spins > 64) {
        if (failed.load(std::memory_order_relaxed)) return false;
        std::this_thread::yield();
      }
    }
    return true;
  };
  auto run_batches = [&](sweep::SliceScratch& scratch) {
    std::vector<ParkMiller> rngs;
    std::deque<TaggedSink> sinks;
    std::deque<SweepWorkspace> sweeps;
    std::vector<sweep::SliceFunction> slice_fns;
    rngs.reserve(static_cast<std::size_t>(batch));  // the sweeps keep references
    slice_fns.reserve(static_cast<std::size_t>(batch));
    for (;;) {
      if (stop != nullptr && stop->load(std::memory_order_relaxed)) return;
      if (failed.load(std::memory_order_relaxed)) return;
      const int32_t s0 = next.fetch_add(batch);
      if (s0 >= steps) return;
      const int32_t k = std::min(batch, steps - s0);
      sweeps.clear();
      sinks.clear();
      rngs.clear();
      slice_fns.clear();
      for (int32_t j = 0; j < k; ++j) {
        const int32_t s = s0 + j;
        rngs.emplace_back(stream_seed(how.seed, static_cast<uint64_t>(how.first_sweep + s)));
        MessageSink* to = &sink;
        if (observer != nullptr) to = &sinks.emplace_back(*observer, s);
        sweeps.emplace_back(tables, N, T, sweep_S(s), rngs.back(), *to, &scratch);
        slice_fns.push_back(sweep_plus(s) ? slice_up : slice_down);
      }
      std::atomic<int32_t>* before = s0 > 0 ? &progress[static_cast<std::size_t>(s0 - 1)] : nullptr;
      std::atomic<int32_t>* before2 =
          s0 > 1 ? &progress[static_cast<std::size_t>(s0 - 2)] : nullptr;
      int32_t seen = before ? -1 : T;    // slices known finished by sweep s0-1
      int32_t seen2 = before2 ? -1 : T;  // and by sweep s0-2
      for (int32_t tau = 0; tau < T + k; ++tau) {
        if (tau <= T) {
          if (before && !wait_for(before, seen, tau)) return;
          if (before2 && !wait_for(before2, seen2, std::min(tau + 1, T))) return;
        }
        for (int32_t j = std::max(0, tau - T); j < k && j <= tau; ++j) {
          const int32_t s = s0 + j, t = tau - j;
          const PathArray& old = *arrays[s % 2];
          PathArray& new_paths = *arrays[(s + 1) % 2];
          SweepWorkspace& work = sweeps[static_cast<std::size_t>(j)];
          if (t == 0)
            std::copy(old.slice(0), old.slice(0) + N, new_paths.slice(0));
          else
            slice_fns[static_cast<std::size_t>(j)](work, t, old.slice(t), new_paths.slice(t - 1),
                                                   new_paths.slice(t));
          if (t == T) {
            work.chooser.finish();
            if (sweeps_done) sweeps_done->fetch_add(1, std::memory_order_relaxed);
            if (observer) observer->finished(s);
          }
          progress[static_cast<std::size_t>(s)].store(t, std::memory_order_release);
        }
      }
    }
  };
  auto worker = [&](unsigned) {
    std::unique_ptr<sweep::SliceScratch> scratch;  // shared by a batch's sweeps
    try {
      scratch = std::make_unique<sweep::SliceScratch>(N);
    } catch (const std::bad_alloc&) {
      return;
    }
    set_up.fetch_add(1);
    try {
      run_batches(*scratch);
    } catch (...) {
      std::lock_guard<std::mutex> lock(error_mutex);
      if (!error) error = std::current_exception();
      failed.store(true);
    }
  };
  {
    WorkerThreads pool;
    const unsigned started = pool.start(threads - 1, worker, 1);
    if (how.shortfall != nullptr) how.shortfall->note(started + 1, threads);
    worker(0);
  }
  if (error) std::rethrow_exception(error);
  // Not one thread could get its buffers: nothing was made.
  if (set_up.load() == 0) throw std::bad_alloc();
  // Every claimed batch was finished: the claimed sweeps are the ones made.
  const int32_t done = std::min(steps, next.load());
  if (done % 2 == 1) paths.swap(other);
  return done;
}

namespace {

// The sweeps of an exact sample at p.S, from S = 0, with what `given` says.
StreamSweeps exact_sweeps(const HexagonParams& p, const StreamSweeps& given, HexagonParams& from) {
  StreamSweeps how = given;
  how.plus = true;
  how.alternate = false;
  how.steps = p.S;
  how.first_sweep = 0;
  from = p;
  from.S = 0;
  return how;
}

}  // namespace

void exact_sample_streams(const HexagonParams& p, PathArray& paths, const StreamSweeps& given,
                          MessageSink& sink) {
  minimal_paths(p.N, p.T, 0, paths);
  HexagonParams from;
  const StreamSweeps how = exact_sweeps(p, given, from);
  sweep_streams(from, paths, how, sink);
}

void exact_sample_streams(const HexagonParams& p, PathArray& paths, int64_t seed, unsigned threads,
                          MessageSink& sink, std::atomic<int64_t>* sweeps_done,
                          ThreadShortfall* shortfall) {
  StreamSweeps how;
  how.seed = seed;
  how.threads = threads;
  how.sweeps_done = sweeps_done;
  how.shortfall = shortfall;
  exact_sample_streams(p, paths, how, sink);
}

MemoryNeed exact_sample_need(const HexagonParams& p, const StreamSweeps& given) {
  HexagonParams from;
  const StreamSweeps how = exact_sweeps(p, given, from);
  return sweep_streams_need(from, how);
}

}  // namespace lozengia
