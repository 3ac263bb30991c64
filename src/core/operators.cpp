#include "core/operators.h"

#include <charconv>
#include <cmath>
#include <sstream>

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

template <class Rng>
void run_plus(int32_t N, int32_t T, int32_t S, const ModelParams& model, const PathArray& old,
              PathArray& nw, Rng& rng, MessageSink& sink) {
  BlockWeights bw(N, T, S, model);
  std::vector<double> w(static_cast<std::size_t>(N) + 3);
  DrawChooser<Rng> chooser(N, T, S, model.q, rng, sink);
  sweep_plus(N, T, S, bw, old, nw, chooser, w.data());
  chooser.finish();
}

template <class Rng>
void run_minus(int32_t N, int32_t T, int32_t S, const ModelParams& model, const PathArray& old,
               PathArray& nw, Rng& rng, MessageSink& sink) {
  BlockWeights bw(N, T, S, model);
  std::vector<double> w(static_cast<std::size_t>(N) + 3);
  DrawChooser<Rng> chooser(N, T, S, model.q, rng, sink);
  sweep_minus(N, T, S, bw, old, nw, chooser, w.data());
  chooser.finish();
}

}  // namespace

void SOPERATOR(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
               const double& q, const double& K, const double& alpha, const double& beta,
               const PathArray& old, PathArray& nw, RandomSource& rng, MessageSink& sink) {
  run_plus(N, T, S, ModelParams{kind, q, K, alpha, beta}, old, nw, rng, sink);
}
void SMINUSOPERATOR(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                    const double& q, const double& K, const double& alpha, const double& beta,
                    const PathArray& old, PathArray& nw, RandomSource& rng, MessageSink& sink) {
  run_minus(N, T, S, ModelParams{kind, q, K, alpha, beta}, old, nw, rng, sink);
}
void SOPERATOR(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
               const double& q, const double& K, const double& alpha, const double& beta,
               const PathArray& old, PathArray& nw, ParkMiller& rng, MessageSink& sink) {
  run_plus(N, T, S, ModelParams{kind, q, K, alpha, beta}, old, nw, rng, sink);
}
void SMINUSOPERATOR(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                    const double& q, const double& K, const double& alpha, const double& beta,
                    const PathArray& old, PathArray& nw, ParkMiller& rng, MessageSink& sink) {
  run_minus(N, T, S, ModelParams{kind, q, K, alpha, beta}, old, nw, rng, sink);
}

Sampler::Sampler(int32_t N, int32_t T, const ModelParams& model)
    : N_(N), T_(T), model_(model), scratch_(N, T), w_(static_cast<std::size_t>(N) + 3) {}

struct Sampler::Impl {
  template <class Rng, bool Plus>
  static void step(Sampler& s, int32_t S, PathArray& paths, Rng& rng, MessageSink& sink) {
    BlockWeights bw(s.N_, s.T_, S, s.model_);
    DrawChooser<Rng> chooser(s.N_, s.T_, S, s.model_.q, rng, sink);
    if constexpr (Plus)
      sweep_plus(s.N_, s.T_, S, bw, paths, s.scratch_, chooser, s.w_.data());
    else
      sweep_minus(s.N_, s.T_, S, bw, paths, s.scratch_, chooser, s.w_.data());
    chooser.finish();
    paths.swap(s.scratch_);
  }
};

template <class Rng>
void Sampler::step_plus(int32_t S, PathArray& paths, Rng& rng, MessageSink& sink) {
  Impl::step<Rng, true>(*this, S, paths, rng, sink);
}
template <class Rng>
void Sampler::step_minus(int32_t S, PathArray& paths, Rng& rng, MessageSink& sink) {
  Impl::step<Rng, false>(*this, S, paths, rng, sink);
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
