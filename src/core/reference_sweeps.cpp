#include "core/reference_sweeps.h"

#include <vector>

#include "core/draw_chooser.h"
#include "core/operators.h"
#include "core/sweep.h"
#include "core/weights.h"

namespace lozengia {

namespace {
template <bool Plus>
void plain_sweep(int32_t N, int32_t T, int32_t S, const ModelParams& model, const PathArray& old,
                 PathArray& new_paths, ParkMiller& rng, MessageSink& sink) {
  BlockWeights bw(N, T, S, model);
  // Outcomes 1..N+1 and the walk's sentinel after the last.
  std::vector<double> w(static_cast<std::size_t>(N) + 3);
  DrawChooser<ParkMiller> chooser(N, T, S, model.q, rng, sink);
  if constexpr (Plus)
    sweep_plus(N, T, S, bw, old, new_paths, chooser, w.data());
  else
    sweep_minus(N, T, S, bw, old, new_paths, chooser, w.data());
  chooser.finish();
}
}  // namespace

void plain_sweep_plus(int32_t N, int32_t T, int32_t S, const ModelParams& model,
                      const PathArray& old, PathArray& new_paths, ParkMiller& rng,
                      MessageSink& sink) {
  plain_sweep<true>(N, T, S, model, old, new_paths, rng, sink);
}

void plain_sweep_minus(int32_t N, int32_t T, int32_t S, const ModelParams& model,
                       const PathArray& old, PathArray& new_paths, ParkMiller& rng,
                       MessageSink& sink) {
  plain_sweep<false>(N, T, S, model, old, new_paths, rng, sink);
}

Sampler::Sampler(int32_t N, int32_t T, const ModelParams& model)
    : N_(N), T_(T), model_(model), scratch_(N, T) {}

template <class Rng>
void Sampler::step_plus(int32_t S, PathArray& paths, Rng& rng, MessageSink& sink) {
  operator_sweep_plus(HexagonParams{N_, T_, S, model_}, paths, scratch_, rng, sink);
  paths.swap(scratch_);
}
template <class Rng>
void Sampler::step_minus(int32_t S, PathArray& paths, Rng& rng, MessageSink& sink) {
  operator_sweep_minus(HexagonParams{N_, T_, S, model_}, paths, scratch_, rng, sink);
  paths.swap(scratch_);
}
template void Sampler::step_plus(int32_t, PathArray&, RandomSource&, MessageSink&);
template void Sampler::step_plus(int32_t, PathArray&, ParkMiller&, MessageSink&);
template void Sampler::step_minus(int32_t, PathArray&, RandomSource&, MessageSink&);
template void Sampler::step_minus(int32_t, PathArray&, ParkMiller&, MessageSink&);

template <class Rng>
void exact_sample(const HexagonParams& p, PathArray& paths, Rng& rng, MessageSink& sink) {
  minimal_paths(p.N, p.T, 0, paths);
  Sampler sampler(p.N, p.T, p.model);
  for (int32_t s = 0; s < p.S; ++s) sampler.step_plus(s, paths, rng, sink);
}
template void exact_sample(const HexagonParams&, PathArray&, RandomSource&, MessageSink&);
template void exact_sample(const HexagonParams&, PathArray&, ParkMiller&, MessageSink&);

}  // namespace lozengia
