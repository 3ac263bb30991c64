// Relative weights of the outcomes of one block of free particles, for every
// model and both directions.
//
// Only ratios of consecutive weights are known in closed form. A product of
// ratios over a long block can leave the range of a double (q far from 1, large
// hexagons), and a single ratio can too (q^D with D in the thousands), so the
// weights are accumulated with an explicit binary exponent when needed and the
// vector is finally scaled so that its largest entry is 1.
//
// Every power and sine in the ratios has an integer (or half-integer) argument.
// ModelValues computes them on the fly; ModelTables holds the same numbers,
// computed once per hexagon by ModelValues itself, so both give bit-identical
// weights and the tabulated sweep draws exactly the samples of the plain one.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "core/hexagon.h"

namespace lozengia {

// Running products of ratios are renormalised when they leave
// [2^-300, 2^300] (small blocks that would need it go the general way).
inline constexpr double kWeightBig = 0x1p300;
inline constexpr double kWeightSmall = 0x1p-300;

// Whether a running product of ratios has left [2^-300, 2^300] (0 has not).
inline bool out_of_range(double v) {
  const double a = std::fabs(v);
  return a > kWeightBig || (a < kWeightSmall && a != 0.0);
}

// Brings a running product v (times 2^e) back to [1/2, 1) in magnitude,
// keeping the exponent in e. Where this happens decides which entries
// underflow in the final scaling, so every evaluation of a block's weights
// does it at the same places: where out_of_range says so.
inline void bring_back(double& v, int& e) {
  int fe = 0;
  v = std::frexp(v, &fe);
  e += fe;
}

// w * 2^d for d <= 0, rounded once as std::ldexp rounds it, for w = 0 or
// |w| >= 2^-300 (the entries being scaled): by a normal power of two, or below
// -1022 by two, the first exact; past -1100 the result is 0.
inline double scale_down(double w, int d) {
  const auto pow2 = [](int e) {
    return std::bit_cast<double>(static_cast<uint64_t>(1023 + e) << 52);
  };
  if (d >= -1022) return w * pow2(d);
  if (d < -1100) return 0.0;
  return w * pow2(d + 600) * pow2(-600);
}

// A number mantissa * 2^exponent: lets single ratios like q^D exceed the
// double range.
struct ScaledDouble {
  double mantissa;
  int exponent;
};

// Calls f(std::integral_constant<int, Kind>{}) for a model kind: the one place
// the kinds are told apart at run time, so that each kind's code is compiled
// on its own. Both q-Racah kinds share their formulas and run as
// kImaginaryQRacah.
template <class F>
decltype(auto) with_model_kind(ModelKind kind, F&& f) {
  switch (kind) {
    case kHahn:
      return f(std::integral_constant<int, kHahn>{});
    case kQHahn:
      return f(std::integral_constant<int, kQHahn>{});
    case kRacah:
      return f(std::integral_constant<int, kRacah>{});
    case kTrigonometric:
      return f(std::integral_constant<int, kTrigonometric>{});
    default:
      return f(std::integral_constant<int, kImaginaryQRacah>{});
  }
}

// The first entry of largest magnitude of a weight vector w[1..count].
struct Largest {
  double magnitude = 0.0;
  int32_t at = 1;
};
inline Largest first_largest(const double* w, int32_t count) {
  Largest l;
  for (int32_t k = 1; k <= count; ++k) {
    const double a = std::fabs(w[k]);
    l.at = a > l.magnitude ? k : l.at;
    l.magnitude = a > l.magnitude ? a : l.magnitude;
  }
  return l;
}

// Scales w[1..count] so that its first entry of largest magnitude `l` is
// exactly +-1 (signs are kept, so that a negative weight from inadmissible
// parameters is still seen): the others multiplied by the reciprocal of the
// largest, a vector all 0, already scaled or not finite left as it is. Every
// evaluation of every path scales this way (the vector lanes with masks, see
// scale_lanes_by_largest), so they give the same bits.
inline void scale_by_largest(double* w, int32_t count, Largest l) {
  if (l.magnitude == 0.0 || l.magnitude == 1.0 || !std::isfinite(l.magnitude)) return;
  const double inv = 1.0 / l.magnitude;
  for (int32_t k = 1; k <= count; ++k) w[k] *= inv;
  w[l.at] = w[l.at] < 0.0 ? -1.0 : 1.0;
}

// Hahn's ratios of consecutive weights, every factor an integer over an
// integer: outcome k's factor is num(x) / den(x) = num(x) * (1 / den(x)), x
// the old height of the particle between outcomes k-1 and k:
//   S->S+1: (D + x) / (x + 1), D = T - t - S
//   S->S-1: (N + t - x) / (S + N - 1 - x)
// With a = D or N + t and b = 1 or S + N - 1, num = a + step x and
// den = b + step x, step = +1 (S->S+1) or -1 (S->S-1). When the ratios are all
// at most 1 (D < 1, or t < S) the weights are anchored at the first outcome,
// w(1) = 1, w(k) = w(k-1) * f(x0 + k - 2) ("forward"); otherwise at the last,
// w(m) = 1, w(k) = w(k+1) * (den / num)(x0 + k - 1). Either way every weight
// lies in [0, 1] with no rescaling.
struct HahnRatios {
  int64_t a, b;
  int32_t step;
  bool forward;
  static HahnRatios plus(int32_t T, int32_t t, int32_t S) {
    const int64_t D = static_cast<int64_t>(T) - t - S;
    return {D, 1, 1, D < 1};
  }
  static HahnRatios minus(int32_t N, int32_t t, int32_t S) {
    return {static_cast<int64_t>(N) + t, static_cast<int64_t>(S) + N - 1, -1, t < S};
  }
};

// Hahn's weights w[1..m] of a block whose first particle is at height x0, from
// the reciprocals 1/n (values.inv(n)); with Sums, also their running sums
// sums[1..m] and the total, in the same pass where the weights are anchored at
// the first outcome. The one evaluation of Hahn weights: the plain and the
// tabulated sweeps both call it, so their numbers are the same to the bit.
template <bool Sums = false, class Values>
inline double hahn_weights(const Values& values, const HahnRatios& h, int64_t x0, int32_t m,
                           double* w, double* sums = nullptr) {
  const double step = static_cast<double>(h.step);
  double total = 0.0;
  if (h.forward) {
    double wk = 1.0;
    double num = static_cast<double>(h.a + h.step * x0);
    int64_t den = h.b + h.step * x0;
    w[1] = 1.0;
    if constexpr (Sums) {
      sums[1] = 1.0;
      total = 1.0;
    }
    for (int32_t k = 2; k <= m; ++k) {
      wk = wk * (num * values.inv(den));
      w[k] = wk;
      if constexpr (Sums) {
        total = total + wk;
        sums[k] = total;
      }
      num += step;
      den += h.step;
    }
  } else {
    double wk = 1.0;
    const int64_t x_last = x0 + (m - 2);  // the last particle's height
    double num = static_cast<double>(h.b + h.step * x_last);
    int64_t den = h.a + h.step * x_last;
    w[m] = 1.0;
    for (int32_t k = m - 1; k >= 1; --k) {
      wk = wk * (num * values.inv(den));
      w[k] = wk;
      num -= step;
      den -= h.step;
    }
    if constexpr (Sums) {
      for (int32_t k = 1; k <= m; ++k) {
        total += w[k];
        sums[k] = total;
      }
    }
  }
  return total;
}

// The numbers the ratio formulas are built from, for one model on hexagons of
// size up to (N, T).
class ModelValues {
 public:
  ModelValues(int32_t N, int32_t T, const ModelParams& model);

  // range() of a hexagon of size up to (N, T).
  static int64_t range_for(int32_t N, int32_t T) { return 2 * (static_cast<int64_t>(N) + T) + 8; }

  const ModelParams& model() const { return model_; }
  ModelKind kind() const { return model_.kind; }
  // Every integer argument of the formulas lies in [-range(), range()].
  int64_t range() const { return range_; }
  // True when none of the q-powers leaves the plain double range, so that
  // weights can be multiplied without binary exponents.
  bool plain_range() const { return plain_range_; }

  double inv(int64_t n) const { return 1.0 / static_cast<double>(n); }  // n >= 1
  // Racah: n - 2K and its reciprocal.
  double lin(int64_t n) const { return static_cast<double>(n) - two_k_; }
  double inv_lin(int64_t n) const { return 1.0 / lin(n); }
  // Trigonometric: sin(alpha n/2), sin(alpha n/2 + beta), and reciprocals.
  double s1(int64_t n) const;
  double s2(int64_t n) const;
  double inv_s1(int64_t n) const { return 1.0 / s1(n); }
  double inv_s2(int64_t n) const { return 1.0 / s2(n); }
  // q-models: 1 - q^n, 1 + K q^n, K + q^n, and reciprocals.
  ScaledDouble one_minus_q_to(int64_t n) const;
  ScaledDouble one_plus_k_q_to(int64_t n) const;
  ScaledDouble k_plus_q_to(int64_t n) const;
  static ScaledDouble recip(ScaledDouble v) { return {1.0 / v.mantissa, -v.exponent}; }
  ScaledDouble inv_one_minus_q_to(int64_t n) const { return recip(one_minus_q_to(n)); }
  ScaledDouble inv_one_plus_k_q_to(int64_t n) const { return recip(one_plus_k_q_to(n)); }
  ScaledDouble inv_k_plus_q_to(int64_t n) const { return recip(k_plus_q_to(n)); }

  // In the plain range, the ratio of consecutive weights of every model but
  // Hahn is a product of three factors, each a function of one integer, with
  // x the height of the particle that changes and s = t + S:
  //   S->S+1: (up_n(s - x) * up_x(x)) * up_d(s - 2x)
  //   S->S-1: (down_n(t - x) * down_x(S - x)) * down_d(s - 2x)
  // (q-Hahn has no third factor). Tabulated, a ratio is three lookups. up_n
  // and down_n are NaN where the outcomes from there on are impossible, and
  // down_x where the top path cannot come down; a zero denominator makes its
  // factor infinite. So a product that is a finite number is the ratio.
  template <int Kind>
  double up_n(int64_t n) const;
  template <int Kind>
  double up_x(int64_t x) const;
  template <int Kind>
  double up_d(int64_t d) const;
  template <int Kind>
  double down_n(int64_t p) const;
  template <int Kind>
  double down_x(int64_t u) const;
  template <int Kind>
  double down_d(int64_t d) const;

 private:
  ScaledDouble qpow(int64_t n) const;
  int64_t N_ = 0, T_ = 0;
  ModelParams model_;
  int64_t range_ = 0;
  bool plain_range_ = true;
  double two_k_ = 0.0;
  double lnq_ = 0.0;
  double log2q_ = 0.0;
  ScaledDouble kx_{0.0, 0};
};

// The same numbers looked up in tables built once per hexagon.
class ModelTables {
 public:
  ModelTables(int32_t N, int32_t T, const ModelParams& model);
  // The lookups point into the tables' own storage.
  ModelTables(const ModelTables&) = delete;
  ModelTables& operator=(const ModelTables&) = delete;

  // The bytes the tables of this model on an N x T hexagon take, counted
  // from the sizes the constructor gives them (nothing is built).
  static uint64_t bytes_needed(int32_t N, int32_t T, const ModelParams& model);

  const ModelParams& model() const { return values_.model(); }
  ModelKind kind() const { return values_.kind(); }
  bool plain_range() const { return values_.plain_range(); }

  // Reciprocals 1/n for n in [1, range()]; 0 at n = 0 and at the four places
  // before it, so that rows of consecutive entries can be read a few places
  // past a block's last denominator.
  double inv(int64_t n) const { return inv_[static_cast<std::size_t>(n + kInvPad)]; }
  const double* inv_data() const { return inv_.data() + kInvPad; }
  // The factors of the ratios (see ModelValues), each in its own table looked
  // up from its middle (argument 0): a lookup is a single indexed load, and
  // the arguments of neighbouring blocks share cache lines. Built for models
  // other than Hahn in the plain range.
  template <int>
  double up_n(int64_t n) const {
    return r0_[kUpN][n];
  }
  template <int>
  double up_x(int64_t x) const {
    return r0_[kUpX][x];
  }
  template <int>
  double up_d(int64_t d) const {
    return r0_[kUpD][d];
  }
  template <int>
  double down_n(int64_t p) const {
    return r0_[kDownN][p];
  }
  template <int>
  double down_x(int64_t u) const {
    return r0_[kDownX][u];
  }
  template <int>
  double down_d(int64_t d) const {
    return r0_[kDownD][d];
  }
  // The same tables as arrays from argument 0, for the sweeps' vector code,
  // which reads each lane's ratios as a row; and the third factors split by
  // parity (arguments t + S - 2x share the parity of t + S), d(2k + par) at k.
  enum Factor { kUpN, kUpX, kUpD, kDownN, kDownX, kDownD };
  const double* factor_data(Factor f) const { return r0_[f]; }
  const double* third_by_parity(bool plus, int32_t par) const { return h0_[plus][par]; }
  // The q-models' values with exponents, built outside the plain range.
  ScaledDouble one_minus_q_to(int64_t n) const { return x0_[kOneMinusQTo][n]; }
  ScaledDouble inv_one_minus_q_to(int64_t n) const { return x0_[kInvOneMinusQTo][n]; }
  ScaledDouble one_plus_k_q_to(int64_t n) const { return x0_[kOnePlusKQTo][n]; }
  ScaledDouble inv_one_plus_k_q_to(int64_t n) const { return x0_[kInvOnePlusKQTo][n]; }
  ScaledDouble k_plus_q_to(int64_t n) const { return x0_[kKPlusQTo][n]; }
  ScaledDouble inv_k_plus_q_to(int64_t n) const { return x0_[kInvKPlusQTo][n]; }

 private:
  static constexpr int64_t kInvPad = 4;
  // The tables' lengths for range() r: the reciprocals, each factor and
  // each value with an exponent (-r..r), each third factor by parity.
  static std::size_t inv_size(int64_t r) { return static_cast<std::size_t>(r + 1 + kInvPad); }
  static std::size_t factor_size(int64_t r) { return static_cast<std::size_t>(2 * r + 1); }
  static int64_t third_half_range(int64_t r) { return r / 2 + 4; }
  static std::size_t third_size(int64_t r) {
    return static_cast<std::size_t>(2 * third_half_range(r) + 1);
  }
  // How many of the six values with exponents a q-model outside the plain
  // range uses.
  static int scaled_tables(ModelKind kind) { return kind == kQHahn ? 2 : 6; }
  enum { kOneMinusQTo, kInvOneMinusQTo, kOnePlusKQTo, kInvOnePlusKQTo, kKPlusQTo, kInvKPlusQTo };
  template <int Kind>
  void build_factors();
  ModelValues values_;
  std::vector<double> inv_;
  std::vector<double> r_[6];        // the factors of the ratios
  std::vector<ScaledDouble> x_[6];  // q-models: 1-q^n, 1+Kq^n, K+q^n and reciprocals
  std::vector<double> h_[2][2];     // third factors by direction (S->S+1) and parity
  const double* r0_[6] = {};
  const double* h0_[2][2] = {};
  const ScaledDouble* x0_[6] = {};
};

// The ratio of a model other than Hahn from its three factors, in the plain
// range: a finite number only where the ratio is one, and then the ratio (see
// ModelValues). The sweeps compute it this same way.
template <int Kind, bool Plus, class V>
inline double factor_ratio(const V& v, int64_t t, int64_t S, int64_t x) {
  const int64_t s = t + S;
  double r;
  if constexpr (Plus)
    r = v.template up_n<Kind>(s - x) * v.template up_x<Kind>(x);
  else
    r = v.template down_n<Kind>(t - x) * v.template down_x<Kind>(S - x);
  if constexpr (Kind != kQHahn)
    r *= Plus ? v.template up_d<Kind>(s - 2 * x) : v.template down_d<Kind>(s - 2 * x);
  return r;
}

// The weight vectors of the blocks of one sweep (one S).
template <class V>
class BlockWeightsT {
 public:
  // `values` must outlive this object.
  BlockWeightsT(int32_t N, int32_t T, int32_t S, const V& values);

  // S->S+1 at slice t: the block's particles sit at old heights x0, x0+1, ...,
  // x0+m-2; outcome k (k = 1..m) lets the lowest k-1 of them stay. Fills
  // w[1..m]; w must hold at least m+2 doubles.
  void plus(int32_t t, int32_t x0, int32_t m, double* w);

  // S->S-1 at slice t: the block's paths sit at old heights x0, ..., x0+m-2;
  // outcome k (k = 1..m) lets the lowest k-1 of them move down. Fills w[1..m].
  void minus(int32_t t, int32_t x0, int32_t m, double* w);

  ModelKind kind() const { return kind_; }

  // The bytes an evaluation for N particles allocates besides itself.
  static uint64_t bytes_needed(int32_t N) { return exponent_count(N) * sizeof(int); }

  // The same for one model kind (Kind 1 stands for both q-Racah kinds).
  template <int Kind>
  void plus_k(int32_t t, int32_t x0, int32_t m, double* w);
  template <int Kind>
  void minus_k(int32_t t, int32_t x0, int32_t m, double* w);

  // Blocks of at most three particles (m <= 4) in the common case, without a
  // loop: fills w[1..4] (entries past m unused) with exactly the numbers of
  // plus_k/minus_k and returns true, or returns false when the block needs the
  // general evaluation (a value needing an exponent). A used weight that is
  // NaN (an impossible or a certain outcome) needs it too.
  template <int Kind, bool Plus>
  bool small_k(int32_t t, int32_t x0, int32_t m, double* w);

 private:
  template <class RatioFn>
  void build(int32_t count, double* w, RatioFn ratio);
  // Returns whether any value needed an exponent.
  template <class RatioFn>
  bool build_scaled(int32_t count, double* w, RatioFn ratio);

  // Outcomes 1..N+1 and one place past them.
  static std::size_t exponent_count(int32_t N) { return static_cast<std::size_t>(N) + 3; }

  int32_t N_, T_, S_;
  ModelKind kind_;
  const V& v_;
  std::vector<int> exp_;      // binary exponents of the entries being built
  bool long_scaled_ = false;  // the last long block needed exponents
};

extern template class BlockWeightsT<ModelValues>;
extern template class BlockWeightsT<ModelTables>;

namespace detail {
struct ValuesHolder {
  ValuesHolder(int32_t N, int32_t T, const ModelParams& model) : values(N, T, model) {}
  ModelValues values;
};
}  // namespace detail

// The plain evaluation: every value computed when needed.
class BlockWeights : private detail::ValuesHolder, public BlockWeightsT<ModelValues> {
 public:
  BlockWeights(int32_t N, int32_t T, int32_t S, const ModelParams& model)
      : detail::ValuesHolder(N, T, model), BlockWeightsT<ModelValues>(N, T, S, values) {}
};

}  // namespace lozengia
