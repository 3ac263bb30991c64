#include "core/weights.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>

namespace lozengia {

namespace {

// Past this many binary orders of magnitude, 1 is lost next to K q^n.
constexpr int kNegligible = 60;
// Blocks longer than this may skip the attempt without exponents.
constexpr int32_t kLongBlock = 16;
// Below this bound on |log2| of every q-power, values are kept as plain doubles.
constexpr double kPlainBound = 900.0;

bool is_q_kind(ModelKind kind) {
  return kind == kQHahn || kind == kImaginaryQRacah || kind == kRealQRacah;
}

ScaledDouble flatten(ScaledDouble v, bool plain) {
  if (!plain || v.exponent == 0) return v;
  return {std::ldexp(v.mantissa, v.exponent), 0};
}

enum class Step { kRatio, kZero, kInfinite };

}  // namespace

ModelValues::ModelValues(int32_t N, int32_t T, const ModelParams& model) : model_(model) {
  N_ = N;
  T_ = T;
  range_ = range_for(N, T);
  two_k_ = 2.0 * model.K;
  if (is_q_kind(model.kind)) {
    lnq_ = std::log(model.q);
    log2q_ = std::log2(model.q);
    double bound = static_cast<double>(range_) * std::fabs(log2q_);
    if (model.kind != kQHahn && model.K != 0.0) {
      int e = 0;
      kx_.mantissa = std::frexp(model.K, &e);
      kx_.exponent = e;
      bound += std::fabs(std::log2(std::fabs(model.K)));
    }
    plain_range_ = bound < kPlainBound;
  }
}

double ModelValues::s1(int64_t n) const {
  return std::sin(model_.alpha * static_cast<double>(n) / 2.0);
}
double ModelValues::s2(int64_t n) const {
  return std::sin(model_.alpha * static_cast<double>(n) / 2.0 + model_.beta);
}

ScaledDouble ModelValues::qpow(int64_t n) const {
  ScaledDouble p{};
  const double direct = std::pow(model_.q, static_cast<double>(n));
  if (std::isnormal(direct)) {
    int e = 0;
    p.mantissa = std::frexp(direct, &e);
    p.exponent = e;
  } else {
    const double l = static_cast<double>(n) * log2q_;
    const double fl = std::floor(l);
    p.exponent = static_cast<int>(fl) + 1;
    p.mantissa = std::exp2(l - fl - 1.0);
  }
  return p;
}

ScaledDouble ModelValues::one_minus_q_to(int64_t n) const {
  const double z = static_cast<double>(n) * lnq_;
  if (std::fabs(z) < 0.5) return {-std::expm1(z), 0};  // no cancellation near q = 1
  const ScaledDouble p = qpow(n);
  if (p.exponent > kNegligible) return flatten({-p.mantissa, p.exponent}, plain_range_);
  if (p.exponent < -kNegligible) return {1.0, 0};
  return {1.0 - std::ldexp(p.mantissa, p.exponent), 0};
}

ScaledDouble ModelValues::one_plus_k_q_to(int64_t n) const {
  if (kx_.mantissa == 0.0) return {1.0, 0};
  const ScaledDouble p = qpow(n);
  const ScaledDouble kq{kx_.mantissa * p.mantissa, kx_.exponent + p.exponent};
  if (kq.exponent > kNegligible) return flatten(kq, plain_range_);
  if (kq.exponent < -kNegligible) return {1.0, 0};
  if (kq.mantissa < 0.0) {
    // 1 - |K| q^n can cancel: evaluate it as -expm1(log|K| + n log q).
    const double z = std::log(-model_.K) + static_cast<double>(n) * lnq_;
    if (std::fabs(z) < 0.5) return {-std::expm1(z), 0};
  }
  return {1.0 + std::ldexp(kq.mantissa, kq.exponent), 0};
}

ScaledDouble ModelValues::k_plus_q_to(int64_t n) const {
  // K + q^n = q^n (1 + K q^-n)
  const ScaledDouble p = qpow(n);
  const ScaledDouble f = one_plus_k_q_to(-n);
  return flatten({p.mantissa * f.mantissa, p.exponent + f.exponent}, plain_range_);
}

// The factors of the ratios (see the header). Each groups the numbers of one
// argument; the products are the ones the operators use everywhere, so the
// tables and these functions give the same ratios bit for bit.
template <int Kind>
double ModelValues::up_n(int64_t n) const {
  if (n == T_) return std::nan("");  // D + x = 0
  if constexpr (Kind == kRacah)
    return static_cast<double>(T_ - n) * lin(n);
  else if constexpr (Kind == kTrigonometric)
    return s1(T_ - n) * s2(-n);
  else if constexpr (Kind == kQHahn)
    return model_.q * one_minus_q_to(T_ - n).mantissa;
  else
    return model_.q * one_minus_q_to(T_ - n).mantissa * one_plus_k_q_to(n).mantissa;
}

template <int Kind>
double ModelValues::up_x(int64_t x) const {
  if constexpr (Kind == kRacah)
    return inv(x + 1) * inv_lin(T_ - x - 1);
  else if constexpr (Kind == kTrigonometric)
    return inv_s1(x + 1) * inv_s2(x - T_ + 1);
  else if constexpr (Kind == kQHahn)
    return inv_one_minus_q_to(x + 1).mantissa;
  else
    return inv_one_minus_q_to(x + 1).mantissa * inv_one_plus_k_q_to(T_ - x - 1).mantissa;
}

template <int Kind>
double ModelValues::up_d(int64_t d) const {
  if constexpr (Kind == kRacah)
    return lin(d - 2) * inv_lin(d);
  else if constexpr (Kind == kTrigonometric)
    return s2(2 - d) * inv_s2(-d);
  else if constexpr (Kind == kQHahn)
    return 1.0;
  else
    return one_plus_k_q_to(d - 2).mantissa * inv_one_plus_k_q_to(d).mantissa;
}

template <int Kind>
double ModelValues::down_n(int64_t p) const {
  if (p == -N_) return std::nan("");  // N + t - x = 0
  if constexpr (Kind == kRacah)
    return static_cast<double>(N_ + p) * lin(p - N_);
  else if constexpr (Kind == kTrigonometric)
    return s1(N_ + p) * s2(N_ - p);
  else if constexpr (Kind == kQHahn)
    return model_.q * one_minus_q_to(-(N_ + p)).mantissa;
  else
    return one_minus_q_to(N_ + p).mantissa / model_.q * k_plus_q_to(N_ - p).mantissa;
}

template <int Kind>
double ModelValues::down_x(int64_t u) const {
  if (u == 1 - N_) return std::nan("");  // S + N - 1 - x = 0
  if constexpr (Kind == kRacah)
    return inv(N_ - 1 + u) * inv_lin(u - N_ - 1);
  else if constexpr (Kind == kTrigonometric)
    return inv_s1(N_ - 1 + u) * inv_s2(N_ + 1 - u);
  else if constexpr (Kind == kQHahn)
    return inv_one_minus_q_to(-(N_ - 1 + u)).mantissa;
  else
    return inv_one_minus_q_to(N_ - 1 + u).mantissa * inv_k_plus_q_to(N_ + 1 - u).mantissa;
}

template <int Kind>
double ModelValues::down_d(int64_t d) const {
  if constexpr (Kind == kImaginaryQRacah || Kind == kRealQRacah)
    return k_plus_q_to(2 - d).mantissa * inv_k_plus_q_to(-d).mantissa;
  else
    return up_d<Kind>(d);  // the same factor in both directions
}

template <int Kind>
void ModelTables::build_factors() {
  const int64_t r = values_.range();
  for (auto& f : r_) f.resize(factor_size(r));
  for (int64_t n = -r; n <= r; ++n) {
    const auto i = static_cast<std::size_t>(n + r);
    r_[kUpN][i] = values_.up_n<Kind>(n);
    r_[kUpX][i] = values_.up_x<Kind>(n);
    r_[kUpD][i] = values_.up_d<Kind>(n);
    r_[kDownN][i] = values_.down_n<Kind>(n);
    r_[kDownX][i] = values_.down_x<Kind>(n);
    r_[kDownD][i] = values_.down_d<Kind>(n);
  }
  for (int f = 0; f < 6; ++f) r0_[f] = r_[f].data() + r;
  const int64_t hr = third_half_range(r);
  for (int plus = 0; plus < 2; ++plus) {
    for (int par = 0; par < 2; ++par) {
      auto& h = h_[plus][par];
      h.resize(third_size(r));
      for (int64_t k = -hr; k <= hr; ++k)
        h[static_cast<std::size_t>(k + hr)] =
            plus ? values_.up_d<Kind>(2 * k + par) : values_.down_d<Kind>(2 * k + par);
      h0_[plus][par] = h.data() + hr;
    }
  }
}

ModelTables::ModelTables(int32_t N, int32_t T, const ModelParams& model) : values_(N, T, model) {
  const int64_t r = values_.range();
  // Zero below 1 (never used: Hahn denominators are at least 1).
  inv_.assign(inv_size(r), 0.0);
  for (int64_t n = 1; n <= r; ++n) inv_[static_cast<std::size_t>(n + kInvPad)] = values_.inv(n);
  const ModelKind kind = values_.kind();
  if (kind == kHahn) return;
  if (values_.plain_range()) {
    with_model_kind(kind, [&](auto k) {
      if constexpr (k() != kHahn) build_factors<k()>();
    });
    return;
  }
  // q-models whose powers leave the double range: values with exponents.
  const int used = scaled_tables(kind);
  const std::size_t size = factor_size(r);
  for (int f = 0; f < used; ++f) x_[f].resize(size);
  for (int64_t n = -r; n <= r; ++n) {
    const auto i = static_cast<std::size_t>(n + r);
    x_[kOneMinusQTo][i] = values_.one_minus_q_to(n);
    x_[kInvOneMinusQTo][i] = values_.inv_one_minus_q_to(n);
    if (kind != kQHahn) {
      x_[kOnePlusKQTo][i] = values_.one_plus_k_q_to(n);
      x_[kInvOnePlusKQTo][i] = values_.inv_one_plus_k_q_to(n);
      x_[kKPlusQTo][i] = values_.k_plus_q_to(n);
      x_[kInvKPlusQTo][i] = values_.inv_k_plus_q_to(n);
    }
  }
  for (int f = 0; f < used; ++f) x0_[f] = x_[f].data() + r;
}

uint64_t ModelTables::bytes_needed(int32_t N, int32_t T, const ModelParams& model) {
  const ModelValues values(N, T, model);  // decides the plain range; allocates nothing
  const int64_t r = values.range();
  uint64_t bytes = sizeof(ModelTables) + inv_size(r) * sizeof(double);
  if (model.kind == kHahn) return bytes;
  if (values.plain_range())
    return bytes + (6 * factor_size(r) + 4 * third_size(r)) * sizeof(double);
  return bytes +
         static_cast<uint64_t>(scaled_tables(model.kind)) * factor_size(r) * sizeof(ScaledDouble);
}

namespace {

// Whether a model's values are plain doubles (Racah and trigonometric always).
template <int Kind, class V>
inline bool factors_apply(const V& v) {
  return Kind == kRacah || Kind == kTrigonometric || v.plain_range();
}

// Ratio w(k)/w(k-1) of S->S+1, x the height of the particle that changes from
// moving up to staying. kZero: this and every later outcome is impossible.
// kInfinite: every earlier outcome is (a zero denominator).
template <int Kind, class V>
inline Step ratio_plus(const V& v, int32_t T, int32_t S, int32_t t, int32_t x, ScaledDouble& r) {
  const int64_t D = static_cast<int64_t>(T) - t - S;
  if (D + x == 0) return Step::kZero;
  const int64_t xx = x;
  if constexpr (Kind == kHahn) {
    r = {static_cast<double>(D + x) * v.inv(xx + 1), 0};
  } else {
    if (factors_apply<Kind>(v)) {
      // A zero denominator shows as a factor that is not finite.
      const int64_t s = static_cast<int64_t>(t) + S;
      const double a = v.template up_x<Kind>(xx);
      const double d = Kind == kQHahn ? 1.0 : v.template up_d<Kind>(s - 2 * xx);
      if (!std::isfinite(a) || !std::isfinite(d)) return Step::kInfinite;
      r = {factor_ratio<Kind, true>(v, t, S, xx), 0};
      return Step::kRatio;
    }
    // q-models with exponents.
    const int64_t ts = static_cast<int64_t>(t) + S;
    const ScaledDouble num = v.one_minus_q_to(D + xx);
    const ScaledDouble iden = v.inv_one_minus_q_to(xx + 1);
    double m = v.model().q * num.mantissa * iden.mantissa;
    int e = num.exponent + iden.exponent;
    if constexpr (Kind != kQHahn) {
      const ScaledDouble f1 = v.one_plus_k_q_to(ts - xx), f2 = v.inv_one_plus_k_q_to(T - xx - 1);
      const ScaledDouble f3 = v.one_plus_k_q_to(ts - 2 * xx - 2),
                         f4 = v.inv_one_plus_k_q_to(ts - 2 * xx);
      if (std::isinf(f2.mantissa) || std::isinf(f4.mantissa)) return Step::kInfinite;
      m *= (f1.mantissa * f2.mantissa) * (f3.mantissa * f4.mantissa);
      e += f1.exponent + f2.exponent + f3.exponent + f4.exponent;
    }
    r = {m, e};
  }
  return Step::kRatio;
}

// Ratio p(k)/p(k-1) of S->S-1, x the height of the path that joins the movers.
template <int Kind, class V>
inline Step ratio_minus(const V& v, int32_t N, int32_t S, int32_t t, int32_t x, ScaledDouble& r) {
  const int64_t A = static_cast<int64_t>(N) + t - x;
  const int64_t B = static_cast<int64_t>(S) + N - 1 - x;
  if (B == 0) return Step::kInfinite;  // the top path cannot come down
  if (A == 0) return Step::kZero;
  const int64_t xx = x, n = N, s = S, tt = t;
  if constexpr (Kind == kHahn) {
    r = {static_cast<double>(A) * v.inv(B), 0};
  } else {
    if (factors_apply<Kind>(v)) {
      const double a = v.template down_x<Kind>(s - xx);
      const double d = Kind == kQHahn ? 1.0 : v.template down_d<Kind>(s + tt - 2 * xx);
      if (!std::isfinite(a) || !std::isfinite(d)) return Step::kInfinite;
      r = {factor_ratio<Kind, false>(v, tt, s, xx), 0};
      return Step::kRatio;
    }
    if constexpr (Kind == kQHahn) {
      const ScaledDouble num = v.one_minus_q_to(-A), iden = v.inv_one_minus_q_to(-B);
      r = {v.model().q * num.mantissa * iden.mantissa, num.exponent + iden.exponent};
    } else {
      const ScaledDouble num = v.one_minus_q_to(A), iden = v.inv_one_minus_q_to(B);
      const ScaledDouble g1 = v.k_plus_q_to(n - tt + xx), g2 = v.inv_k_plus_q_to(n - s + 1 + xx);
      const ScaledDouble g3 = v.k_plus_q_to(2 * xx + 2 - s - tt),
                         g4 = v.inv_k_plus_q_to(2 * xx - s - tt);
      if (std::isinf(g2.mantissa) || std::isinf(g4.mantissa)) return Step::kInfinite;
      r = {num.mantissa * iden.mantissa / v.model().q *
               ((g1.mantissa * g2.mantissa) * (g3.mantissa * g4.mantissa)),
           num.exponent + iden.exponent + g1.exponent + g2.exponent + g3.exponent + g4.exponent};
    }
  }
  return Step::kRatio;
}

}  // namespace

template <class V>
BlockWeightsT<V>::BlockWeightsT(int32_t N, int32_t T, int32_t S, const V& values)
    : N_(N), T_(T), S_(S), kind_(values.kind()), v_(values) {
  exp_.resize(exponent_count(N));
}

// Builds w[1..count] from w[1] = 1 and the ratios, then scales the vector so
// that its entry of largest magnitude is 1 (signs are kept, so that a negative
// weight from inadmissible parameters is still seen by the operator). Scaling
// by powers of two is exact, so where the renormalisations happen does not
// change the result.
template <class V>
template <class RatioFn>
void BlockWeightsT<V>::build(int32_t count, double* w, RatioFn ratio) {
  // The common case first: every ratio a plain double and every product within
  // [2^-300, 2^300], so no exponent needs keeping. Anything else starts over
  // with exponents; both give the same numbers when both apply, because
  // scaling by powers of two is exact. That is also why a long block may go
  // straight to the exponents when the last long block needed them: long
  // blocks of one sweep tend to be alike, and the plain attempt would only
  // be thrown away.
  const bool long_block = count > kLongBlock;
  if (v_.plain_range() && !(long_block && long_scaled_)) {
    double v = 1.0;
    w[1] = 1.0;
    bool in_range = true;
    for (int32_t k = 2; k <= count; ++k) {
      ScaledDouble r{1.0, 0};
      const Step s = ratio(k, r);
      if (s == Step::kZero) {
        for (int32_t l = k; l <= count; ++l) w[l] = 0.0;
        break;
      }
      if (s == Step::kInfinite) {
        for (int32_t l = 1; l < k; ++l) w[l] = 0.0;
        v = 1.0;
      } else {
        v *= r.mantissa;
      }
      w[k] = v;
      in_range &= !out_of_range(v);
      if (!in_range) break;  // the exponents are needed: no use going on
    }
    if (in_range) {
      scale_by_largest(w, count, first_largest(w, count));
      return;
    }
  }
  const bool needed = build_scaled(count, w, ratio);
  if (long_block) long_scaled_ = needed;
}

// Builds w[1..count] from w[1] = 1 and the ratios, keeping a binary exponent
// per entry, then scales the vector so that its entry of largest magnitude is
// 1 (signs are kept, so that a negative weight from inadmissible parameters is
// still seen by the operator).
template <class V>
template <class RatioFn>
bool BlockWeightsT<V>::build_scaled(int32_t count, double* w, RatioFn ratio) {
  double v = 1.0;
  int e = 0;
  bool needed = false;  // whether any value needed an exponent
  w[1] = 1.0;
  exp_[1] = 0;
  for (int32_t k = 2; k <= count; ++k) {
    ScaledDouble r{1.0, 0};
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
      v *= r.mantissa;
      e += r.exponent;
      if (out_of_range(v) || r.exponent != 0) {
        bring_back(v, e);
        needed = true;
      }
    }
    w[k] = v;
    exp_[k] = e;
  }
  int emax = INT_MIN;
  for (int32_t k = 1; k <= count; ++k)
    if (w[k] != 0.0) emax = std::max(emax, exp_[k]);
  if (emax == INT_MIN) return needed;
  for (int32_t k = 1; k <= count; ++k) {
    // Only zero entries may have an exponent above the largest.
    const int d = exp_[k] - emax;
    if (d <= 0) w[k] = scale_down(w[k], d);
  }
  scale_by_largest(w, count, first_largest(w, count));
  return needed;
}

template <class V>
template <int Kind>
void BlockWeightsT<V>::plus_k(int32_t t, int32_t x0, int32_t m, double* w) {
  if constexpr (Kind == kHahn) {
    hahn_weights(v_, HahnRatios::plus(T_, t, S_), x0, m, w);
  } else {
    build(m, w, [&](int32_t k, ScaledDouble& r) {
      return ratio_plus<Kind>(v_, T_, S_, t, x0 + k - 2, r);
    });
  }
}

template <class V>
template <int Kind>
void BlockWeightsT<V>::minus_k(int32_t t, int32_t x0, int32_t m, double* w) {
  if constexpr (Kind == kHahn) {
    // The top path may be unable to come down (a ratio 1/0): its reciprocal is
    // then infinite (computed) or 0 (tabulated), as it always was.
    hahn_weights(v_, HahnRatios::minus(N_, t, S_), x0, m, w);
  } else {
    build(m, w, [&](int32_t k, ScaledDouble& r) {
      return ratio_minus<Kind>(v_, N_, S_, t, x0 + k - 2, r);
    });
  }
}

template <class V>
template <int Kind, bool Plus>
bool BlockWeightsT<V>::small_k(int32_t t, int32_t x0, int32_t m, double* w) {
  if (!factors_apply<Kind>(v_)) return false;
  // The three ratios are read whatever the block's length: the tables cover
  // every height, and those past the block are replaced by 1 below. A ratio
  // inside the block that is not a finite number (an impossible or certain
  // outcome) leaves a weight that is out of range or NaN, and the caller
  // then evaluates the block the general way.
  const double r2 = factor_ratio<Kind, Plus>(v_, t, S_, x0);
  const double r3 = factor_ratio<Kind, Plus>(v_, t, S_, x0 + 1);
  const double r4 = factor_ratio<Kind, Plus>(v_, t, S_, x0 + 2);
  const double f3 = m >= 3 ? r3 : 1.0, f4 = m >= 4 ? r4 : 1.0;
  w[1] = 1.0;
  w[2] = w[1] * r2;
  w[3] = w[2] * f3;
  w[4] = w[3] * f4;
  bool in_range = true;
  for (int32_t k = 2; k <= m; ++k) in_range &= !out_of_range(w[k]);
  if (!in_range) return false;
  // Entries past m are left unscaled: the caller clears them.
  scale_by_largest(w, m, first_largest(w, m));
  return true;
}

template <class V>
void BlockWeightsT<V>::plus(int32_t t, int32_t x0, int32_t m, double* w) {
  with_model_kind(kind_, [&](auto kind) { plus_k<kind()>(t, x0, m, w); });
}

template <class V>
void BlockWeightsT<V>::minus(int32_t t, int32_t x0, int32_t m, double* w) {
  with_model_kind(kind_, [&](auto kind) { minus_k<kind()>(t, x0, m, w); });
}

template class BlockWeightsT<ModelValues>;
template class BlockWeightsT<ModelTables>;

#define LOZENGIA_SMALL(Kind)                                                                  \
  template bool BlockWeightsT<ModelTables>::small_k<Kind, true>(int32_t, int32_t, int32_t,    \
                                                                double*);                     \
  template bool BlockWeightsT<ModelTables>::small_k<Kind, false>(int32_t, int32_t, int32_t,   \
                                                                 double*);                    \
  template void BlockWeightsT<ModelTables>::plus_k<Kind>(int32_t, int32_t, int32_t, double*); \
  template void BlockWeightsT<ModelTables>::minus_k<Kind>(int32_t, int32_t, int32_t, double*);
LOZENGIA_SMALL(kQHahn)
LOZENGIA_SMALL(kRacah)
LOZENGIA_SMALL(kTrigonometric)
LOZENGIA_SMALL(kImaginaryQRacah)
#undef LOZENGIA_SMALL

}  // namespace lozengia
