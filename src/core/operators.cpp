#include "core/operators.h"

#include <charconv>

#include "core/draw_chooser.h"
#include "core/fast_sweep.h"
#include "core/sweep.h"
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
         PathArray& nw, ParkMiller& rng, MessageSink& sink) {
  const auto tables = tables_for(N, T, model);
  if constexpr (Plus)
    fast_sweep_plus(*tables, N, T, S, old, nw, rng, sink);
  else
    fast_sweep_minus(*tables, N, T, S, old, nw, rng, sink);
}

}  // namespace

void SOPERATOR(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
               const double& q, const double& K, const double& alpha, const double& beta,
               const PathArray& old, PathArray& nw, RandomSource& rng, MessageSink& sink) {
  rng.with_lock([&](ParkMiller& g) {
    run<true>(N, T, S, ModelParams{kind, q, K, alpha, beta}, old, nw, g, sink);
  });
}
void SMINUSOPERATOR(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                    const double& q, const double& K, const double& alpha, const double& beta,
                    const PathArray& old, PathArray& nw, RandomSource& rng, MessageSink& sink) {
  rng.with_lock([&](ParkMiller& g) {
    run<false>(N, T, S, ModelParams{kind, q, K, alpha, beta}, old, nw, g, sink);
  });
}
void SOPERATOR(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
               const double& q, const double& K, const double& alpha, const double& beta,
               const PathArray& old, PathArray& nw, ParkMiller& rng, MessageSink& sink) {
  run<true>(N, T, S, ModelParams{kind, q, K, alpha, beta}, old, nw, rng, sink);
}
void SMINUSOPERATOR(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                    const double& q, const double& K, const double& alpha, const double& beta,
                    const PathArray& old, PathArray& nw, ParkMiller& rng, MessageSink& sink) {
  run<false>(N, T, S, ModelParams{kind, q, K, alpha, beta}, old, nw, rng, sink);
}

namespace {
template <bool Plus>
void plain_sweep(int32_t N, int32_t T, int32_t S, const ModelParams& model, const PathArray& old,
                 PathArray& nw, ParkMiller& rng, MessageSink& sink) {
  BlockWeights bw(N, T, S, model);
  std::vector<double> w(static_cast<std::size_t>(N) + 3);
  DrawChooser<ParkMiller> chooser(N, T, S, model.q, rng, sink);
  if constexpr (Plus)
    sweep_plus(N, T, S, bw, old, nw, chooser, w.data());
  else
    sweep_minus(N, T, S, bw, old, nw, chooser, w.data());
  chooser.finish();
}
}  // namespace

void plain_sweep_plus(int32_t N, int32_t T, int32_t S, const ModelParams& model,
                      const PathArray& old, PathArray& nw, ParkMiller& rng, MessageSink& sink) {
  plain_sweep<true>(N, T, S, model, old, nw, rng, sink);
}

void plain_sweep_minus(int32_t N, int32_t T, int32_t S, const ModelParams& model,
                       const PathArray& old, PathArray& nw, ParkMiller& rng, MessageSink& sink) {
  plain_sweep<false>(N, T, S, model, old, nw, rng, sink);
}

Sampler::Sampler(int32_t N, int32_t T, const ModelParams& model)
    : N_(N), T_(T), model_(model), scratch_(N, T) {}

template <class Rng>
void Sampler::step_plus(int32_t S, PathArray& paths, Rng& rng, MessageSink& sink) {
  SOPERATOR(N_, T_, S, model_.kind, model_.q, model_.K, model_.alpha, model_.beta, paths,
            scratch_, rng, sink);
  paths.swap(scratch_);
}
template <class Rng>
void Sampler::step_minus(int32_t S, PathArray& paths, Rng& rng, MessageSink& sink) {
  SMINUSOPERATOR(N_, T_, S, model_.kind, model_.q, model_.K, model_.alpha, model_.beta, paths,
                 scratch_, rng, sink);
  paths.swap(scratch_);
}
template void Sampler::step_plus(int32_t, PathArray&, RandomSource&, MessageSink&);
template void Sampler::step_plus(int32_t, PathArray&, ParkMiller&, MessageSink&);
template void Sampler::step_minus(int32_t, PathArray&, RandomSource&, MessageSink&);
template void Sampler::step_minus(int32_t, PathArray&, ParkMiller&, MessageSink&);

template <class Rng>
void exact_sample(const HexagonParams& p, PathArray& paths, Rng& rng, MessageSink& sink) {
  INIT_PATHS(p.N, p.T, 0, paths);
  Sampler sampler(p.N, p.T, p.model);
  for (int32_t s = 0; s < p.S; ++s) sampler.step_plus(s, paths, rng, sink);
}
template void exact_sample(const HexagonParams&, PathArray&, RandomSource&, MessageSink&);
template void exact_sample(const HexagonParams&, PathArray&, ParkMiller&, MessageSink&);

}  // namespace lozengia
