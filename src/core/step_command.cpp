#include "core/step_command.h"

#include <limits>
#include <vector>

#include "core/operators.h"
#include "core/params.h"

namespace lozengia {

bool check_step_fields(const std::string& steps_text, const std::string& samples_text, int32_t S,
                       int32_t T, bool plus, int32_t& steps, int32_t& samples) {
  int32_t st = 0, sa = 0;
  if (!parse_int32(steps_text, st) || st < 1) return false;
  if (plus ? static_cast<int64_t>(S) + st > T : st > S) return false;
  if (!parse_int32(samples_text, sa) || sa < 1) return false;
  steps = st;
  samples = sa;
  return true;
}

void run_step_command(Hexagon& hex, bool plus, int32_t steps, int32_t samples, RandomSource& rng,
                      MessageSink& sink, const std::atomic<bool>* stop,
                      const StepProgress& progress) {
  const int32_t N = hex.N, T = hex.T;
  const int32_t S0 = hex.S;
  hex.startpaths = hex.paths;
  // Heights are at most N-1+T; a sum over many samples could pass 2^31, so it
  // is kept in 64 bits when it might.
  const bool wide = static_cast<int64_t>(samples) * (static_cast<int64_t>(N) - 1 + T) >
                    std::numeric_limits<int32_t>::max();
  std::vector<int64_t> wide_sum;
  if (wide)
    wide_sum.assign(hex.paths.size(), 0);
  else
    std::fill(hex.sumpaths.data(), hex.sumpaths.data() + hex.sumpaths.size(), 0);

  for (int32_t k = 1; k <= samples; ++k) {
    hex.S = S0;
    if (k > 1) hex.paths = hex.startpaths;
    for (int32_t s = 0; s < steps; ++s) {
      if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
        hex.paths = hex.startpaths;
        hex.S = S0;
        return;
      }
      if (plus)
        SOPERATOR(hex.N, hex.T, hex.S, hex.kind, hex.q, hex.K, hex.alpha, hex.beta, hex.paths,
                  hex.newpaths, rng, sink);
      else
        SMINUSOPERATOR(hex.N, hex.T, hex.S, hex.kind, hex.q, hex.K, hex.alpha, hex.beta,
                       hex.paths, hex.newpaths, rng, sink);
      hex.S += plus ? 1 : -1;
      hex.paths.swap(hex.newpaths);
      sink.line("Iteration " + std::to_string(k) + " S=" + std::to_string(hex.S));
      if (progress) progress(k, s + 1, hex.S);
    }
    if (samples == 1) return;
    if (wide)
      add_run(hex.paths, wide_sum.data());
    else
      add_run(hex.paths, hex.sumpaths.data());
  }
  if (wide)
    average_runs(wide_sum.data(), samples, hex.paths);
  else
    average_runs(hex.sumpaths.data(), samples, hex.paths);
}

namespace {

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
