// Exact samples for the Python module: the command-line tool's streams, run
// without the interpreter's lock, with Ctrl-C noticed while they run.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/hexagon.h"
#include "core/memory_need.h"
#include "core/message_sink.h"
#include "core/worker_threads.h"

namespace lozengia::pymod {

// Collects the operators' messages from any thread; the module hands them to
// Python as warnings once the work is done. Only the first few are kept: a
// model that warns on every block must not fill the memory.
class WarningSink final : public MessageSink {
 public:
  void line(const std::string& text) override;
  void overflow_report(const std::string& text) override { line(text); }
  // The kept messages (and a last line counting the dropped ones), emptied;
  // first the line saying that fewer threads could be started than asked.
  std::vector<std::string> take();
  // Where the call's thread starts note a shortfall.
  ThreadShortfall& threads() { return threads_; }

 private:
  ThreadShortfall threads_;
  static constexpr std::size_t kKept = 20;
  std::mutex m_;
  std::vector<std::string> lines_;
  int64_t dropped_ = 0;
};

// The stop flag of one call. Only the calling thread polls: it runs without
// the interpreter's lock, and every 50 ms takes it back to run the signal
// handlers (a KeyboardInterrupt is raised by Python's own SIGINT handler).
// The workers read the flag between sweeps.
class Interrupt {
 public:
  // Python runs its signal handlers on the main thread only: a call from any
  // other thread has nothing to poll and never takes the lock back.
  explicit Interrupt(bool watch_signals) : watch_(watch_signals) {}
  // True once the call must stop; the Python exception is then pending on the
  // calling thread. Must be called without the interpreter's lock.
  bool poll();
  bool stopped() const { return stop_.load(std::memory_order_relaxed); }
  void stop() { stop_.store(true, std::memory_order_relaxed); }
  // The flag itself, for the core's sweeps to read between sweeps.
  const std::atomic<bool>* flag() const { return &stop_; }

 private:
  std::atomic<bool> stop_{false};
  bool watch_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// An exact sample at p.S grown from S = 0, sweep s drawing from
// ParkMiller(stream_seed(run_seed, s)): the sample of lozengia-cli's run with
// that run seed. threads > 1 runs the core's wavefront of sweeps (on fewer
// threads, or this one, when no more can be started: the sample is the same,
// and sink.threads() notes it). Returns
// false, leaving `paths` unspecified, when interrupted. The calling thread
// must not hold the interpreter's lock.
bool exact_run(const HexagonParams& p, int64_t run_seed, unsigned threads, PathArray& paths,
               Interrupt& intr, WarningSink& sink);
// What exact_run allocates besides `paths`.
MemoryNeed exact_run_need(const HexagonParams& p, unsigned threads);

// The plane partitions of runs 0..count-1 of `seed` (run r seeded with
// stream_seed(seed, r), as lozengia-cli --count does), one after another in
// `out` (count * S * (T-S) entries). Runs are spread over `threads` (those
// that can be started); fewer runs than threads share each run's sweeps.
// False when interrupted; std::bad_alloc when no thread can get its memory.
bool sample_runs(const HexagonParams& p, int64_t seed, int64_t count, unsigned threads,
                 int32_t* out, Interrupt& intr, WarningSink& sink);
// What sample_runs allocates besides `out`.
MemoryNeed sample_runs_need(const HexagonParams& p, int64_t count, unsigned threads);

}  // namespace lozengia::pymod
