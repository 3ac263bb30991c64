#include "sampling.h"

#include <pybind11/pybind11.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <new>
#include <thread>

#include "core/fast_sweep.h"
#include "core/plane_partition.h"
#include "core/random.h"

namespace lozengia::pymod {

namespace py = pybind11;

void WarningSink::line(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_);
  if (lines_.size() < kKept)
    lines_.push_back(text.size() > 2000 ? text.substr(0, 2000) + " ..." : text);
  else
    ++dropped_;
}

std::vector<std::string> WarningSink::take() {
  std::lock_guard<std::mutex> lock(m_);
  std::vector<std::string> out;
  if (std::string t = threads_.take_line(); !t.empty()) out.push_back(std::move(t));
  out.insert(out.end(), std::make_move_iterator(lines_.begin()),
             std::make_move_iterator(lines_.end()));
  lines_.clear();
  if (dropped_ > 0)
    out.push_back("... and " + std::to_string(dropped_) + " more messages of the sampler");
  dropped_ = 0;
  return out;
}

bool Interrupt::poll() {
  if (stopped()) return true;
  if (!watch_) return false;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < std::chrono::milliseconds(50)) return false;
  last_ = now;
  py::gil_scoped_acquire gil;
  // Runs the Python signal handlers (only on the main thread); a handler that
  // raised leaves its exception pending here.
  if (PyErr_CheckSignals() != 0) stop();
  return stopped();
}

namespace {

// One run on this thread, sweep after sweep (the operator's own sweeps, on
// tables shared by every worker); `main` is the calling thread, which polls
// for signals, the others read the flag.
bool serial_run(const HexagonParams& p, int64_t run_seed, const ModelTables& tables,
                PathArray& paths, PathArray& scratch, Interrupt& intr, bool main,
                WarningSink& sink) {
  minimal_paths(p.N, p.T, 0, paths);
  for (int32_t s = 0; s < p.S; ++s) {
    if (main ? intr.poll() : intr.stopped()) return false;
    ParkMiller rng(stream_seed(run_seed, static_cast<uint64_t>(s)));
    fast_sweep_plus(tables, p.N, p.T, s, paths, scratch, rng, sink);
    paths.swap(scratch);
  }
  return true;
}

bool wavefront(const HexagonParams& p, unsigned threads) { return threads > 1 && p.S > 16; }

// A serial worker: its two arrays and its sweep's workspace.
MemoryNeed serial_need(const HexagonParams& p) {
  return bytes_only(2 * path_array_bytes(p.N, p.T)) + fast_sweep_need(p.N);
}

// One run's sweeps as a wavefront of the core on `threads` threads; this
// thread watches for Ctrl-C meanwhile. A stop lets the sweeps under way
// finish and starts no others, so the call comes back within a batch of
// sweeps and every array it touched is still its own. When not even the
// wavefront's first thread can be started, this thread makes the sweeps one
// by one, the same sample.
bool wavefront_run(const HexagonParams& p, int64_t run_seed, unsigned threads, PathArray& paths,
                   Interrupt& intr, WarningSink& sink) {
  HexagonParams from = p;
  from.S = 0;
  PathArray run(p.N, p.T);
  minimal_paths(p.N, p.T, 0, run);
  StreamSweeps how;
  how.plus = true;
  how.steps = p.S;
  how.seed = run_seed;
  how.threads = threads;
  how.stop = intr.flag();
  how.shortfall = &sink.threads();
  int32_t made = 0;
  std::exception_ptr error;
  std::atomic<bool> done{false};
  {
    WorkerThreads runner;
    const unsigned started = runner.start(1, [&](unsigned) {
      try {
        made = sweep_streams(from, run, how, sink);
      } catch (...) {
        error = std::current_exception();
      }
      done.store(true);
    });
    if (started == 0) {
      sink.threads().note(1, threads);
      const ModelTables tables(p.N, p.T, p.model);
      PathArray scratch(p.N, p.T);
      if (!serial_run(p, run_seed, tables, run, scratch, intr, true, sink)) return false;
      paths.swap(run);
      return true;
    }
    while (!done.load()) {
      intr.poll();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  if (error) std::rethrow_exception(error);
  if (made < p.S) return false;
  paths.swap(run);
  return true;
}

}  // namespace

MemoryNeed exact_run_need(const HexagonParams& p, unsigned threads) {
  const uint64_t tables = ModelTables::bytes_needed(p.N, p.T, p.model);
  if (wavefront(p, threads)) {
    // The run's own array, and the core's sweeps on every thread, beside
    // this thread watching for Ctrl-C.
    HexagonParams from = p;
    from.S = 0;
    StreamSweeps how;
    how.steps = p.S;
    how.threads = threads;
    MemoryNeed need = bytes_only(path_array_bytes(p.N, p.T)) + sweep_streams_need(from, how);
    need.threads += 1;
    return need;
  }
  return bytes_only(tables + path_array_bytes(p.N, p.T)) + fast_sweep_need(p.N);
}

bool exact_run(const HexagonParams& p, int64_t run_seed, unsigned threads, PathArray& paths,
               Interrupt& intr, WarningSink& sink) {
  if (wavefront(p, threads)) return wavefront_run(p, run_seed, threads, paths, intr, sink);
  const ModelTables tables(p.N, p.T, p.model);
  if (paths.n() != p.N || paths.t() != p.T) paths = PathArray(p.N, p.T);
  PathArray scratch(p.N, p.T);
  return serial_run(p, run_seed, tables, paths, scratch, intr, true, sink);
}

MemoryNeed sample_runs_need(const HexagonParams& p, int64_t count, unsigned threads) {
  if (static_cast<int64_t>(p.S) * (p.T - p.S) == 0) return {};
  threads = std::max(1u, threads);
  const uint64_t rows = PlanePartitionRows::bytes_needed(p.T);
  if (count < static_cast<int64_t>(threads))
    return bytes_only(path_array_bytes(p.N, p.T) + rows) + exact_run_need(p, threads);
  MemoryNeed need = bytes_only(ModelTables::bytes_needed(p.N, p.T, p.model)) +
                    times(threads, serial_need(p) + bytes_only(rows));
  need.threads += threads - 1;
  return need;
}

bool sample_runs(const HexagonParams& p, int64_t seed, int64_t count, unsigned threads,
                 int32_t* out, Interrupt& intr, WarningSink& sink) {
  const std::size_t cells = static_cast<std::size_t>(p.S) * static_cast<std::size_t>(p.T - p.S);
  // Each plane partition is written row by row into its place in `out`.
  auto store = [&](const PathArray& paths, int64_t r) {
    PlanePartitionRows rows(paths, p.S);
    rows.rest(out + static_cast<std::size_t>(r) * cells);
  };
  // S = 0 or S = T: the hexagon has one tiling, and its plane partition no
  // entry.
  if (cells == 0) return true;
  threads = std::max(1u, threads);
  // Fewer runs than threads: the threads share each run, as lozengia-cli
  // does; the sample is the same either way.
  if (count < static_cast<int64_t>(threads)) {
    PathArray paths(p.N, p.T);
    for (int64_t r = 0; r < count; ++r) {
      if (!exact_run(p, stream_seed(seed, static_cast<uint64_t>(r)), threads, paths, intr, sink))
        return false;
      store(paths, r);
    }
    return true;
  }
  std::atomic<int64_t> next{0};
  std::mutex m;
  std::condition_variable cv;
  unsigned running = threads - 1;
  unsigned set_up = 0;
  std::exception_ptr error;
  // The workers share the model's tables; a thread that cannot get its
  // arrays leaves the runs to the others.
  const ModelTables tables(p.N, p.T, p.model);
  auto worker = [&](bool main) {
    PathArray paths, scratch;
    if (!try_worker_arrays(p.N, p.T, paths, scratch)) return;
    {
      std::lock_guard<std::mutex> lock(m);
      ++set_up;
    }
    try {
      for (;;) {
        const int64_t r = next.fetch_add(1);
        if (r >= count) break;
        if (!serial_run(p, stream_seed(seed, static_cast<uint64_t>(r)), tables, paths, scratch,
                        intr, main, sink))
          break;
        store(paths, r);
      }
    } catch (...) {
      std::lock_guard<std::mutex> lock(m);
      if (!error) error = std::current_exception();
      intr.stop();
    }
  };
  WorkerThreads pool;
  const unsigned started = pool.start(threads - 1, [&](unsigned) {
    worker(false);
    std::lock_guard<std::mutex> lock(m);
    --running;
    cv.notify_all();
  });
  {
    std::lock_guard<std::mutex> lock(m);
    running -= threads - 1 - started;
  }
  sink.threads().note(started + 1, threads);
  worker(true);
  // The other workers may still be busy: keep watching for Ctrl-C meanwhile.
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(m);
      if (cv.wait_for(lock, std::chrono::milliseconds(50), [&] { return running == 0; })) break;
    }
    intr.poll();
  }
  pool.join();
  if (error) std::rethrow_exception(error);
  if (set_up == 0) throw std::bad_alloc();
  return !intr.stopped();
}

}  // namespace lozengia::pymod
