// The operators' sweeps on tabulated model values, and exact samples whose
// sweeps run in parallel as a wavefront.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core/hexagon.h"
#include "core/memory_need.h"
#include "core/message_sink.h"
#include "core/random.h"
#include "core/weights.h"
#include "core/worker_threads.h"

namespace lozengia {

// Tables for a model on an N x T hexagon; the last ones built on this thread
// are kept, so repeated sweeps of one hexagon build them once.
std::shared_ptr<const ModelTables> tables_for(int32_t N, int32_t T, const ModelParams& model);

// One sweep of S->S+1 (or S->S-1) from `old` into `new_paths`: the same draws and the
// same result as the plain sweep on the same stream.
void fast_sweep_plus(const ModelTables& tables, int32_t N, int32_t T, int32_t S,
                     const PathArray& old, PathArray& new_paths, ParkMiller& rng,
                     MessageSink& sink);
void fast_sweep_minus(const ModelTables& tables, int32_t N, int32_t T, int32_t S,
                      const PathArray& old, PathArray& new_paths, ParkMiller& rng,
                      MessageSink& sink);

// What one of those sweeps allocates (its workspace), besides the tables
// and the two arrays it is given.
MemoryNeed fast_sweep_need(int32_t N);

// The widest vector path the sweeps may use, in blocks weighed at once: 8
// (AVX-512, where the processor has it; the default), 4 (AVX2) or 1 (the
// plain path). Returns the lanes of the path now in use, which is narrower
// where the processor or the build lacks the wider one. The results are the
// same on every path; tests and benchmarks choose one to check or time it.
int fast_sweep_lanes(int widest);

// Where a run of sweeps sends its messages when the caller wants them kept
// apart by sweep (to show them in the order of sweeps made one after another).
// Sweeps are numbered from 0, the first sweep of the call (whatever its
// first_sweep is).
class SweepObserver {
 public:
  virtual ~SweepObserver() = default;
  virtual void line(int32_t sweep, const std::string& text) = 0;
  virtual void overflow_report(int32_t sweep, const std::string& text) = 0;
  // Sweep `sweep` has finished. Called once per sweep, in sweep order, after
  // all of that sweep's messages; the calls may come from different threads
  // but never two at once, each one before the next.
  virtual void finished(int32_t sweep) = 0;
};

// What a run of sweeps does and how (sweep_streams).
struct StreamSweeps {
  bool plus = true;   // S->S+1 sweeps, else S->S-1 (with `alternate`: the first one's)
  int32_t steps = 0;  // how many sweeps
  // Sweep s of the call draws from ParkMiller(stream_seed(seed, first_sweep +
  // s)): a long run made of several calls, each going on where the one before
  // ended, draws what one call would, however it is cut.
  int64_t seed = 1;
  int64_t first_sweep = 0;
  // Round trips: the sweeps alternate in direction, those on even streams
  // (first_sweep + s even) as `plus` says, the odd ones back. A call whose
  // first_sweep is even starts a round trip at S0 and ends back there after
  // an even count of sweeps; one whose first_sweep is odd starts with a way
  // back (from S0, the far end of a round trip).
  bool alternate = false;
  unsigned threads = 0;  // 0: every core
  // Increased after every finished sweep (for a progress display).
  std::atomic<int64_t>* sweeps_done = nullptr;
  // When set, no new batch of sweeps is started; the sweeps already started
  // are finished, so the paths stay a tiling of the hexagon. With
  // `alternate` the batches hold whole round trips: with an even count of
  // steps a stop leaves an even count made (the call ends back at S0).
  const std::atomic<bool>* stop = nullptr;
  // When given, receives the sweeps' messages instead of the sink.
  SweepObserver* observer = nullptr;
  // The model's tables, built for the call when not given.
  const ModelTables* tables = nullptr;
  // The second array the sweeps need (any content, resized to the paths'
  // shape); made for the call when not given.
  PathArray* scratch = nullptr;
  // Told when fewer threads could be started than `threads` asks for (the
  // sweeps are then made by those that did, with the same result).
  ThreadShortfall* shortfall = nullptr;
};

// Runs how.steps sweeps from the tiling in `paths` at p.S, sweep s drawing
// from its own stream, so the result depends on the seed only. With threads >
// 1 consecutive sweeps run at once, each one slice behind the one before it;
// `sink` must then be safe to call from several threads. Returns the number
// of sweeps made: how.steps, or fewer when stopped (never more than the room
// left in the hexagon). `paths` then holds the tiling at p.S + done (S->S+1)
// or p.S - done (S->S-1); with how.alternate, at p.S when done is even, else
// one step away from it in the direction of the call's first sweep (and none
// is made when that step has no room). A thread that cannot be started or get
// its buffers leaves its sweeps to the others; std::bad_alloc when none can,
// or when a sweep under way could not get its memory.
int32_t sweep_streams(const HexagonParams& p, PathArray& paths, const StreamSweeps& how,
                      MessageSink& sink);

// How sweep_streams lays a call out: the sweeps it makes, run by `threads`
// threads in batches of `batch` consecutive sweeps.
struct SweepLayout {
  int32_t steps = 0;
  int32_t batch = 1;
  unsigned threads = 1;
};
SweepLayout sweep_layout(const HexagonParams& p, const StreamSweeps& how);

// What sweep_streams(p, paths, how, sink) allocates for its sweeps: their
// progress, every thread's workspaces, and the threads it starts. The
// model's tables (ModelTables::bytes_needed) and the second array
// (path_array_bytes) come on top when the call makes its own, which
// sweep_streams_need counts: everything such a call allocates.
MemoryNeed sweep_work_need(const HexagonParams& p, const StreamSweeps& how);
MemoryNeed sweep_streams_need(const HexagonParams& p, const StreamSweeps& how);

// An exact sample at p.S grown from S = 0, sweep s drawing from its own stream
// ParkMiller(stream_seed(seed, s)), so the result depends on the seed only.
// With threads > 1 consecutive sweeps run at once, each one slice behind the
// one before it; threads = 0 means every core. `sink` must then be safe to
// call from several threads. Uses `paths` and one more array of its shape.
// `sweeps_done`, when given, is increased after every finished sweep (for a
// progress display); `shortfall`, when given, is told when fewer threads
// could be started than asked.
void exact_sample_streams(const HexagonParams& p, PathArray& paths, int64_t seed, unsigned threads,
                          MessageSink& sink, std::atomic<int64_t>* sweeps_done = nullptr,
                          ThreadShortfall* shortfall = nullptr);
// The same with the seed, threads, progress count, stop, shortfall, tables and
// second array of `how` (its direction, steps and first sweep are the exact
// sample's own), and what it allocates.
void exact_sample_streams(const HexagonParams& p, PathArray& paths, const StreamSweeps& how,
                          MessageSink& sink);
MemoryNeed exact_sample_need(const HexagonParams& p, const StreamSweeps& how);

}  // namespace lozengia
