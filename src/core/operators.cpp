#include "core/operators.h"

#include <charconv>

#include "core/draw_chooser.h"
#include "core/fast_sweep.h"
#include "core/weights.h"

namespace lozengia {

const char* const kBugReportLine =
    "If you want to help improving the program, please, send the description of the "
    "situation when this bug appeared to the Lozengia maintainers (see the README for "
    "how to reach them)";

std::string format_real(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

namespace {

template <bool Plus>
void run(int32_t N, int32_t T, int32_t S, const ModelParams& model, const PathArray& old,
         PathArray& new_paths, ParkMiller& rng, MessageSink& sink) {
  const auto tables = tables_for(N, T, model);
  if constexpr (Plus)
    fast_sweep_plus(*tables, N, T, S, old, new_paths, rng, sink);
  else
    fast_sweep_minus(*tables, N, T, S, old, new_paths, rng, sink);
}

}  // namespace

void s_plus_operator(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                     const double& q, const double& K, const double& alpha, const double& beta,
                     const PathArray& old, PathArray& new_paths, RandomSource& rng,
                     MessageSink& sink) {
  rng.with_lock([&](ParkMiller& g) {
    run<true>(N, T, S, ModelParams{kind, q, K, alpha, beta}, old, new_paths, g, sink);
  });
}
void s_minus_operator(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                      const double& q, const double& K, const double& alpha, const double& beta,
                      const PathArray& old, PathArray& new_paths, RandomSource& rng,
                      MessageSink& sink) {
  rng.with_lock([&](ParkMiller& g) {
    run<false>(N, T, S, ModelParams{kind, q, K, alpha, beta}, old, new_paths, g, sink);
  });
}
void s_plus_operator(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                     const double& q, const double& K, const double& alpha, const double& beta,
                     const PathArray& old, PathArray& new_paths, ParkMiller& rng,
                     MessageSink& sink) {
  run<true>(N, T, S, ModelParams{kind, q, K, alpha, beta}, old, new_paths, rng, sink);
}
void s_minus_operator(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                      const double& q, const double& K, const double& alpha, const double& beta,
                      const PathArray& old, PathArray& new_paths, ParkMiller& rng,
                      MessageSink& sink) {
  run<false>(N, T, S, ModelParams{kind, q, K, alpha, beta}, old, new_paths, rng, sink);
}

}  // namespace lozengia
