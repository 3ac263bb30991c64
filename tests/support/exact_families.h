// Exhaustive machinery for small hexagons: every path family, its weight under
// a model, and every outcome of an operator sweep with its exact probability.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

#include "core/hexagon.h"
#include "core/sweep.h"
#include "core/weights.h"

namespace lozengia::testing {

using Family = std::vector<int32_t>;  // the PathArray's data, column by column

inline PathArray to_paths(const Family& f, int32_t N, int32_t T) {
  PathArray p(N, T);
  std::copy(f.begin(), f.end(), p.data());
  return p;
}

// Every family of the hexagon N x (T-S) x S.
inline std::vector<Family> all_families(int32_t N, int32_t T, int32_t S) {
  std::vector<Family> out;
  PathArray p(N, T);
  for (int32_t i = 1; i <= N; ++i) p(i, 0) = i - 1;
  // Path i's lift above i-1 lies in [max(0, S-(T-t)), min(t, S)] at slice t.
  auto rec = [&](auto&& self, int32_t t) -> void {
    if (t > T) {
      out.emplace_back(p.data(), p.data() + p.size());
      return;
    }
    for (uint32_t mask = 0; mask < (1u << N); ++mask) {
      bool ok = true;
      for (int32_t i = 1; i <= N && ok; ++i) {
        const int32_t h = p(i, t - 1) + ((mask >> (i - 1)) & 1u);
        const int32_t lift = h - (i - 1);
        if (lift < std::max(0, S - (T - t)) || lift > std::min(t, S)) ok = false;
        if (i > 1 && h <= p(i - 1, t)) ok = false;
        p(i, t) = h;
      }
      if (ok) self(self, t + 1);
    }
  };
  rec(rec, 1);
  return out;
}

// Weight of one hole at slice t, height g, under the stored parameters.
inline double hole_weight(const ModelParams& m, int32_t t, int32_t g, int32_t S) {
  const double y = g + 0.5 - t / 2.0 - S / 2.0;
  switch (m.kind) {
    case kHahn:
      return 1.0;
    case kQHahn:
      return std::pow(m.q, g);
    case kRacah:
      return y + m.K;
    case kTrigonometric:
      return std::sin(m.alpha * y + m.beta);
    default:
      return std::pow(m.q, y) + m.K * std::pow(m.q, -y);
  }
}

// Calls fn(t, g) for every hole of the family: every height g of an inner
// slice t that the hexagon allows and no path occupies.
template <class Fn>
void for_each_hole(const PathArray& p, int32_t N, int32_t T, int32_t S, Fn&& fn) {
  for (int32_t t = 1; t <= T - 1; ++t) {
    const int32_t lo = std::max(0, t - (T - S));
    const int32_t hi = N - 1 + std::min(t, S);
    int32_t k = 1;
    for (int32_t g = lo; g <= hi; ++g) {
      while (k <= N && p(k, t) < g) ++k;
      if (k <= N && p(k, t) == g) continue;
      fn(t, g);
    }
  }
}

inline double family_weight(const ModelParams& m, const PathArray& p, int32_t N, int32_t T,
                            int32_t S) {
  double w = 1.0;
  for_each_hole(p, N, T, S, [&](int32_t t, int32_t g) { w *= hole_weight(m, t, g, S); });
  return w;
}

// The model's measure on the hexagon with S: family -> probability.
inline std::map<Family, double> measure(const ModelParams& m, int32_t N, int32_t T, int32_t S) {
  std::map<Family, double> mu;
  double z = 0.0;
  for (const Family& f : all_families(N, T, S)) {
    const double w = family_weight(m, to_paths(f, N, T), N, T, S);
    mu[f] = w;
    z += w;
  }
  for (auto& [f, w] : mu) w /= z;
  return mu;
}

// A chooser that follows a script of outcomes and records, for every decision,
// how many outcomes there were and the probability of the one taken.
struct ScriptChooser {
  std::vector<int32_t> script;
  std::vector<int32_t> counts;
  double prob = 1.0;
  std::size_t pos = 0;

  int32_t take(const double* w, int32_t m) {
    const int32_t k = pos < script.size() ? script[pos] : 1;
    if (pos >= script.size()) script.push_back(1);
    if (counts.size() <= pos) counts.resize(pos + 1);
    counts[pos] = m;
    double z = 0.0;
    for (int32_t l = 1; l <= m; ++l) z += w[l];
    prob *= w[k] / z;
    ++pos;
    return k;
  }
  int32_t choose_plus(double* w, int32_t m, const BlockInfo&) { return take(w, m); }
  int32_t choose_minus(double* w, int32_t m, const BlockInfo&) { return take(w, m); }
};

// The exact row of the transition matrix from `from`: every reachable family
// with its probability (outcomes of probability zero are kept, so that an
// impossible result shows up as a mass of zero rather than vanishing).
inline std::map<Family, double> transition_row(const ModelParams& m, int32_t N, int32_t T,
                                               int32_t S, bool plus, const Family& from) {
  std::map<Family, double> row;
  const PathArray old = to_paths(from, N, T);
  PathArray new_paths(N, T);
  BlockWeights bw(N, T, S, m);
  std::vector<double> w(static_cast<std::size_t>(N) + 3);
  std::vector<int32_t> script;
  for (;;) {
    ScriptChooser ch;
    ch.script = script;
    if (plus)
      sweep_plus(N, T, S, bw, old, new_paths, ch, w.data());
    else
      sweep_minus(N, T, S, bw, old, new_paths, ch, w.data());
    row[Family(new_paths.data(), new_paths.data() + new_paths.size())] += ch.prob;
    // Next script: advance the last decision that has outcomes left.
    script = ch.script;
    script.resize(ch.pos);
    int32_t d = static_cast<int32_t>(ch.pos) - 1;
    while (d >= 0 && script[d] >= ch.counts[d]) --d;
    if (d < 0) break;
    ++script[d];
    script.resize(d + 1);
  }
  return row;
}

}  // namespace lozengia::testing
