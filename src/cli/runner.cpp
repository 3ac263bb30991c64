#include "cli/runner.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <ostream>
#include <vector>

#include "cli/from_file.h"
#include "cli/progress_line.h"
#include "cli/run_outputs.h"
#include "cli/run_plan.h"
#include "cli/stderr_sink.h"
#include "core/fast_sweep.h"
#include "core/random.h"
#include "core/step_command.h"
#include "core/worker_threads.h"

namespace lozengia {

namespace {

// Samples first..last-1 into results[0..last-first-1]. Run r (r = index *
// samples + j) has its own stream, so the output depends on the seed only,
// whatever the number of threads. Many runs: one thread each. Fewer runs than
// threads: the threads share each run, consecutive sweeps at once. Threads
// that cannot be started or get their arrays leave their runs to the others;
// a failure of a run under way is thrown here once every thread is done.
void sample_batch(const CliOptions& o, const RunPlan& plan, const ModelTables* tables, int64_t seed,
                  int64_t first, int64_t last, StderrSink& sink, std::atomic<int64_t>& sweeps_done,
                  ThreadShortfall& shortfall, std::vector<PathArray>& results) {
  const HexagonParams& p = o.params;
  const int64_t samples = o.samples;
  results.assign(static_cast<std::size_t>(last - first), PathArray());
  std::vector<std::vector<int64_t>> sums(samples > 1 ? results.size() : 0);
  std::mutex sum_mutex;
  std::atomic<int64_t> next{first * samples};
  const int64_t end_run = last * samples;
  const int64_t runs = end_run - first * samples;
  const unsigned inner = runs < static_cast<int64_t>(plan.threads) ? plan.threads : 1u;
  std::atomic<bool> failed{false};
  std::atomic<unsigned> set_up{0};
  std::exception_ptr error;
  auto worker = [&](unsigned) {
    // The workers share the model's tables; each sweeps in two arrays of
    // its own, made once for all its runs.
    PathArray paths, scratch;
    if (!try_worker_arrays(p.N, p.T, paths, scratch)) return;
    set_up.fetch_add(1);
    StreamSweeps how;
    how.threads = inner;
    how.sweeps_done = &sweeps_done;
    how.shortfall = &shortfall;
    how.tables = tables;
    how.scratch = &scratch;
    try {
      while (!failed.load()) {
        const int64_t r = next.fetch_add(1);
        if (r >= end_run) break;
        how.seed = stream_seed(seed, static_cast<uint64_t>(r));
        exact_sample_streams(p, paths, how, sink);
        const std::size_t slot = static_cast<std::size_t>(r / samples - first);
        if (samples == 1) {
          results[slot] = paths;
          continue;
        }
        std::lock_guard<std::mutex> lock(sum_mutex);
        auto& s = sums[slot];
        if (s.empty()) s.assign(paths.size(), 0);
        add_run(paths, s.data());
      }
    } catch (...) {
      std::lock_guard<std::mutex> lock(sum_mutex);
      if (!error) error = std::current_exception();
      failed.store(true);
    }
  };
  const unsigned nthreads =
      inner > 1 ? 1u : static_cast<unsigned>(std::min<int64_t>(plan.threads, runs));
  {
    WorkerThreads pool;
    shortfall.note(pool.start(nthreads - 1, worker, 1) + 1, nthreads);
    worker(0);
  }
  if (error) std::rethrow_exception(error);
  if (set_up.load() == 0) throw std::bad_alloc();

  for (std::size_t slot = 0; slot < sums.size(); ++slot) {
    results[slot] = PathArray(p.N, p.T);
    average_runs(sums[slot].data(), samples, results[slot]);
    std::vector<int64_t>().swap(sums[slot]);
  }
}

}  // namespace

int run_options(const CliOptions& o, std::ostream& err) {
  if (!o.from_path.empty()) return run_from_file(o, err);
  // Everything the run will allocate is counted first: a run that does not
  // fit is refused before any work.
  const RunPlan plan = plan_run(o);
  if (!plan.refused.empty()) {
    err << plan.refused << '\n' << kUsageHint << '\n';
    return 2;
  }
  const bool tty = ::isatty(2) == 1;
  const int64_t seed = run_seed(o, err);
  RunOutputs outputs(o);
  if (const int status = outputs.open_or_refuse(err); status != 0) return status;
  StderrSink sink(err);
  ThreadShortfall shortfall(sink);  // one line, as soon as it happens
  const double total_sweeps = static_cast<double>(o.count) * static_cast<double>(o.samples) *
                              static_cast<double>(std::max<int32_t>(o.params.S, 1));
  ProgressLine progress(tty, total_sweeps, o.count, sink);
  auto fail = [&](const std::string& message) {
    progress.stop();
    err << message << '\n';
    return 1;
  };

  // The model's tables, built once for every run (none are needed at S = 0).
  std::unique_ptr<const ModelTables> tables;
  if (o.params.S > 0)
    tables = std::make_unique<const ModelTables>(o.params.N, o.params.T, o.params.model);
  std::vector<PathArray> results;
  for (int64_t first = 0; first < o.count; first += plan.batch) {
    const int64_t last = std::min(o.count, first + plan.batch);
    sample_batch(o, plan, tables.get(), seed, first, last, sink, progress.sweeps_done(), shortfall,
                 results);
    for (int64_t idx = first; idx < last; ++idx) {
      // The samples before a failure still reach a stream; a file keeps its
      // old contents.
      const std::string failed = outputs.add(idx, results[static_cast<std::size_t>(idx - first)]);
      if (!failed.empty()) return fail(failed);
    }
  }
  progress.stop();
  if (const std::string failed = outputs.commit(); !failed.empty()) return fail(failed);
  return 0;
}

}  // namespace lozengia
