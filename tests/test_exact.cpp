// The operators are exact: applied to the model's measure for S they give the
// model's measure for S+1 (or S-1), entry by entry. Checked by listing every
// family of small hexagons and every outcome of every block.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/operators.h"
#include "core/params.h"
#include "support/exact_families.h"
#include "support/models.h"

namespace lozengia {
namespace {

using testing::Family;

struct Entered {
  std::string name;
  ModelKind kind;
  std::string q, kappa, logq_or_K, alpha, beta;
};

// Parameter sets as a user would type them, chosen per shape so that they are
// admissible: q below and above 1, K on both sides of the forbidden interval
// and on its accepted edge, alpha of both signs.
std::vector<Entered> parameter_sets(int32_t N, int32_t T) {
  const double pi = 3.141592653589793;
  const double half = T / 2.0;
  auto s = [](double v) { return format_real(v); };
  std::vector<Entered> sets;
  sets.push_back({"hahn", kHahn, "", "", "", "", ""});
  sets.push_back({"qhahn<1", kQHahn, "0.6", "", "", "", ""});
  sets.push_back({"qhahn>1", kQHahn, "1.7", "", "", "", ""});
  sets.push_back({"racah K=T/2", kRacah, "", "", s(half), "", ""});
  sets.push_back({"racah K>T/2", kRacah, "", "", s(half + 0.37), "", ""});
  sets.push_back({"racah K<-N", kRacah, "", "", s(-N - 0.6), "", ""});
  {
    const double a = 0.9 * pi / (N + half);
    sets.push_back({"trig alpha>0", kTrigonometric, "", "", "", s(a), s(a * half + 0.05 * pi)});
    const double b = -0.8 * pi / (N + half);
    sets.push_back({"trig alpha<0", kTrigonometric, "", "", "", s(b), s(1.1 * pi - N * b)});
  }
  sets.push_back({"imag q<1", kImaginaryQRacah, "0.7", "1.3", "", "", ""});
  sets.push_back({"imag q>1", kImaginaryQRacah, "1.5", "0.4", "", "", ""});
  sets.push_back({"real q<1 L>T/2", kRealQRacah, "0.7", "", s(half + 0.3), "", ""});
  sets.push_back({"real q>1 L<-N", kRealQRacah, "1.3", "", s(-N - 0.4), "", ""});
  sets.push_back({"real q>1 L>T/2", kRealQRacah, "1.3", "", s(half + 0.3), "", ""});
  return sets;
}

ModelParams stored(const Entered& e, int32_t N, int32_t T) {
  return testing::entered_model(e.kind, N, T, {e.q, e.kappa, e.logq_or_K, e.alpha, e.beta}, e.name);
}

// Largest deviation between mu_S * P and mu_target; also fails on mass that
// lands outside the target hexagon's families.
double deviation(const ModelParams& m, int32_t N, int32_t T, int32_t S, bool plus) {
  const int32_t S2 = plus ? S + 1 : S - 1;
  const auto from = testing::measure(m, N, T, S);
  const auto to = testing::measure(m, N, T, S2);
  std::map<Family, double> got;
  for (const auto& [f, p] : from) {
    const auto row = testing::transition_row(m, N, T, S, plus, f);
    double total = 0.0;
    for (const auto& [g, pr] : row) {
      got[g] += p * pr;
      total += pr;
    }
    EXPECT_NEAR(total, 1.0, 1e-12);
  }
  double worst = 0.0;
  for (const auto& [g, p] : got) {
    const auto it = to.find(g);
    const double expect = it == to.end() ? 0.0 : it->second;
    worst = std::max(worst, std::fabs(p - expect));
  }
  for (const auto& [g, p] : to)
    if (!got.count(g)) worst = std::max(worst, p);
  return worst;
}

struct Shape {
  int32_t N, T;
};

class ExactOperators : public ::testing::TestWithParam<Shape> {};

TEST_P(ExactOperators, EveryModelBothDirectionsEveryS) {
  const Shape sh = GetParam();
  for (const Entered& e : parameter_sets(sh.N, sh.T)) {
    const ModelParams m = stored(e, sh.N, sh.T);
    for (int32_t S = 0; S < sh.T; ++S) {
      // The largest shape is costly to list in full: its ends and middle suffice.
      if (sh.N * sh.T >= 18 && S != 0 && S != sh.T / 2 && S != sh.T - 1) continue;
      EXPECT_LT(deviation(m, sh.N, sh.T, S, true), 1e-12)
          << e.name << " S->S+1 N=" << sh.N << " T=" << sh.T << " S=" << S;
      EXPECT_LT(deviation(m, sh.N, sh.T, S + 1, false), 1e-12)
          << e.name << " S->S-1 N=" << sh.N << " T=" << sh.T << " S=" << (S + 1);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(SmallHexagons, ExactOperators,
                         ::testing::Values(Shape{1, 1}, Shape{1, 5}, Shape{2, 3}, Shape{2, 5},
                                           Shape{3, 4}, Shape{3, 6}),
                         [](const auto& info) {
                           return "N" + std::to_string(info.param.N) + "T" +
                                  std::to_string(info.param.T);
                         });

// The measure itself agrees with MacMahon's count for the uniform model, so
// the exact test above does not compare the operators against a wrong list.
TEST(ExactSupport, FamilyCountsMatchMacMahon) {
  auto macmahon = [](int a, int b, int c) {
    double p = 1.0;
    for (int i = 1; i <= a; ++i)
      for (int j = 1; j <= b; ++j)
        for (int k = 1; k <= c; ++k) p *= double(i + j + k - 1) / double(i + j + k - 2);
    return std::llround(p);
  };
  EXPECT_EQ(testing::all_families(2, 4, 2).size(), 20u);
  EXPECT_EQ(testing::all_families(3, 6, 3).size(), 980u);
  EXPECT_EQ(static_cast<long long>(testing::all_families(3, 5, 2).size()), macmahon(3, 3, 2));
  EXPECT_EQ(static_cast<long long>(testing::all_families(1, 5, 0).size()), 1);
}

// A deliberately wrong weight must be caught: the same machinery with the
// q-Hahn measure taken for the Hahn operator shows a large deviation.
TEST(ExactSupport, DetectsAWrongMeasure) {
  ModelParams hahn;
  hahn.kind = kHahn;
  ModelParams qhahn;
  qhahn.kind = kQHahn;
  qhahn.q = 0.5;
  const int32_t N = 2, T = 4, S = 1;
  const auto from = testing::measure(qhahn, N, T, S);
  const auto to = testing::measure(qhahn, N, T, S + 1);
  std::map<Family, double> got;
  for (const auto& [f, p] : from)
    for (const auto& [g, pr] : testing::transition_row(hahn, N, T, S, true, f)) got[g] += p * pr;
  double worst = 0.0;
  for (const auto& [g, p] : to) worst = std::max(worst, std::fabs(got[g] - p));
  EXPECT_GT(worst, 1e-3);
}

}  // namespace
}  // namespace lozengia
