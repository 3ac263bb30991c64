#include "core/params.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "core/operators.h"

namespace lozengia {

const char* const kModelNames[7] = {
    "",      "Imaginary q-Racah",      "Real q-Racah",           "Trigonometric q-Racah",
    "Racah", "q-Hahn (measure q^vol)", "Hahn (uniform measure)",
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

std::string display_real(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

NewHexagonResult check_new_hexagon(const NewHexagonInput& in) {
  NewHexagonResult r;
  r.message = "Bad Input";
  const int32_t kind = in.kind;
  if (kind < 1 || kind > 6) return r;

  int32_t N = 0, T = 0, S = 0;
  if (!parse_int32(in.N, N) || !parse_int32(in.T, T) || !parse_int32(in.S, S)) return r;
  if (T < S || S < 0 || T < 1 || N < 1) return r;

  double q = 1.0;
  bool q_read = false;
  if (kind == kQHahn || kind == kImaginaryQRacah || kind == kRealQRacah) {
    if (!parse_real(in.q, q) || !(q > 0.0) || q == 1.0) return r;
    // The q-Racah models store 1/q, which a denormal q takes past the double
    // range.
    if (kind != kQHahn && !std::isfinite(1.0 / q)) return r;
    q_read = true;
  }

  double K = 0.0;
  double alpha = 0.0, beta = 0.0;
  if (kind == kRacah) {
    if (!parse_real(in.logq_or_K, K)) return r;
    if (!(K < -static_cast<double>(N) || K >= static_cast<double>(T) / 2.0)) {
      r.message = format_real(K) + " should not lie inside [ " + std::to_string(-N) + " , " +
                  format_real(static_cast<double>(T) / 2.0) + " ]";
      return r;
    }
  } else if (kind == kImaginaryQRacah) {
    double kappa = 0.0;
    if (!parse_real(in.kappa, kappa)) return r;
    K = kappa * kappa;
    // kappa^2 beyond the double range cannot be stored.
    if (K == 0.0 || !std::isfinite(K)) return r;
  } else if (kind == kRealQRacah) {
    double L = 0.0;
    if (!parse_real(in.logq_or_K, L)) return r;
    if (!(L < -static_cast<double>(N) || L > static_cast<double>(T) / 2.0)) {
      r.message = format_real(L) + " should not lie inside [ " + std::to_string(-N) + " , " +
                  format_real(static_cast<double>(T) / 2.0) + " ]";
      return r;
    }
    K = -std::pow(q, 2.0 * L);
    // q^(2L) outside the double range would store -inf or -0, and the model
    // it stands for could not be evaluated.
    if (K == 0.0 || !std::isfinite(K)) return r;
  } else if (kind == kTrigonometric) {
    if (!parse_real(in.alpha, alpha) || !parse_real(in.beta, beta)) return r;
    // alpha = 0 makes every weight sin(beta): all ratios are 0/0.
    if (alpha == 0.0) return r;
    const double a = beta - static_cast<double>(T) * alpha / 2.0;
    const double b = static_cast<double>(N) * alpha + beta;
    // Both ends of the range of alpha*y+beta must lie in one interval
    // [k*Pi, (k+1)*Pi], so the floor is taken (not the truncation, which would
    // let -1 and 1 through across 0, where the weights change sign).
    if (std::floor(a / kPiUsed) != std::floor(b / kPiUsed) ||
        !trigonometric_weights_keep_sign(alpha, a, b, N, T)) {
      r.message = format_real(a) + " and " + format_real(b) +
                  " should lie in the same kPi..(k+1)Pi interval";
      return r;
    }
  }

  const std::string shape = check_shape(N, T);
  if (!shape.empty()) {
    r.message = shape;
    return r;
  }

  r.ok = true;
  r.message.clear();
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

NewHexagonInput new_dialog_prefill(const HexagonParams& cur) {
  NewHexagonInput in;
  const ModelParams& m = cur.model;
  in.kind = m.kind;
  in.N = std::to_string(cur.N);
  in.T = std::to_string(cur.T);
  in.S = std::to_string(cur.S);
  in.q = display_real(m.kind == kQHahn ? m.q : 1.0 / m.q);
  if (m.kind == kRacah) {
    in.logq_or_K = display_real(m.K);
  } else if (m.K < 0.0) {
    const double qe = 1.0 / m.q;
    in.logq_or_K = display_real(std::log(-m.K) / (2.0 * std::log(qe)));
  } else {
    in.kappa = display_real(std::sqrt(m.K));
  }
  in.alpha = display_real(m.alpha);
  in.beta = display_real(m.beta);
  return in;
}

EnabledFields fields_enabled_for(int32_t kind) {
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

std::string parameter_report(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                      const double& q, const double& K, const double& alpha, const double& beta) {
  const std::string shape = std::to_string(N) + " " + std::to_string(T) + " " + std::to_string(S);
  switch (kind) {
    case kImaginaryQRacah:
      return "Imaginary qRacah case. N,T,S,q,kappa = " + shape + " " + display_real(1.0 / q) + " " +
             display_real(std::sqrt(K)) + "i";
    case kRealQRacah: {
      const double qe = 1.0 / q;
      return "Real qRacah case. N,T,S,q,log_q(kappa) = " + shape + " " + display_real(qe) + " " +
             display_real(std::log(-K) / (2.0 * std::log(qe)));
    }
    case kTrigonometric:
      return "Trigonometric qRacah case. N,T,S, alpha,beta = " + shape + " " + display_real(alpha) +
             " " + display_real(beta);
    case kRacah:
      return "Racah case. N,T,S,K = " + shape + " " + display_real(K);
    case kQHahn:
      return "qHahn case. N,T,S,q = " + shape + " " + display_real(q);
    default:
      return "Hahn case. N,T,S = " + shape;
  }
}

}  // namespace lozengia
