#include "core/weights.h"

#include <algorithm>
#include <cmath>

namespace lozengia {

namespace {

// Past this many binary orders of magnitude, 1 is lost next to K q^n.
constexpr int kNegligible = 60;
// Running products are renormalised when they leave [2^-300, 2^300].
constexpr double kBig = 0x1p300;
constexpr double kSmall = 0x1p-300;

}  // namespace

BlockWeights::BlockWeights(int32_t N, int32_t T, int32_t S, const ModelParams& model)
    : N_(N), T_(T), S_(S), kind_(model.kind), q_(model.q), K_(model.K),
      alpha_(model.alpha), beta_(model.beta) {
  exp_.resize(static_cast<std::size_t>(N) + 3);
  const bool qmodel = kind_ == kQHahn || kind_ == kImaginaryQRacah || kind_ == kRealQRacah;
  if (qmodel) {
    lnq_ = std::log(q_);
    // Every exponent of the ratios lies within 2(N+T)+4 of zero.
    pow_offset_ = 2 * (static_cast<int64_t>(N) + T) + 8;
    pow_.resize(static_cast<std::size_t>(2 * pow_offset_ + 1));
    const double log2q = std::log2(q_);
    for (int64_t n = -pow_offset_; n <= pow_offset_; ++n) {
      XD& p = pow_[static_cast<std::size_t>(n + pow_offset_)];
      const double direct = std::pow(q_, static_cast<double>(n));
      if (std::isnormal(direct)) {
        int e = 0;
        p.m = std::frexp(direct, &e);
        p.e = e;
      } else {
        const double l = static_cast<double>(n) * log2q;
        const double fl = std::floor(l);
        p.e = static_cast<int>(fl) + 1;
        p.m = std::exp2(l - fl - 1.0);
      }
    }
    if (K_ != 0.0 && (kind_ == kImaginaryQRacah || kind_ == kRealQRacah)) {
      int e = 0;
      kx_.m = std::frexp(K_, &e);
      kx_.e = e;
    }
  }
}

BlockWeights::XD BlockWeights::qpow(int64_t n) const {
  return pow_[static_cast<std::size_t>(n + pow_offset_)];
}

BlockWeights::XD BlockWeights::one_minus_qpow(int64_t n) const {
  const double z = static_cast<double>(n) * lnq_;
  if (std::fabs(z) < 0.5) return {-std::expm1(z), 0};  // no cancellation near q = 1
  const XD p = qpow(n);
  if (p.e > kNegligible) return {-p.m, p.e};
  if (p.e < -kNegligible) return {1.0, 0};
  return {1.0 - std::ldexp(p.m, p.e), 0};
}

BlockWeights::XD BlockWeights::one_plus_kq(int64_t n) const {
  if (kx_.m == 0.0) return {1.0, 0};
  const XD p = qpow(n);
  const XD kq{kx_.m * p.m, kx_.e + p.e};
  if (kq.e > kNegligible) return kq;
  if (kq.e < -kNegligible) return {1.0, 0};
  if (kq.m < 0.0) {
    // 1 - |K| q^n can cancel: evaluate it as -expm1(log|K| + n log q).
    const double z = std::log(-K_) + static_cast<double>(n) * lnq_;
    if (std::fabs(z) < 0.5) return {-std::expm1(z), 0};
  }
  return {1.0 + std::ldexp(kq.m, kq.e), 0};
}

BlockWeights::XD BlockWeights::k_plus_qpow(int64_t n) const {
  // K + q^n = q^n (1 + K q^-n)
  const XD p = qpow(n);
  const XD f = one_plus_kq(-n);
  return {p.m * f.m, p.e + f.e};
}

// Ratio w(k)/w(k-1) of S->S+1 with x the height of the particle that changes
// from moving up to staying. kZero: this and every later outcome is impossible.
BlockWeights::Step BlockWeights::ratio_plus(int32_t t, int32_t x, XD& r) const {
  const int64_t D = static_cast<int64_t>(T_) - t - S_;
  if (D + x == 0) return Step::kZero;
  const double dx = x, dD = static_cast<double>(D), dt = t, dS = S_, dT = T_;
  switch (kind_) {
    case kHahn:
      r = {(dD + dx) / (dx + 1.0), 0};
      return Step::kRatio;
    case kRacah: {
      const double twoK = 2.0 * K_;
      const double d2 = dT - dx - 1.0 - twoK;
      const double d3 = dS + dt - 2.0 * dx - twoK;
      if (d2 == 0.0 || d3 == 0.0) return Step::kInfinite;
      r = {(dD + dx) / (dx + 1.0) * ((dt + dS - dx - twoK) / d2) *
               ((dS + dt - 2.0 * dx - 2.0 - twoK) / d3),
           0};
      return Step::kRatio;
    }
    case kTrigonometric: {
      const double a = alpha_, b = beta_;
      const double d1 = std::sin(a * (dx + 1.0) / 2.0);
      const double d2 = std::sin(a * (dx - dT + 1.0) / 2.0 + b);
      const double d3 = std::sin(a * (2.0 * dx - dt - dS) / 2.0 + b);
      if (d1 == 0.0 || d2 == 0.0 || d3 == 0.0) return Step::kInfinite;
      r = {std::sin(a * (dD + dx) / 2.0) / d1 * (std::sin(a * (dx - dS - dt) / 2.0 + b) / d2) *
               (std::sin(a * (2.0 * dx - dt - dS + 2.0) / 2.0 + b) / d3),
           0};
      return Step::kRatio;
    }
    default: {  // q-Hahn and both q-Racah kinds (K = 0 for q-Hahn)
      const XD num = one_minus_qpow(D + x);
      const XD den = one_minus_qpow(static_cast<int64_t>(x) + 1);
      double m = q_ * num.m / den.m;
      int e = num.e - den.e;
      if (kind_ != kQHahn && kx_.m != 0.0) {
        const int64_t ts = static_cast<int64_t>(t) + S_;
        const XD f1 = one_plus_kq(ts - x);
        const XD f2 = one_plus_kq(static_cast<int64_t>(T_) - x - 1);
        const XD f3 = one_plus_kq(ts - 2 * static_cast<int64_t>(x) - 2);
        const XD f4 = one_plus_kq(ts - 2 * static_cast<int64_t>(x));
        if (f2.m == 0.0 || f4.m == 0.0) return Step::kInfinite;
        m *= (f1.m / f2.m) * (f3.m / f4.m);
        e += f1.e - f2.e + f3.e - f4.e;
      }
      r = {m, e};
      return Step::kRatio;
    }
  }
}

// Ratio p(k)/p(k-1) of S->S-1 with x the height of the path that joins the
// movers. kInfinite: every earlier outcome is impossible.
BlockWeights::Step BlockWeights::ratio_minus(int32_t t, int32_t x, XD& r) const {
  const int64_t A = static_cast<int64_t>(N_) + t - x;
  const int64_t B = static_cast<int64_t>(S_) + N_ - 1 - x;
  if (B == 0) return Step::kInfinite;
  if (A == 0) return Step::kZero;
  const double dx = x, dt = t, dS = S_, dN = N_;
  switch (kind_) {
    case kHahn:
      r = {static_cast<double>(A) / static_cast<double>(B), 0};
      return Step::kRatio;
    case kRacah: {
      const double twoK = 2.0 * K_;
      const double d2 = dN + 1.0 + dx - dS + twoK;
      const double d3 = 2.0 * dx - dS - dt + twoK;
      if (d2 == 0.0 || d3 == 0.0) return Step::kInfinite;
      r = {static_cast<double>(A) / static_cast<double>(B) * ((dN + dx - dt + twoK) / d2) *
               ((2.0 * dx + 2.0 - dS - dt + twoK) / d3),
           0};
      return Step::kRatio;
    }
    case kTrigonometric: {
      const double a = alpha_, b = beta_;
      const double d1 = std::sin(a * static_cast<double>(B) / 2.0);
      const double d2 = std::sin(a * (dN + 1.0 + dx - dS) / 2.0 + b);
      const double d3 = std::sin(a * (2.0 * dx - dt - dS) / 2.0 + b);
      if (d1 == 0.0 || d2 == 0.0 || d3 == 0.0) return Step::kInfinite;
      r = {std::sin(a * static_cast<double>(A) / 2.0) / d1 *
               (std::sin(a * (dN + dx - dt) / 2.0 + b) / d2) *
               (std::sin(a * (2.0 * dx + 2.0 - dt - dS) / 2.0 + b) / d3),
           0};
      return Step::kRatio;
    }
    case kQHahn: {
      const XD num = one_minus_qpow(-A);
      const XD den = one_minus_qpow(-B);
      r = {q_ * num.m / den.m, num.e - den.e};
      return Step::kRatio;
    }
    default: {  // both q-Racah kinds
      const XD num = one_minus_qpow(A);
      const XD den = one_minus_qpow(B);
      double m = num.m / (q_ * den.m);
      int e = num.e - den.e;
      const int64_t n = N_, s = S_, tt = t, xx = x;
      const XD g1 = k_plus_qpow(n - tt + xx);
      const XD g2 = k_plus_qpow(n - s + 1 + xx);
      const XD g3 = k_plus_qpow(2 * xx + 2 - s - tt);
      const XD g4 = k_plus_qpow(2 * xx - s - tt);
      if (g2.m == 0.0 || g4.m == 0.0) return Step::kInfinite;
      m *= (g1.m / g2.m) * (g3.m / g4.m);
      e += g1.e - g2.e + g3.e - g4.e;
      r = {m, e};
      return Step::kRatio;
    }
  }
}

// Builds w[1..count] from w[1] = 1 and the ratios, then scales the vector so
// that its entry of largest magnitude is 1 (signs are kept, so that a negative
// weight from inadmissible parameters is still seen by the operator).
template <class RatioFn>
void BlockWeights::build(int32_t count, double* w, RatioFn ratio) {
  double v = 1.0;
  int e = 0;
  bool rescaled = false;
  w[1] = 1.0;
  exp_[1] = 0;
  for (int32_t k = 2; k <= count; ++k) {
    XD r{1.0, 0};
    const Step s = ratio(k, r);
    if (s == Step::kZero) {
      for (int32_t l = k; l <= count; ++l) {
        w[l] = 0.0;
        exp_[l] = e;
      }
      break;
    }
    if (s == Step::kInfinite) {
      for (int32_t l = 1; l < k; ++l) w[l] = 0.0;
      v = 1.0;
      e = 0;
    } else {
      v *= r.m;
      e += r.e;
      const double a = std::fabs(v);
      if (a > kBig || (a < kSmall && a != 0.0) || r.e != 0) {
        int fe = 0;
        v = std::frexp(v, &fe);
        e += fe;
        rescaled = true;
      }
    }
    w[k] = v;
    exp_[k] = e;
  }
  if (rescaled) {
    int emax = INT32_MIN;
    for (int32_t k = 1; k <= count; ++k)
      if (w[k] != 0.0) emax = std::max(emax, exp_[k]);
    if (emax == INT32_MIN) return;
    for (int32_t k = 1; k <= count; ++k) {
      const int d = exp_[k] - emax;
      w[k] = d < -1100 ? 0.0 : std::ldexp(w[k], d);
    }
  }
  double big = 0.0;
  int32_t at = 1;
  for (int32_t k = 1; k <= count; ++k) {
    if (std::fabs(w[k]) > big) {
      big = std::fabs(w[k]);
      at = k;
    }
  }
  if (big != 0.0 && big != 1.0 && std::isfinite(big)) {
    const double inv = 1.0 / big;
    for (int32_t k = 1; k <= count; ++k) w[k] *= inv;
    w[at] = w[at] < 0.0 ? -1.0 : 1.0;
  }
}

void BlockWeights::plus(int32_t t, int32_t x0, int32_t m, double* w) {
  if (kind_ == kHahn) {
    // Ratios (D+x)/(x+1) are all above 1 when D >= 1 and at most 1 when D < 1,
    // so anchoring at the far end (D >= 1) or at the start keeps every weight
    // in [0, 1].
    const double D = static_cast<double>(T_) - t - S_;
    if (D < 1.0) {
      w[1] = 1.0;
      for (int32_t k = 2; k <= m; ++k) {
        const double x = static_cast<double>(x0) + (k - 2);
        w[k] = (D + x) * w[k - 1] / (x + 1.0);
      }
    } else {
      w[m] = 1.0;
      for (int32_t k = 1; k <= m - 1; ++k) {
        const double x = static_cast<double>(x0) + (m - 1 - k);
        w[m - k] = (x + 1.0) * w[m - k + 1] / (D + x);
      }
    }
    return;
  }
  build(m, w, [&](int32_t k, XD& r) { return ratio_plus(t, x0 + k - 2, r); });
}

void BlockWeights::minus(int32_t t, int32_t x0, int32_t L, double* w) {
  if (kind_ == kHahn) {
    // (N+t-x)/(S+N-1-x) is at most 1 for t < S and at least 1 (or infinite:
    // the top path cannot move down) for t >= S.
    const double dN = N_, dS = S_, dt = t;
    if (t < S_) {
      w[1] = 1.0;
      for (int32_t k = 2; k <= L; ++k) {
        const double x = static_cast<double>(x0) + (k - 2);
        w[k] = w[k - 1] * ((dN + dt - x) / (dS + dN - x - 1.0));
      }
    } else {
      w[L] = 1.0;
      for (int32_t k = L - 1; k >= 1; --k) {
        const double x = static_cast<double>(x0) + (k - 1);
        w[k] = w[k + 1] * ((dS + dN - x - 1.0) / (dN + dt - x));
      }
    }
    return;
  }
  build(L, w, [&](int32_t k, XD& r) { return ratio_minus(t, x0 + k - 2, r); });
}

}  // namespace lozengia
