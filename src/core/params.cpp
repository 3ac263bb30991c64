#include "core/params.h"

#include <charconv>
#include <cmath>

#include "core/operators.h"

namespace lozengia {

const char* const kModelNames[7] = {
    "",      "Imaginary q-Racah",      "Real q-Racah",           "Trigonometric q-Racah",
    "Racah", "q-Hahn (measure q^vol)", "Hahn (uniform measure)",
};
const char* const kModelTitles[7] = {
    "", "Imaginary q-Racah", "Real q-Racah", "Trigonometric q-Racah", "Racah", "q-Hahn", "Hahn",
};

namespace {

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

constexpr double kPiUsed = 3.14159;  // the dialog's own constant, not the full pi

// The weights are sin(alpha*y + beta) for y from -T/2 to N, computed with the
// full pi. The dialog's check with 3.14159 drifts from the true intervals as
// |beta| grows (by a whole interval near 1e6), and a large beta rounds a range
// of any width to one point; either lets parameters through whose weights
// change sign, giving negative probabilities. So the range must also be
// narrower than pi and lie inside one true interval with a margin that covers
// the rounding of its ends and of every argument.
bool trigonometric_weights_keep_sign(double alpha, double a, double b, int32_t N, int32_t T) {
  constexpr double kPi = 3.14159265358979323846;
  const double span = std::fabs(alpha) * (static_cast<double>(N) + static_cast<double>(T) / 2.0);
  if (!(span < kPi)) return false;
  const double lo = std::min(a, b), hi = std::max(a, b);
  const double k = std::floor(lo / kPi);
  const double lower = k * kPi, upper = (k + 1.0) * kPi;
  // An end exactly on 0 is a weight of exactly 0, as the dialog allows; any
  // other end needs room for rounding, relative to its size.
  return lo >= lower + 1e-9 * std::fabs(lower) && hi <= upper - 1e-9 * std::fabs(upper);
}

}  // namespace

bool parse_int32(const std::string& text, int32_t& out) {
  std::string s = trim(text);
  if (s.empty()) return false;
  // One sign at most: "+-1" is not a number.
  const bool plus = s[0] == '+';
  if (plus) s.erase(0, 1);
  if (s.empty() || s[0] == '+' || (plus && s[0] == '-')) return false;
  int32_t v = 0;
  const char* first = s.data();
  const char* last = s.data() + s.size();
  auto res = std::from_chars(first, last, v);
  if (res.ec != std::errc() || res.ptr != last) return false;
  out = v;
  return true;
}

bool parse_real(const std::string& text, double& out) {
  std::string s = trim(text);
  if (s.empty()) return false;
  for (char& c : s) {
    if (c == 'd' || c == 'D') c = 'e';
    const bool ok =
        (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
    if (!ok) return false;
  }
  // One sign at most: "+-1" is not a number.
  const bool plus = s[0] == '+';
  if (plus) s.erase(0, 1);
  if (s.empty() || s[0] == '+' || (plus && s[0] == '-')) return false;
  double v = 0.0;
  const char* first = s.data();
  const char* last = s.data() + s.size();
  auto res = std::from_chars(first, last, v, std::chars_format::general);
  if (res.ec != std::errc() || res.ptr != last || !std::isfinite(v)) return false;
  out = v;
  return true;
}

std::string display_real(double v) { return format_real(v); }

std::string field_name(NewField f, ModelKind kind) {
  switch (f) {
    case NewField::kN:
      return "N";
    case NewField::kT:
      return "T";
    case NewField::kS:
      return "S";
    case NewField::kQ:
      return "q";
    case NewField::kKappa:
      return "kappa/i";
    case NewField::kLogqOrK:
      return kind == kRacah ? "K" : "log_q(kappa)";
    case NewField::kAlpha:
      return "alpha";
    case NewField::kBeta:
      return "beta";
  }
  return {};
}

std::string field_rule(NewField f, ModelKind kind) {
  const char* const kTrigRule = "; -alpha*T/2+beta and alpha*N+beta in one interval [k*pi, (k+1)*pi]";
  std::string rule;
  switch (f) {
    case NewField::kN:
    case NewField::kT:
      rule = "an integer of at least 1";
      break;
    case NewField::kS:
      rule = "an integer from 0 to T";
      break;
    case NewField::kQ:
      rule = "a positive number other than 1";
      break;
    case NewField::kKappa:
      rule = "a number other than 0";
      break;
    case NewField::kLogqOrK:
      rule = kind == kRacah ? "a number below -N or at least T/2" : "a number below -N or above T/2";
      break;
    case NewField::kAlpha:
      rule = std::string("a number other than 0") + kTrigRule;
      break;
    case NewField::kBeta:
      rule = std::string("a number") + kTrigRule;
      break;
  }
  return field_name(f, kind) + ": " + rule;
}

namespace {

// A refusal: the dialog's own message, then the field and its rule, and what
// the rule's bounds are for this hexagon when they depend on it.
NewHexagonResult refused(const std::string& message, NewField f, ModelKind kind,
                         const std::string& here = {}) {
  NewHexagonResult r;
  r.message = message + "\n" + field_rule(f, kind) + (here.empty() ? "" : "; " + here);
  return r;
}

const char* const kBadInput = "Bad Input";

}  // namespace

NewHexagonResult check_new_hexagon(const NewHexagonInput& in) {
  // A kind made from an unchecked number is refused, not taken for a model.
  const ModelKind kind = in.kind;
  if (!model_kind_numbered(kind)) {
    NewHexagonResult r;
    r.message = std::string(kBadInput) + "\nmodel: one of the six models (kind 1 to 6)";
    return r;
  }

  // The first field that fails is named; which one fails first does not
  // change what is accepted.
  int32_t N = 0, T = 0, S = 0;
  if (!parse_int32(in.N, N) || N < 1) return refused(kBadInput, NewField::kN, kind);
  if (!parse_int32(in.T, T) || T < 1) return refused(kBadInput, NewField::kT, kind);
  if (!parse_int32(in.S, S) || S < 0 || S > T)
    return refused(kBadInput, NewField::kS, kind, "T is " + std::to_string(T));

  double q = 1.0;
  bool q_read = false;
  if (kind == kQHahn || kind == kImaginaryQRacah || kind == kRealQRacah) {
    if (!parse_real(in.q, q) || !(q > 0.0) || q == 1.0)
      return refused(kBadInput, NewField::kQ, kind);
    // The q-Racah models store 1/q, which a denormal q takes past the double
    // range.
    if (kind != kQHahn && !std::isfinite(1.0 / q))
      return refused(kBadInput, NewField::kQ, kind, "1/q must be finite, so q at least 1e-308");
    q_read = true;
  }

  const std::string bounds_racah =
      "here below " + std::to_string(-N) + " or at least " + format_real(T / 2.0);
  const std::string bounds_real =
      "here below " + std::to_string(-N) + " or above " + format_real(T / 2.0);
  auto interval_message = [&](double v) {
    return format_real(v) + " should not lie inside [ " + std::to_string(-N) + " , " +
           format_real(static_cast<double>(T) / 2.0) + " ]";
  };
  double K = 0.0;
  double alpha = 0.0, beta = 0.0;
  if (kind == kRacah) {
    if (!parse_real(in.logq_or_K, K))
      return refused(kBadInput, NewField::kLogqOrK, kind, bounds_racah);
    if (!(K < -static_cast<double>(N) || K >= static_cast<double>(T) / 2.0))
      return refused(interval_message(K), NewField::kLogqOrK, kind, bounds_racah);
  } else if (kind == kImaginaryQRacah) {
    double kappa = 0.0;
    if (!parse_real(in.kappa, kappa) || kappa == 0.0)
      return refused(kBadInput, NewField::kKappa, kind);
    K = kappa * kappa;
    // kappa^2 beyond the double range cannot be stored.
    if (K == 0.0 || !std::isfinite(K))
      return refused(kBadInput, NewField::kKappa, kind,
                     "its square must be a finite number other than 0, so its size from 1e-154 "
                     "to 1e154");
  } else if (kind == kRealQRacah) {
    double L = 0.0;
    if (!parse_real(in.logq_or_K, L))
      return refused(kBadInput, NewField::kLogqOrK, kind, bounds_real);
    if (!(L < -static_cast<double>(N) || L > static_cast<double>(T) / 2.0))
      return refused(interval_message(L), NewField::kLogqOrK, kind, bounds_real);
    K = -std::pow(q, 2.0 * L);
    // q^(2L) outside the double range would store -inf or -0, and the model
    // it stands for could not be evaluated.
    if (K == 0.0 || !std::isfinite(K))
      return refused(kBadInput, NewField::kLogqOrK, kind,
                     "q^(2*log_q(kappa)) must be a finite number other than 0, and is not");
  } else if (kind == kTrigonometric) {
    // alpha = 0 makes every weight sin(beta): all ratios are 0/0.
    if (!parse_real(in.alpha, alpha) || alpha == 0.0)
      return refused(kBadInput, NewField::kAlpha, kind);
    if (!parse_real(in.beta, beta)) return refused(kBadInput, NewField::kBeta, kind);
    const double a = beta - static_cast<double>(T) * alpha / 2.0;
    const double b = static_cast<double>(N) * alpha + beta;
    // Both ends of the range of alpha*y+beta must lie in one interval
    // [k*Pi, (k+1)*Pi], so the floor is taken (not the truncation, which would
    // let -1 and 1 through across 0, where the weights change sign).
    if (std::floor(a / kPiUsed) != std::floor(b / kPiUsed) ||
        !trigonometric_weights_keep_sign(alpha, a, b, N, T)) {
      NewHexagonResult r;
      r.message = format_real(a) + " and " + format_real(b) +
                  " should lie in the same kPi..(k+1)Pi interval\nalpha and beta: "
                  "-alpha*T/2+beta and alpha*N+beta in one interval [k*pi, (k+1)*pi]";
      return r;
    }
  }

  const std::string shape = check_shape(N, T);
  if (!shape.empty()) {
    NewHexagonResult r;
    r.message = shape;
    return r;
  }

  NewHexagonResult r;
  r.ok = true;
  r.params.N = N;
  r.params.T = T;
  r.params.S = S;
  r.params.model.kind = kind;
  r.params.model.K = K;
  r.params.model.alpha = alpha;
  r.params.model.beta = beta;
  r.params.model.q = (kind == kQHahn) ? q : (q_read ? 1.0 / q : 1.0);
  return r;
}

namespace {

// The shortest number x (by significant digits) for which `forward(x)`, the
// check's own conversion, gives exactly `stored`; `approx` is the conversion
// back, which may be off in the last digits. When none is found (a stored
// value no typed number gives), the conversion back itself is shown.
template <class Forward, class Allowed>
std::string shortest_typed(double approx, double stored, Forward forward, Allowed allowed) {
  if (!std::isfinite(approx)) return format_real(approx);
  for (int digits = 1; digits <= 17; ++digits) {
    char buf[64];
    const auto w = std::to_chars(buf, buf + sizeof buf, approx, std::chars_format::general, digits);
    double x = 0.0;
    const auto r = std::from_chars(buf, w.ptr, x);
    if (r.ec == std::errc() && allowed(x) && forward(x) == stored) return format_real(x);
  }
  return format_real(approx);
}

auto any_value = [](double) { return true; };

// q as typed for the q-Racah models, which store 1/q.
std::string typed_q(double stored_q) {
  return shortest_typed(1.0 / stored_q, stored_q, [](double x) { return 1.0 / x; }, any_value);
}

}  // namespace

NewHexagonInput new_dialog_prefill(const HexagonParams& cur) {
  NewHexagonInput in;
  const ModelParams& m = cur.model;
  in.kind = m.kind;
  in.N = std::to_string(cur.N);
  in.T = std::to_string(cur.T);
  in.S = std::to_string(cur.S);
  in.q = m.kind == kQHahn ? display_real(m.q) : typed_q(m.q);
  if (m.kind == kRacah) {
    in.logq_or_K = display_real(m.K);
  } else if (m.K < 0.0) {
    // -(q^(2L)) with q as typed: the shortest L outside [-N, T/2] that gives
    // this K again.
    double qe = 1.0 / m.q;
    parse_real(in.q, qe);
    const double N = cur.N, half_T = cur.T / 2.0;
    in.logq_or_K = shortest_typed(
        std::log(-m.K) / (2.0 * std::log(qe)), m.K,
        [qe](double L) { return -std::pow(qe, 2.0 * L); },
        [N, half_T](double L) { return L < -N || L > half_T; });
  } else {
    in.kappa =
        shortest_typed(std::sqrt(m.K), m.K, [](double x) { return x * x; }, any_value);
  }
  in.alpha = display_real(m.alpha);
  in.beta = display_real(m.beta);
  return in;
}

std::string model_values_text(const HexagonParams& p) {
  const NewHexagonInput v = new_dialog_prefill(p);
  switch (p.model.kind) {
    case kImaginaryQRacah:
      return "q=" + v.q + " kappa=" + v.kappa + "i";
    case kRealQRacah:
      return "q=" + v.q + " log_q(kappa)=" + v.logq_or_K;
    case kTrigonometric:
      return "alpha=" + v.alpha + " beta=" + v.beta;
    case kRacah:
      return "K=" + v.logq_or_K;
    case kQHahn:
      return "q=" + v.q;
    default:
      return {};
  }
}

EnabledFields enabled_fields(ModelKind kind) {
  EnabledFields f;
  switch (kind) {
    case kImaginaryQRacah:
      f.q = f.kappa = true;
      break;
    case kRealQRacah:
      f.q = f.logq_or_K = true;
      break;
    case kTrigonometric:
      f.alpha = f.beta = true;
      break;
    case kRacah:
      f.logq_or_K = true;
      break;
    case kQHahn:
      f.q = true;
      break;
    default:
      break;
  }
  return f;
}

std::string parameter_report(const HexagonParams& p) {
  const std::string shape =
      std::to_string(p.N) + " " + std::to_string(p.T) + " " + std::to_string(p.S);
  // The values as the dialog shows them: what the user typed.
  const NewHexagonInput v = new_dialog_prefill(p);
  switch (p.model.kind) {
    case kImaginaryQRacah:
      return "Imaginary qRacah case. N,T,S,q,kappa = " + shape + " " + v.q + " " + v.kappa + "i";
    case kRealQRacah:
      return "Real qRacah case. N,T,S,q,log_q(kappa) = " + shape + " " + v.q + " " + v.logq_or_K;
    case kTrigonometric:
      return "Trigonometric qRacah case. N,T,S, alpha,beta = " + shape + " " + v.alpha + " " +
             v.beta;
    case kRacah:
      return "Racah case. N,T,S,K = " + shape + " " + v.logq_or_K;
    case kQHahn:
      return "qHahn case. N,T,S,q = " + shape + " " + v.q;
    default:
      return "Hahn case. N,T,S = " + shape;
  }
}

}  // namespace lozengia
