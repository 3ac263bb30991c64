// The "New" dialog's checks, the stored forms and the parameter report.
#include <gtest/gtest.h>

#include <cmath>

#include "core/params.h"
#include "support/models.h"

namespace lozengia {
namespace {

using testing::hexagon_input;

// A refusal keeps the dialog's message on its first line and names the field
// and its rule on the second.
std::string line_of(const std::string& message, int k) {
  std::size_t from = 0;
  for (int i = 0; i < k; ++i) {
    from = message.find('\n', from);
    if (from == std::string::npos) return "<no line " + std::to_string(k) + ">";
    ++from;
  }
  return message.substr(from, message.find('\n', from) - from);
}

TEST(NewHexagonChecks, ShapeFields) {
  EXPECT_TRUE(check_new_hexagon(hexagon_input(kHahn, "3", "6", "0")).ok);
  EXPECT_TRUE(check_new_hexagon(hexagon_input(kHahn, "3", "6", "6")).ok);     // S = T
  EXPECT_TRUE(check_new_hexagon(hexagon_input(kHahn, " 3 ", "+6", "2")).ok);  // blanks and a plus sign
  const std::string N_rule = "N: an integer of at least 1", T_rule = "T: an integer of at least 1",
                    S_rule = "S: an integer from 0 to T; T is 6";
  for (auto [n, t, s, rule] :
       std::vector<std::tuple<const char*, const char*, const char*, std::string>>{
           {"0", "6", "2", N_rule},
           {"3", "0", "0", T_rule},
           {"3", "6", "7", S_rule},
           {"3", "6", "-1", S_rule},
           {"-3", "6", "2", N_rule},
           {"", "6", "2", N_rule},
           {"3", "", "2", T_rule},
           {"3", "6", "", S_rule},
           {"x", "6", "2", N_rule},
           {"3", "6", "2x", S_rule},
           {"3.5", "6", "2", N_rule},
           {"1e3", "6", "2", N_rule},
           {"2147483648", "6", "2", N_rule},
           {"nan", "6", "2", N_rule},
           {"3", "99999999999999999999", "2", T_rule},
           {"+", "6", "2", N_rule},
           {"-", "6", "2", N_rule},
           {"0x10", "6", "2", N_rule}}) {
    const NewHexagonResult r = check_new_hexagon(hexagon_input(kHahn, n, t, s));
    EXPECT_FALSE(r.ok) << n << " " << t << " " << s;
    EXPECT_EQ(r.message, "Bad Input\n" + rule) << n << " " << t << " " << s;
  }
  for (int32_t kind : {0, 7, -1}) {
    const NewHexagonResult r = check_new_hexagon(hexagon_input(static_cast<ModelKind>(kind)));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(line_of(r.message, 0), "Bad Input");
  }
  // A shape whose arrays cannot be held is refused with its own message.
  const NewHexagonResult huge = check_new_hexagon(hexagon_input(kHahn, "2000000000", "2000000000", "0"));
  EXPECT_FALSE(huge.ok);
  EXPECT_NE(huge.message.find("too large"), std::string::npos);
}

// Every refusal of a model's own field names the field as the dialog labels
// it for that model, with its rule and the bounds for this hexagon.
TEST(NewHexagonChecks, MessagesNameTheFieldAndTheRule) {
  const struct {
    ModelKind kind;
    const char *q, *kappa, *logq_or_K, *alpha, *beta;
    const char* message;
  } cases[] = {
      {kQHahn, "", "", "", "", "", "Bad Input\nq: a positive number other than 1"},
      {kQHahn, "-0.5", "", "", "", "", "Bad Input\nq: a positive number other than 1"},
      {kImaginaryQRacah, "4.9e-324", "2", "", "", "",
       "Bad Input\nq: a positive number other than 1; 1/q must be finite, so q at least 1e-308"},
      {kImaginaryQRacah, "0.5", "abc", "", "", "", "Bad Input\nkappa/i: a number other than 0"},
      {kImaginaryQRacah, "0.5", "1e200", "", "", "",
       "Bad Input\nkappa/i: a number other than 0; its square must be a finite number other "
       "than 0, so its size from 1e-154 to 1e154"},
      {kRacah, "", "", "", "", "",
       "Bad Input\nK: a number below -N or at least T/2; here below -3 or at least 3"},
      {kRacah, "", "", "1", "", "",
       "1 should not lie inside [ -3 , 3 ]\nK: a number below -N or at least T/2; here below "
       "-3 or at least 3"},
      {kRealQRacah, "0.5", "", "x", "", "",
       "Bad Input\nlog_q(kappa): a number below -N or above T/2; here below -3 or above 3"},
      {kRealQRacah, "0.5", "", "3", "", "",
       "3 should not lie inside [ -3 , 3 ]\nlog_q(kappa): a number below -N or above T/2; here "
       "below -3 or above 3"},
      {kRealQRacah, "0.5", "", "-600", "", "",
       "Bad Input\nlog_q(kappa): a number below -N or above T/2; q^(2*log_q(kappa)) must be a "
       "finite number other than 0, and is not"},
      {kTrigonometric, "", "", "", "0", "1",
       "Bad Input\nalpha: a number other than 0; -alpha*T/2+beta and alpha*N+beta in one "
       "interval [k*pi, (k+1)*pi]"},
      {kTrigonometric, "", "", "", "0.1", "",
       "Bad Input\nbeta: a number; -alpha*T/2+beta and alpha*N+beta in one interval [k*pi, "
       "(k+1)*pi]"},
      {kTrigonometric, "", "", "", "0.5", "0.5",
       "-1 and 2 should lie in the same kPi..(k+1)Pi interval\nalpha and beta: -alpha*T/2+beta "
       "and alpha*N+beta in one interval [k*pi, (k+1)*pi]"},
  };
  for (const auto& c : cases) {
    NewHexagonInput in = hexagon_input(c.kind);
    in.q = c.q;
    in.kappa = c.kappa;
    in.logq_or_K = c.logq_or_K;
    in.alpha = c.alpha;
    in.beta = c.beta;
    const NewHexagonResult r = check_new_hexagon(in);
    EXPECT_FALSE(r.ok) << c.message;
    EXPECT_EQ(r.message, c.message);
  }
  // The dialog's tooltips give the same rules, the field named per model.
  EXPECT_EQ(field_rule(NewField::kLogqOrK, kRacah), "K: a number below -N or at least T/2");
  EXPECT_EQ(field_rule(NewField::kLogqOrK, kRealQRacah),
            "log_q(kappa): a number below -N or above T/2");
}

TEST(NewHexagonChecks, QIsPositiveAndNotOne) {
  for (ModelKind kind : {kQHahn, kImaginaryQRacah, kRealQRacah}) {
    for (const char* q : {"1", "1.0", "0", "-0.5", "", "abc", "1e400", "nan", "inf", "0x1p-1"}) {
      NewHexagonInput in = hexagon_input(kind);
      in.q = q;
      in.kappa = "1";
      in.logq_or_K = "10";
      EXPECT_FALSE(check_new_hexagon(in).ok) << kind << " q=" << q;
      EXPECT_EQ(line_of(check_new_hexagon(in).message, 0), "Bad Input");
      EXPECT_EQ(line_of(check_new_hexagon(in).message, 1).substr(0, 2), "q:");
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
  EXPECT_EQ(line_of(r.message, 0), "-3 should not lie inside [ -3 , 3 ]");
  EXPECT_EQ(line_of(racah("2.5").message, 0), "2.5 should not lie inside [ -3 , 3 ]");
  EXPECT_EQ(line_of(racah("").message, 0), "Bad Input");
}

TEST(NewHexagonChecks, RealQRacahStoresMinusQToTwoL) {
  auto real = [](const char* L) {
    NewHexagonInput in = hexagon_input(kRealQRacah, "3", "6", "2");
    in.q = "0.5";
    in.logq_or_K = L;
    return check_new_hexagon(in);
  };
  EXPECT_FALSE(real("3").ok);  // L = T/2 refused
  EXPECT_EQ(line_of(real("3").message, 0), "3 should not lie inside [ -3 , 3 ]");
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
  EXPECT_EQ(line_of(across.message, 0), "-0.25 and 1 should lie in the same kPi..(k+1)Pi interval");
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

// A typed value comes back as typed in the report, the status bar's values
// and the dialog, also where the stored form is converted (1/q, kappa^2,
// -(q^(2L))) and converting back is off in the last digits.
TEST(ParameterReport, ShowsTheShortestTextOfTypedValues) {
  const struct {
    ModelKind kind;
    const char *q, *kappa, *logq_or_K, *alpha, *beta;
    const char* values;  // model_values_text
  } cases[] = {
      {kRealQRacah, "0.9", "", "80", "", "", "q=0.9 log_q(kappa)=80"},
      {kRealQRacah, "1.1", "", "-51", "", "", "q=1.1 log_q(kappa)=-51"},
      {kRealQRacah, "0.37", "", "123.456", "", "", "q=0.37 log_q(kappa)=123.456"},
      {kRealQRacah, "0.999", "", "50.5", "", "", "q=0.999 log_q(kappa)=50.5"},
      {kRealQRacah, "1e-3", "", "-50.25", "", "", "q=0.001 log_q(kappa)=-50.25"},
      {kImaginaryQRacah, "0.3", "0.1", "", "", "", "q=0.3 kappa=0.1i"},
      {kImaginaryQRacah, "0.98", "1e-100", "", "", "", "q=0.98 kappa=1e-100i"},
      {kImaginaryQRacah, "7", "3.3", "", "", "", "q=7 kappa=3.3i"},
      {kRacah, "", "", "80.0", "", "", "K=80"},
      {kRacah, "", "", "-50.1", "", "", "K=-50.1"},
      {kQHahn, "0.1", "", "", "", "", "q=0.1"},
      {kTrigonometric, "", "", "", "0.01", "0.7", "alpha=0.01 beta=0.7"},
  };
  for (const auto& c : cases) {
    NewHexagonInput in = hexagon_input(c.kind, "50", "100", "0");
    in.q = c.q;
    in.kappa = c.kappa;
    in.logq_or_K = c.logq_or_K;
    in.alpha = c.alpha;
    in.beta = c.beta;
    const NewHexagonResult r = check_new_hexagon(in);
    ASSERT_TRUE(r.ok) << c.values << ": " << r.message;
    EXPECT_EQ(model_values_text(r.params), c.values);
    const std::string report = parameter_report(r.params);
    EXPECT_NE(report.find("= 50 100 0 "), std::string::npos) << report;
    EXPECT_EQ(report.find("00000"), std::string::npos) << report;
    EXPECT_EQ(report.find("99999"), std::string::npos) << report;
    // OK on the pre-filled dialog stores exactly the same model again.
    const NewHexagonResult again = check_new_hexagon(new_dialog_prefill(r.params));
    ASSERT_TRUE(again.ok) << c.values;
    EXPECT_EQ(again.params.model.q, r.params.model.q) << c.values;
    EXPECT_EQ(again.params.model.K, r.params.model.K) << c.values;
    EXPECT_EQ(again.params.model.alpha, r.params.model.alpha) << c.values;
  }
  NewHexagonInput in = hexagon_input(kRealQRacah, "50", "100", "0");
  in.q = "0.9";
  in.logq_or_K = "80";
  EXPECT_EQ(parameter_report(check_new_hexagon(in).params),
            "Real qRacah case. N,T,S,q,log_q(kappa) = 50 100 0 0.9 80");
}

TEST(NewHexagonChecks, EnabledFieldsPerKind) {
  EXPECT_TRUE(enabled_fields(kImaginaryQRacah).q && enabled_fields(kImaginaryQRacah).kappa);
  EXPECT_FALSE(enabled_fields(kImaginaryQRacah).logq_or_K);
  EXPECT_TRUE(enabled_fields(kRealQRacah).q && enabled_fields(kRealQRacah).logq_or_K);
  EXPECT_TRUE(enabled_fields(kTrigonometric).alpha && enabled_fields(kTrigonometric).beta);
  EXPECT_TRUE(enabled_fields(kRacah).logq_or_K && !enabled_fields(kRacah).q);
  EXPECT_TRUE(enabled_fields(kQHahn).q && !enabled_fields(kQHahn).kappa);
  const EnabledFields h = enabled_fields(kHahn);
  EXPECT_FALSE(h.q || h.kappa || h.logq_or_K || h.alpha || h.beta);
}

}  // namespace
}  // namespace lozengia
