// Relative weights of the outcomes of one block of free particles, for every
// model and both directions.
//
// Only ratios of consecutive weights are known in closed form; a product of
// ratios over a long block can leave the range of a double (q far from 1, large
// hexagons), and a single ratio can too (q^D with D in the thousands). The
// weights are therefore accumulated with an explicit binary exponent and the
// vector is finally scaled so that its largest entry is 1. Hahn keeps its own
// simple anchoring, which already puts the largest entry at 1.
#pragma once

#include <cstdint>
#include <vector>

#include "core/hexagon.h"

namespace lozengia {

class BlockWeights {
 public:
  BlockWeights(int32_t N, int32_t T, int32_t S, const ModelParams& model);

  // S->S+1 at slice t: the block's particles sit at old heights x0, x0+1, ...,
  // x0+m-2; outcome k (k = 1..m) lets the lowest k-1 of them stay. Fills
  // w[1..m]; w must hold at least m+2 doubles.
  void plus(int32_t t, int32_t x0, int32_t m, double* w);

  // S->S-1 at slice t: the block's paths sit at old heights x0, ..., x0+L-2;
  // outcome k (k = 1..L) lets the lowest k-1 of them move down. Fills w[1..L].
  void minus(int32_t t, int32_t x0, int32_t L, double* w);

  int32_t kind() const { return kind_; }
  // The tables depend on the model only, so one object serves every S.
  void set_S(int32_t S) { S_ = S; }

 private:
  // A number m * 2^e: lets single ratios like q^D exceed the double range.
  struct XD {
    double m;
    int e;
  };
  enum class Step { kRatio, kZero, kInfinite };

  Step ratio_plus(int32_t t, int32_t x, XD& r) const;
  Step ratio_minus(int32_t t, int32_t x, XD& r) const;
  template <class RatioFn>
  void build(int32_t count, double* w, RatioFn ratio);

  XD qpow(int64_t n) const;            // Q^n
  XD one_minus_qpow(int64_t n) const;  // 1 - Q^n
  XD one_plus_kq(int64_t n) const;     // 1 + K Q^n
  XD k_plus_qpow(int64_t n) const;     // K + Q^n

  int32_t N_, T_, S_, kind_;
  double q_, K_, alpha_, beta_;
  double lnq_ = 0.0;
  XD kx_{0.0, 0};
  int64_t pow_offset_ = 0;
  std::vector<XD> pow_;  // Q^n for n = -pow_offset_ .. pow_offset_
  std::vector<int> exp_;  // binary exponents of the entries being built
};

}  // namespace lozengia
