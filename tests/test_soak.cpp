// A long random session: parameters typed as a user would type them (kept when
// the "New" dialog's check accepts them), then thousands of step commands up
// and down. After every command the configuration must be a valid tiling of
// the current hexagon, and admissible parameters must never produce a warning.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "core/hexagon.h"
#include "core/params.h"
#include "core/step_command.h"

namespace lozengia {
namespace {

// Numbers as people type them: plain decimals, a few digits after the point,
// exponents, blanks, a plus sign.
class Typist {
 public:
  explicit Typist(uint32_t seed) : gen_(seed) {}

  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen_); }
  double uniform(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(gen_);
  }

  std::string integer(int lo, int hi) {
    std::string s = std::to_string(pick(lo, hi));
    if (pick(0, 9) == 0) s = " " + s + " ";
    if (pick(0, 19) == 0 && s[0] != '-') s = "+" + s;
    return s;
  }

  std::string real(double lo, double hi) {
    const double v = uniform(lo, hi);
    char buf[64];
    switch (pick(0, 4)) {
      case 0:
        std::snprintf(buf, sizeof buf, "%.1f", v);
        break;
      case 1:
        std::snprintf(buf, sizeof buf, "%.3f", v);
        break;
      case 2:
        std::snprintf(buf, sizeof buf, "%.2e", v);
        break;
      case 3:
        std::snprintf(buf, sizeof buf, "%g", v);
        break;
      default:
        std::snprintf(buf, sizeof buf, "%.15g", v);
        break;
    }
    return buf;
  }

  // A q near 1 (the usual case), far from it, or just off 1.
  std::string q() {
    if (extreme_) return pick(0, 1) ? real(1e-4, 1e-2) : real(20.0, 200.0);
    switch (pick(0, 3)) {
      case 0:
        return real(0.5, 0.99);
      case 1:
        return real(1.01, 2.0);
      case 2:
        return pick(0, 1) ? "0.999" : "1.001";
      default:
        return real(0.05, 5.0);
    }
  }

  NewHexagonInput hexagon() {
    NewHexagonInput in;
    in.kind = static_cast<ModelKind>(pick(1, 6));
    const int N = pick(1, 12), T = pick(1, 30);
    in.N = integer(N, N);
    in.T = integer(T, T);
    in.S = integer(0, T);
    in.q = q();
    in.kappa = extreme_ ? (pick(0, 1) ? real(1e5, 1e7) : real(1e-7, 1e-5)) : real(-30.0, 30.0);
    in.logq_or_K =
        in.kind == kRacah ? real(-3.0 * N - 10, 2.0 * T + 10) : real(-2.0 * N - 10, T + 10.0);
    in.alpha = extreme_ ? real(-1e-6, 1e-6) : real(-0.6, 0.6);
    in.beta = real(-4.0, 4.0);
    return in;
  }

  // Values at the far ends of what the dialog accepts.
  void extreme(bool on) { extreme_ = on; }

 private:
  std::mt19937 gen_;
  bool extreme_ = false;
};

bool is_progress_line(const std::string& line) { return line.rfind("Iteration ", 0) == 0; }

struct SoakCount {
  int hexagons = 0, refused = 0;
  int by_kind[7] = {};
  long steps_run = 0;
};

// `total` commands on hexagons typed by `typist`; fails at the first broken
// invariant or warning line, with the parameters that caused it.
void soak(Typist& typist, int total, uint32_t seed, SoakCount& n) {
  RandomSource rng(seed);
  CollectSink sink;
  Hexagon hex = default_hexagon();
  int commands = 0;
  int& hexagons = n.hexagons;
  int& refused = n.refused;
  long& steps_run = n.steps_run;
  while (commands < total) {
    // A new hexagon, typed until the dialog accepts it.
    NewHexagonResult r;
    NewHexagonInput in;
    for (;;) {
      in = typist.hexagon();
      r = check_new_hexagon(in);
      if (r.ok) break;
      ++refused;
      ASSERT_FALSE(r.message.empty());
    }
    ASSERT_EQ(set_hexagon(hex, r.params), "") << in.N << " " << in.T;
    ASSERT_EQ(check_invariants(hex.paths, hex.params.N, hex.params.T, hex.params.S), "");
    ++hexagons;
    ++n.by_kind[hex.params.model.kind];
    const std::string report = parameter_report(hex.params);

    // A session on it: commands up and down, mostly single steps, sometimes
    // several steps and several averaged samples.
    const int session = typist.pick(20, 120);
    for (int c = 0; c < session; ++c, ++commands) {
      bool plus = typist.pick(0, 1) == 1;
      if (hex.params.S == 0) plus = true;
      if (hex.params.S == hex.params.T) plus = false;
      const int room = plus ? hex.params.T - hex.params.S : hex.params.S;
      const int steps = typist.pick(0, 3) == 0 ? typist.pick(1, room) : 1;
      const int samples = typist.pick(0, 9) == 0 ? typist.pick(2, 4) : 1;
      int32_t steps_read = 0, samples_read = 0;
      ASSERT_TRUE(check_step_fields(std::to_string(steps), std::to_string(samples), hex.params.S,
                                    hex.params.T, plus, steps_read, samples_read));
      const int32_t S0 = hex.params.S;
      sink.lines.clear();
      run_step_command(hex, plus, steps_read, samples_read, rng, sink);
      ASSERT_EQ(hex.params.S, S0 + (plus ? steps_read : -steps_read));
      steps_run += static_cast<long>(steps_read) * samples_read;
      const std::string bad = check_invariants(hex.paths, hex.params.N, hex.params.T, hex.params.S);
      ASSERT_EQ(bad, "") << report << " after " << (plus ? "+" : "-") << steps_read << " x"
                         << samples_read << " from S=" << S0;
      for (const std::string& line : sink.lines)
        ASSERT_TRUE(is_progress_line(line)) << report << ": " << line;
      ASSERT_TRUE(sink.reports.empty()) << report << ": " << sink.reports.front();
    }
  }
}

TEST(Soak, ThousandsOfRandomStepCommandsKeepEveryInvariant) {
  Typist typist(20261208);
  SoakCount n;
  soak(typist, 200000, 4242, n);
  if (HasFatalFailure()) return;
  RecordProperty("hexagons", n.hexagons);
  RecordProperty("steps", static_cast<int>(n.steps_run));
  // The session really covered what it claims to.
  EXPECT_GT(n.hexagons, 1000);
  EXPECT_GT(n.steps_run, 200000);
  EXPECT_GT(n.refused, 0);
  for (int k = 1; k <= 6; ++k) EXPECT_GT(n.by_kind[k], 50) << kModelNames[k];
}

// q far from 1, kappa huge or tiny, alpha almost 0: the dialog accepts these,
// so the operators must handle them without numerical warnings.
TEST(Soak, ExtremeAdmissibleParametersStayQuiet) {
  Typist typist(777);
  typist.extreme(true);
  SoakCount n;
  soak(typist, 30000, 99, n);
  if (HasFatalFailure()) return;
  EXPECT_GT(n.hexagons, 100);
  for (int k = 1; k <= 5; ++k) EXPECT_GT(n.by_kind[k], 5) << kModelNames[k];
}

}  // namespace
}  // namespace lozengia
