#include "core/step_command.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "core/fast_sweep.h"
#include "core/operators.h"
#include "core/params.h"
#include "core/worker_threads.h"

namespace lozengia {

std::string steps_rule(bool plus) {
  return std::string("Number of steps: an integer from 1 to ") + (plus ? "T-S" : "S");
}

std::string samples_rule() { return "Number of samples: an integer of at least 1"; }

StepFields read_step_fields(const std::string& steps_text, const std::string& samples_text,
                            int32_t S, int32_t T, bool plus) {
  StepFields r;
  const int64_t room = plus ? static_cast<int64_t>(T) - S : S;
  int32_t steps = 0, samples = 0;
  if (!parse_int32(steps_text, steps) || steps < 1 || steps > room) {
    const std::string bound = plus ? "T-S is " : "S is ";
    r.rule = steps_rule(plus) + "; " +
             (room > 0 ? "at most " + std::to_string(room) + (room == 1 ? " step: " : " steps: ")
                       : std::string("no step can be made: ")) +
             bound + std::to_string(room);
    return r;
  }
  if (!parse_int32(samples_text, samples) || samples < 1) {
    r.rule = samples_rule();
    return r;
  }
  r.ok = true;
  r.steps = steps;
  r.samples = samples;
  return r;
}

bool check_step_fields(const std::string& steps_text, const std::string& samples_text, int32_t S,
                       int32_t T, bool plus, int32_t& steps, int32_t& samples) {
  const StepFields r = read_step_fields(steps_text, samples_text, S, T, plus);
  if (!r.ok) return false;
  steps = r.steps;
  samples = r.samples;
  return true;
}

namespace {

// The runs' messages, made on the sweeping threads and shown on the calling
// thread in the order of runs and steps made one after another: each sweep's
// own messages, then its "Iteration k S=s" line.
class RunLog {
 public:
  RunLog(int32_t steps, int32_t samples, int32_t S0, bool plus)
      : steps_(steps), samples_(samples), S0_(S0), plus_(plus) {}

  void message(int32_t run, int32_t sweep, bool report, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_);
    runs_[run].messages.push_back(Message{sweep, report, text});
  }
  void finished(int32_t run, int32_t sweep) {
    {
      std::lock_guard<std::mutex> lock(m_);
      runs_[run].finished = sweep + 1;
    }
    cv_.notify_one();
  }
  // No more sweeps will finish.
  void close() {
    {
      std::lock_guard<std::mutex> lock(m_);
      closed_ = true;
    }
    cv_.notify_one();
  }

  // Writes the lines as the runs advance, until every run is shown or the
  // log is closed with nothing more to show (the command was stopped: what
  // was made in order is shown, the rest is not).
  void show(MessageSink& sink, const StepProgress& progress) {
    std::vector<Message> batch;
    std::unique_lock<std::mutex> lock(m_);
    int32_t k = 0, shown = 0;  // run k is shown up to its sweep `shown`
    while (k < samples_) {
      cv_.wait(lock, [&] { return closed_ || runs_[k].finished > shown; });
      Run& run = runs_[k];
      const int32_t upto = run.finished;
      if (upto <= shown) return;  // closed
      // A sweep's messages are in the order it made them; a later sweep of
      // the run may already have added some of its own.
      auto mine = std::stable_partition(run.messages.begin(), run.messages.end(),
                                        [&](const Message& m) { return m.sweep < upto; });
      batch.assign(std::make_move_iterator(run.messages.begin()), std::make_move_iterator(mine));
      run.messages.erase(run.messages.begin(), mine);
      if (upto == steps_) runs_.erase(k);
      lock.unlock();
      std::stable_sort(batch.begin(), batch.end(),
                       [](const Message& a, const Message& b) { return a.sweep < b.sweep; });
      std::size_t b = 0;
      for (int32_t s = shown; s < upto; ++s) {
        for (; b < batch.size() && batch[b].sweep == s; ++b) {
          if (batch[b].report)
            sink.overflow_report(batch[b].text);
          else
            sink.line(batch[b].text);
        }
        const int32_t S = plus_ ? S0_ + s + 1 : S0_ - s - 1;
        sink.progress_line("Iteration " + std::to_string(k + 1) + " S=" + std::to_string(S));
        if (progress) progress(k + 1, s + 1, S);
      }
      lock.lock();
      shown = upto;
      if (shown == steps_) {
        ++k;
        shown = 0;
      }
    }
  }

 private:
  struct Message {
    int32_t sweep;
    bool report;
    std::string text;
  };
  struct Run {
    int32_t finished = 0;
    std::vector<Message> messages;
  };
  const int32_t steps_, samples_, S0_;
  const bool plus_;
  std::mutex m_;
  std::condition_variable cv_;
  // The runs under way or not yet shown: a few at a time.
  std::map<int32_t, Run> runs_;
  bool closed_ = false;
};

// One run's sweeps, reporting to the log.
class RunObserver final : public SweepObserver {
 public:
  RunObserver(RunLog& log, int32_t run) : log_(log), run_(run) {}
  void line(int32_t sweep, const std::string& text) override {
    log_.message(run_, sweep, false, text);
  }
  void overflow_report(int32_t sweep, const std::string& text) override {
    log_.message(run_, sweep, true, text);
  }
  void finished(int32_t sweep) override { log_.finished(run_, sweep); }

 private:
  RunLog& log_;
  int32_t run_;
};

// How a command's runs are laid out on `threads` threads (0: every core),
// for the steps it really makes.
struct StepLayout {
  int32_t steps = 0, samples = 1;
  // Heights are at most N-1+T; a sum over many samples could pass 2^31, so it
  // is kept in 64 bits when it might.
  bool wide = false;
  // Under a millisecond of sweeping: run on the calling thread.
  bool small = false;
  // As many runs as threads or more: one thread per run (`outer` of them),
  // runs side by side. Fewer: the runs one after another, each on `inner`
  // threads.
  unsigned inner = 1, outer = 1;
};

StepLayout step_layout(const HexagonParams& p, bool plus, int32_t steps, int32_t samples,
                       unsigned threads) {
  StepLayout l;
  l.steps = std::max(0, std::min(steps, plus ? p.T - p.S : p.S));
  l.samples = std::max(samples, 1);
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  l.wide = static_cast<int64_t>(l.samples) * (static_cast<int64_t>(p.N) - 1 + p.T) >
           std::numeric_limits<int32_t>::max();
  const int64_t cells =
      static_cast<int64_t>(l.steps) * l.samples * p.N * (static_cast<int64_t>(p.T) + 1);
  l.small = cells < (int64_t{1} << 18);
  const bool side_by_side = l.samples > 1 && static_cast<unsigned>(l.samples) >= threads;
  l.inner = l.small || side_by_side ? 1u : threads;
  l.outer = side_by_side ? threads : 1u;
  return l;
}

void run_steps(Hexagon& hex, bool plus, const StepLayout& layout, RandomSource& rng,
               MessageSink& sink, const std::atomic<bool>* stop, const StepProgress& progress);

}  // namespace

MemoryNeed step_command_need(const HexagonParams& p, bool plus, int32_t steps, int32_t samples,
                             unsigned threads) {
  const StepLayout l = step_layout(p, plus, steps, samples, threads);
  if (l.steps == 0) return {};
  MemoryNeed need;
  if (l.samples > 1 && l.wide) need += bytes_only(times_bytes(2, path_array_bytes(p.N, p.T)));
  // Each worker's sweeps (the tables and the second array given); worker 0
  // sweeps in the hexagon's own arrays, every other one in two of its own.
  StreamSweeps how;
  how.plus = plus;
  how.steps = l.steps;
  how.threads = l.inner;
  MemoryNeed workers = times(l.outer, sweep_work_need(p, how));
  workers += bytes_only(times_bytes(l.outer - 1, times_bytes(2, path_array_bytes(p.N, p.T))));
  if (!l.small) workers.threads += l.outer;  // the calling thread writes the lines meanwhile
  return need + workers;
}

void run_step_command(Hexagon& hex, bool plus, int32_t steps, int32_t samples, RandomSource& rng,
                      MessageSink& sink, const std::atomic<bool>* stop,
                      const StepProgress& progress, unsigned threads) {
  const StepLayout layout = step_layout(hex.params, plus, steps, samples, threads);
  if (layout.steps == 0) return;
  // Whatever fails (memory for the sum, the tables, a run's sweeps, a
  // message), the tiling is the one the command started from. The runs find
  // it in hex.start_paths too.
  keeping_tiling_on_failure(hex, [&] { run_steps(hex, plus, layout, rng, sink, stop, progress); });
}

namespace {

void run_steps(Hexagon& hex, bool plus, const StepLayout& layout, RandomSource& rng,
               MessageSink& sink, const std::atomic<bool>* stop, const StepProgress& progress) {
  const int32_t N = hex.params.N, T = hex.params.T;
  const int32_t S0 = hex.params.S;
  const int32_t steps = layout.steps, samples = layout.samples;
  const bool wide = layout.wide, small = layout.small;
  const unsigned inner = layout.inner, outer = layout.outer;
  std::vector<int64_t> wide_sum;
  if (samples > 1) {
    if (wide)
      wide_sum.assign(hex.paths.size(), 0);
    else
      std::fill(hex.path_sums.data(), hex.path_sums.data() + hex.path_sums.size(), 0);
  }
  const HexagonParams from = hex.params;
  const std::shared_ptr<const ModelTables> tables = tables_for(N, T, from.model);

  RunLog log(steps, samples, S0, plus);
  ThreadShortfall shortfall;  // told on this thread, as every message is
  std::mutex claim_mutex, sum_mutex;
  int32_t next_run = 0;
  std::atomic<int32_t> runs_made{0};
  int32_t single_made = 0;  // sweeps of the only run (samples == 1, worker 0)
  // Worker 0 sweeps in the hexagon's own arrays (`paths` is free while the
  // runs are summed: the start is kept in `start_paths`); every other worker
  // needs two arrays of its own, and when they cannot be had it leaves the
  // runs to the others rather than failing the command.
  auto worker = [&](unsigned w) {
    PathArray own_paths, own_scratch;
    if (w > 0 && !try_worker_arrays(N, T, own_paths, own_scratch)) return;
    PathArray& paths = w == 0 ? hex.paths : own_paths;
    PathArray& scratch = w == 0 ? hex.scratch_paths : own_scratch;
    NullSink unused;  // every message goes through the run's observer
    for (;;) {
      int32_t k = 0;
      int64_t seed = 0;
      {
        // Seeds are drawn from the program's generator in run order.
        std::lock_guard<std::mutex> lock(claim_mutex);
        if (next_run >= samples || (stop != nullptr && stop->load())) return;
        k = next_run++;
        rng.with_lock([&](ParkMiller& g) { seed = g.next_raw(); });
      }
      if (k > 0 || w > 0) paths = hex.start_paths;
      RunObserver observer(log, k);
      StreamSweeps how;
      how.plus = plus;
      how.steps = steps;
      how.seed = seed;
      how.threads = inner;
      how.stop = stop;
      how.observer = &observer;
      how.tables = tables.get();
      how.scratch = &scratch;
      how.shortfall = &shortfall;
      const int32_t made = sweep_streams(from, paths, how, unused);
      if (samples == 1) single_made = made;
      if (made < steps) return;  // stopped
      if (samples > 1) {
        // Integer sums: the same whatever order the runs end in.
        std::lock_guard<std::mutex> lock(sum_mutex);
        if (wide)
          add_run(paths, wide_sum.data());
        else
          add_run(paths, hex.path_sums.data());
      }
      runs_made.fetch_add(1);
    }
  };
  // A failure (no memory for a run's sweeps) ends that worker; the command
  // then keeps its start and the failure is thrown here, on this thread.
  std::mutex error_mutex;
  std::exception_ptr error;
  auto guarded = [&](unsigned w) {
    try {
      worker(w);
    } catch (...) {
      std::lock_guard<std::mutex> lock(error_mutex);
      if (!error) error = std::current_exception();
    }
  };
  auto tell = [&] {
    if (const std::string l = shortfall.take_line(); !l.empty()) sink.line(l);
  };
  // Small commands (under a millisecond of sweeping) run on this thread:
  // starting threads would cost more than they save. The lines are then
  // written at the end, in the same order. So are the others when not one
  // thread can be started.
  unsigned started = 0;
  WorkerThreads pool;
  if (!small) {
    // The sweeps run on threads of their own; this thread writes the lines.
    // Workers that could not be started leave their runs to the others.
    std::atomic<unsigned> working{outer};
    started = pool.start(outer, [&](unsigned w) {
      guarded(w);
      if (working.fetch_sub(1) == 1) log.close();
    });
    if (started > 0) {
      const unsigned missing = outer - started;
      if (missing > 0 && working.fetch_sub(missing) == missing) log.close();
      shortfall.note(started, outer);
      tell();
      log.show(sink, progress);
      pool.join();
    }
  }
  if (started == 0) {
    if (!small) shortfall.note(1, outer);
    guarded(0);
    log.close();
    tell();
    log.show(sink, progress);
  }
  tell();

  if (error) std::rethrow_exception(error);  // the caller puts the start back
  if (samples == 1 && single_made < steps) {
    // A stopped run keeps the tiling it reached: a sample of the model at
    // its own S.
    hex.params.S = plus ? S0 + single_made : S0 - single_made;
    return;
  }
  if (runs_made.load() < samples) {
    hex.paths = hex.start_paths;
    hex.params.S = S0;
    return;
  }
  hex.params.S = plus ? S0 + steps : S0 - steps;
  if (samples == 1) return;
  if (wide)
    average_runs(wide_sum.data(), samples, hex.paths);
  else
    average_runs(hex.path_sums.data(), samples, hex.paths);
}


template <class Sum>
void add_run_to(const PathArray& run, Sum* sum) {
  const int32_t* p = run.data();
  for (std::size_t e = 0; e < run.size(); ++e) sum[e] += p[e];
}

template <class Sum>
void average_runs_into(const Sum* sum, int64_t runs, PathArray& out) {
  int32_t* o = out.data();
  for (std::size_t e = 0; e < out.size(); ++e) o[e] = static_cast<int32_t>(sum[e] / runs);
}

}  // namespace

void add_run(const PathArray& run, int32_t* sum) { add_run_to(run, sum); }
void add_run(const PathArray& run, int64_t* sum) { add_run_to(run, sum); }
void average_runs(const int32_t* sum, int64_t runs, PathArray& out) {
  average_runs_into(sum, runs, out);
}
void average_runs(const int64_t* sum, int64_t runs, PathArray& out) {
  average_runs_into(sum, runs, out);
}

}  // namespace lozengia
