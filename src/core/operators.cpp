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

std::string weight_vector(const double* w, int32_t count) {
  std::ostringstream os;
  for (int32_t k = 1; k <= count; ++k) os << (k > 1 ? " " : "") << format_real(w[k]);
  return os.str();
}

int32_t index_of_largest(const double* w, int32_t count) {
  int32_t best = 1;
  for (int32_t k = 2; k <= count; ++k)
    if (w[k] > w[best]) best = k;
  return best;
}

// The walk ran past the last outcome (the single-precision threshold rounded
// above the double total). The last outcome is the fallback, unless it is
// impossible: then the last possible one, so that an outcome of weight zero is
// never applied.
int32_t fallback_outcome(const double* w, int32_t count) {
  for (int32_t k = count; k >= 1; --k)
    if (w[k] > 0.0) return k;
  return count;
}

}  // namespace

template <class Rng>
int32_t DrawChooser<Rng>::choose_plus(double* w, int32_t m, const BlockInfo& info) {
  double Z = 0.0;
  for (int32_t k = 1; k <= m; ++k) {
    if (!(w[k] <= 1.0e8)) {
      std::ostringstream os;
      os << "S= " << S_ << " i= " << info.i << " pivot= " << index_of_largest(w, m)
         << " j= " << info.j << " D= " << info.D << " old(i,t)= " << info.old_i
         << " h= 0 old(j,t)= " << info.old_j << "\n w: " << weight_vector(w, m);
      sink_.overflow_report(os.str());
      warned_ = true;
    }
    Z += w[k];
  }
  w[m + 1] = 100000.0;
  const float u = rng_.next_float();
  const float Zf = static_cast<float>(Z);
  const float v = (1.0f - u) * Zf;
  int32_t k = 1;
  double cum = w[1];
  while (cum < static_cast<double>(v) && k <= m) {
    ++k;
    cum += w[k];
    if (w[k] < 0.0) {
      sink_.line("Negative probability");
      warned_ = true;
    }
  }
  if (k > m) {
    const float ratio = v / Zf;
    if (ratio < 1.0f) {
      sink_.line("Strange warning while applying Markovian Operator. " +
                 format_real(static_cast<double>(ratio)));
      warned_ = true;
    }
    k = fallback_outcome(w, m);
  }
  return k;
}

template <class Rng>
int32_t DrawChooser<Rng>::choose_minus(double* p, int32_t L, const BlockInfo& info) {
  double W = 0.0;
  bool report = false;
  for (int32_t k = 1; k <= L; ++k) {
    if (!(p[k] <= 1.0e8) || p[k] < 0.0) report = true;
    W += p[k];
  }
  p[L + 1] = 10000.0;
  if (report) {
    std::ostringstream os;
    os << "S= " << S_ << " i= " << info.i << " pivot= " << index_of_largest(p, L)
       << " j= " << info.j << " T-t-S= " << info.D << " old(i,t)= " << info.old_i
       << " h= 0 old(j,t)= " << info.old_j << " p: " << weight_vector(p, L + 1);
    sink_.line(os.str());
    warned_ = true;
  }
  float u = rng_.next_float();
  u = static_cast<float>(static_cast<double>(1.0f - u) * W);
  int32_t k = 1;
  double Q = p[1];
  while (Q < static_cast<double>(u) && k <= L) {
    ++k;
    Q += p[k];
  }
  if (k > L) {
    const float ratio = u / static_cast<float>(W);
    if (ratio < 1.0f) {
      sink_.line("Strange warning while applying Markovian Operator. " +
                 format_real(static_cast<double>(ratio)));
      warned_ = true;
    }
    k = fallback_outcome(p, L);
  }
  return k;
}

template <class Rng>
void DrawChooser<Rng>::finish() {
  if (!warned_) return;
  sink_.line("Current parameters: N= " + std::to_string(N_) + " T= " + std::to_string(T_) +
             " S= " + std::to_string(S_) + " q= " + format_real(q_));
  sink_.line("Arithmetical warning. Results may be wrong");
  sink_.line(kBugReportLine);
}

template class DrawChooser<RandomSource>;
template class DrawChooser<ParkMiller>;

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
