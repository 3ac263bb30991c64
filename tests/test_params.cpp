// The "New" dialog's checks, the stored forms and the parameter report.
#include <gtest/gtest.h>

#include <cmath>

#include "core/params.h"
#include "support/models.h"

namespace lozengia {
namespace {

using testing::hexagon_input;

TEST(NewHexagonChecks, ShapeFields) {
  EXPECT_TRUE(check_new_hexagon(hexagon_input(kHahn, "3", "6", "0")).ok);
  EXPECT_TRUE(check_new_hexagon(hexagon_input(kHahn, "3", "6", "6")).ok);     // S = T
  EXPECT_TRUE(check_new_hexagon(hexagon_input(kHahn, " 3 ", "+6", "2")).ok);  // blanks and a plus sign
  for (auto [n, t, s] : std::vector<std::tuple<const char*, const char*, const char*>>{
           {"0", "6", "2"},
           {"3", "0", "0"},
           {"3", "6", "7"},
           {"3", "6", "-1"},
           {"-3", "6", "2"},
           {"", "6", "2"},
           {"3", "", "2"},
           {"3", "6", ""},
           {"x", "6", "2"},
           {"3", "6", "2x"},
           {"3.5", "6", "2"},
           {"1e3", "6", "2"},
           {"2147483648", "6", "2"},
           {"nan", "6", "2"},
           {"3", "99999999999999999999", "2"},
           {"+", "6", "2"},
           {"-", "6", "2"},
           {"0x10", "6", "2"}}) {
    const NewHexagonResult r = check_new_hexagon(hexagon_input(kHahn, n, t, s));
    EXPECT_FALSE(r.ok) << n << " " << t << " " << s;
    EXPECT_EQ(r.message, "Bad Input");
  }
  for (int32_t kind : {0, 7, -1}) EXPECT_FALSE(check_new_hexagon(hexagon_input(kind)).ok);
  // A shape whose arrays cannot be held is refused with its own message.
  const NewHexagonResult huge = check_new_hexagon(hexagon_input(kHahn, "2000000000", "2000000000", "0"));
  EXPECT_FALSE(huge.ok);
  EXPECT_NE(huge.message.find("too large"), std::string::npos);
}

TEST(NewHexagonChecks, QIsPositiveAndNotOne) {
  for (int32_t kind : {kQHahn, kImaginaryQRacah, kRealQRacah}) {
    for (const char* q : {"1", "1.0", "0", "-0.5", "", "abc", "1e400", "nan", "inf", "0x1p-1"}) {
      NewHexagonInput in = hexagon_input(kind);
      in.q = q;
      in.kappa = "1";
      in.logq_or_K = "10";
      EXPECT_FALSE(check_new_hexagon(in).ok) << kind << " q=" << q;
      EXPECT_EQ(check_new_hexagon(in).message, "Bad Input");
    }
  }
  NewHexagonInput in = hexagon_input(kQHahn);
  in.q = "0.5";
  const NewHexagonResult r = check_new_hexagon(in);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.params.model.q, 0.5);  // q-Hahn stores q as entered
  EXPECT_EQ(r.params.model.K, 0.0);
}

TEST(NewHexagonChecks, RacahIntervalIncludesMinusNButNotHalfT) {
  auto racah = [](const char* K) {
    NewHexagonInput in = hexagon_input(kRacah, "3", "6", "2");
    in.logq_or_K = K;
    return check_new_hexagon(in);
  };
  EXPECT_TRUE(racah("3").ok);  // K = T/2 accepted
  EXPECT_EQ(racah("3").params.model.K, 3.0);
  EXPECT_TRUE(racah("-3.01").ok);
  EXPECT_TRUE(racah("1e12").ok);
  const NewHexagonResult r = racah("-3");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "-3 should not lie inside [ -3 , 3 ]");
  EXPECT_EQ(racah("2.5").message, "2.5 should not lie inside [ -3 , 3 ]");
  EXPECT_EQ(racah("").message, "Bad Input");
}

TEST(NewHexagonChecks, RealQRacahStoresMinusQToTwoL) {
  auto real = [](const char* L) {
    NewHexagonInput in = hexagon_input(kRealQRacah, "3", "6", "2");
    in.q = "0.5";
    in.logq_or_K = L;
    return check_new_hexagon(in);
  };
  EXPECT_FALSE(real("3").ok);  // L = T/2 refused
  EXPECT_EQ(real("3").message, "3 should not lie inside [ -3 , 3 ]");
  EXPECT_FALSE(real("-3").ok);
  const NewHexagonResult r = real("3.5");
  ASSERT_TRUE(r.ok);
  EXPECT_DOUBLE_EQ(r.params.model.K, -std::pow(0.5, 7.0));
  EXPECT_DOUBLE_EQ(r.params.model.q, 2.0);  // 1/q stored
  EXPECT_TRUE(real("-3.5").ok);
  // q^(2L) beyond the double range cannot be stored.
  EXPECT_FALSE(real("-600").ok);
}

TEST(NewHexagonChecks, ImaginaryQRacahStoresKappaSquared) {
  NewHexagonInput in = hexagon_input(kImaginaryQRacah);
  in.q = "2";
  in.kappa = "-1.5";
  NewHexagonResult r = check_new_hexagon(in);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.params.model.K, 2.25);
  EXPECT_EQ(r.params.model.q, 0.5);
  for (const char* k : {"0", "", "1e200", "1e-200"}) {
    in.kappa = k;
    EXPECT_FALSE(check_new_hexagon(in).ok) << k;
  }
}

TEST(NewHexagonChecks, TrigonometricEndsMustShareOneInterval) {
  auto trig = [](const char* a, const char* b, const char* N = "3", const char* T = "6") {
    NewHexagonInput in = hexagon_input(kTrigonometric, N, T, "2");
    in.alpha = a;
    in.beta = b;
    return check_new_hexagon(in);
  };
  // -alpha*T/2+beta = 0.6, alpha*N+beta = 2.4: both in [0, Pi].
  EXPECT_TRUE(trig("0.3", "1.5").ok);
  EXPECT_EQ(trig("0.3", "1.5").params.model.alpha, 0.3);
  EXPECT_EQ(trig("0.3", "1.5").params.model.beta, 1.5);
  // Values on both sides of 0 (a = -1, b = 1) would change the weights' sign.
  const NewHexagonResult across = trig("0.5", "0.5", "1", "3");
  EXPECT_FALSE(across.ok);
  EXPECT_EQ(across.message, "-0.25 and 1 should lie in the same kPi..(k+1)Pi interval");
  // An end exactly on a multiple of the constant belongs to the interval above.
  EXPECT_TRUE(trig("0.4", "0.4", "1", "2").ok);    // a = 0, b = 0.8
  EXPECT_FALSE(trig("0.4", "-0.4", "1", "2").ok);  // a = -0.8, b = 0
  // Negative intervals: [-Pi, 0].
  EXPECT_TRUE(trig("0.2", "-2.5").ok);
  EXPECT_FALSE(trig("0", "1").ok);  // alpha = 0: every weight is sin(beta)
  EXPECT_FALSE(trig("", "1").ok);
  EXPECT_FALSE(trig("0.1", "x").ok);
}

TEST(NewHexagonChecks, KindsWithoutAParameterIgnoreItsField) {
  NewHexagonInput in = hexagon_input(kHahn);
  in.q = "garbage";
  in.kappa = "garbage";
  in.logq_or_K = "garbage";
  const NewHexagonResult r = check_new_hexagon(in);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.params.model.q, 1.0);
  EXPECT_EQ(r.params.model.K, 0.0);
  EXPECT_EQ(r.params.N, 3);
  EXPECT_EQ(r.params.T, 6);
  EXPECT_EQ(r.params.S, 2);
}

TEST(ParameterReport, LinesForEveryKind) {
  HexagonParams start;  // the start-up defaults
  EXPECT_EQ(parameter_report(start), "Hahn case. N,T,S = 50 100 0");
  auto report_of = [](NewHexagonInput in) {
    const NewHexagonResult r = check_new_hexagon(in);
    EXPECT_TRUE(r.ok) << r.message;
    return parameter_report(r.params);
  };
  NewHexagonInput in = hexagon_input(kImaginaryQRacah);
  in.q = "0.9";
  in.kappa = "1.5";
  EXPECT_EQ(report_of(in), "Imaginary qRacah case. N,T,S,q,kappa = 3 6 2 0.9 1.5i");
  in = hexagon_input(kRealQRacah);
  in.q = "0.9";
  in.logq_or_K = "3.7";
  EXPECT_EQ(report_of(in), "Real qRacah case. N,T,S,q,log_q(kappa) = 3 6 2 0.9 3.7");
  in = hexagon_input(kTrigonometric);
  in.alpha = "0.3";
  in.beta = "1.5";
  EXPECT_EQ(report_of(in), "Trigonometric qRacah case. N,T,S, alpha,beta = 3 6 2 0.3 1.5");
  in = hexagon_input(kRacah);
  in.logq_or_K = "12.25";
  EXPECT_EQ(report_of(in), "Racah case. N,T,S,K = 3 6 2 12.25");
  in = hexagon_input(kQHahn);
  in.q = "1.01";
  EXPECT_EQ(report_of(in), "qHahn case. N,T,S,q = 3 6 2 1.01");
}

// What the dialog shows for a stored state reads back to the same state.
TEST(ParameterReport, PrefillRoundTrips) {
  std::vector<NewHexagonInput> inputs;
  NewHexagonInput in = hexagon_input(kImaginaryQRacah);
  in.q = "0.37";
  in.kappa = "2.2";
  inputs.push_back(in);
  in = hexagon_input(kRealQRacah);
  in.q = "1.3";
  in.logq_or_K = "-4.2";
  inputs.push_back(in);
  in = hexagon_input(kTrigonometric);
  in.alpha = "0.3";
  in.beta = "1.5";
  inputs.push_back(in);
  in = hexagon_input(kRacah);
  in.logq_or_K = "-7.5";
  inputs.push_back(in);
  in = hexagon_input(kQHahn);
  in.q = "0.123456789";
  inputs.push_back(in);
  for (const NewHexagonInput& orig : inputs) {
    const NewHexagonResult r = check_new_hexagon(orig);
    ASSERT_TRUE(r.ok);
    NewHexagonInput again = new_dialog_prefill(r.params);
    EXPECT_EQ(again.kind, orig.kind);
    const NewHexagonResult r2 = check_new_hexagon(again);
    ASSERT_TRUE(r2.ok) << r2.message;
    EXPECT_EQ(parameter_report(r2.params), parameter_report(r.params));
    EXPECT_NEAR(r2.params.model.q, r.params.model.q, 1e-14 * std::fabs(r.params.model.q));
    EXPECT_NEAR(r2.params.model.K, r.params.model.K, 1e-12 * std::fabs(r.params.model.K));
  }
  const NewHexagonInput startup = new_dialog_prefill(HexagonParams{});
  EXPECT_EQ(startup.N, "50");
  EXPECT_EQ(startup.T, "100");
  EXPECT_EQ(startup.S, "0");
  EXPECT_EQ(startup.q, "1");
  EXPECT_EQ(startup.kappa, "100");
}

TEST(NewHexagonChecks, EnabledFieldsPerKind) {
  EXPECT_TRUE(fields_enabled_for(kImaginaryQRacah).q && fields_enabled_for(kImaginaryQRacah).kappa);
  EXPECT_FALSE(fields_enabled_for(kImaginaryQRacah).logq_or_K);
  EXPECT_TRUE(fields_enabled_for(kRealQRacah).q && fields_enabled_for(kRealQRacah).logq_or_K);
  EXPECT_TRUE(fields_enabled_for(kTrigonometric).alpha && fields_enabled_for(kTrigonometric).beta);
  EXPECT_TRUE(fields_enabled_for(kRacah).logq_or_K && !fields_enabled_for(kRacah).q);
  EXPECT_TRUE(fields_enabled_for(kQHahn).q && !fields_enabled_for(kQHahn).kappa);
  const EnabledFields h = fields_enabled_for(kHahn);
  EXPECT_FALSE(h.q || h.kappa || h.logq_or_K || h.alpha || h.beta);
}

}  // namespace
}  // namespace lozengia
