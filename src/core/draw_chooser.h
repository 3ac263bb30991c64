// How a block's outcome is drawn from its weights.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

#include "core/message_sink.h"
#include "core/sweep.h"

namespace lozengia {

// Text of the last of the three warning lines written after a sweep in which
// something numerically suspicious happened.
extern const char* const kBugReportLine;

// The walk over the cumulative weights reads the entry after the last outcome
// before it stops (when the threshold lies past the total): a sentinel is
// stored there first. Its value never becomes an outcome's chance, but the
// S->S-1 report of a suspicious vector lists it, and it must not look
// negative to the S->S+1 check, so these are the values it has always had.
inline constexpr double kPlusWalkSentinel = 100000.0;
inline constexpr double kMinusWalkSentinel = 10000.0;
template <bool Plus>
inline void place_walk_sentinel(double* w, int32_t outcomes) {
  w[outcomes + 1] = Plus ? kPlusWalkSentinel : kMinusWalkSentinel;
}

// Chooses a block's outcome from its weights the way the operators do: one
// single-precision draw u per block, threshold (1 - u) * Z, a walk over the
// cumulative weights, and the warnings of a suspicious vector. Rng is
// RandomSource or ParkMiller (anything with next_float()).
template <class Rng>
class DrawChooser {
 public:
  DrawChooser(int32_t N, int32_t T, int32_t S, double q, Rng& rng, MessageSink& sink)
      : N_(N), T_(T), S_(S), q_(q), rng_(rng), sink_(sink) {}
  int32_t choose_plus(double* w, int32_t m, const BlockInfo& info);
  int32_t choose_minus(double* w, int32_t m, const BlockInfo& info);
  // The walk alone, for a vector already summed to Z and checked, the sentinel
  // in place after its last entry, and the draw u made.
  int32_t pick_plus(const double* w, int32_t m, double Z, float u);
  int32_t pick_minus(const double* w, int32_t m, double Z, float u);
  // The fallback walk of every evaluation: the sentinel placed after w[m],
  // then the walk of S->S+1 (Plus) or S->S-1 for the total Z and draw u.
  template <bool Plus>
  int32_t walk(double* w, int32_t m, double Z, float u) {
    place_walk_sentinel<Plus>(w, m);
    return Plus ? pick_plus(w, m, Z, u) : pick_minus(w, m, Z, u);
  }
  Rng& rng() { return rng_; }
  // Writes the three closing lines if a warning was raised during the sweep.
  void finish();
  bool warned() const { return warned_; }

 private:
  int32_t past_end(const double* w, int32_t count, float ratio);

  int32_t N_, T_, S_;
  double q_;
  Rng& rng_;
  MessageSink& sink_;
  bool warned_ = false;
};

namespace detail {

inline std::string weight_vector(const double* w, int32_t count) {
  std::ostringstream os;
  for (int32_t k = 1; k <= count; ++k) os << (k > 1 ? " " : "") << format_real(w[k]);
  return os.str();
}

inline int32_t index_of_largest(const double* w, int32_t count) {
  int32_t best = 1;
  for (int32_t k = 2; k <= count; ++k)
    if (w[k] > w[best]) best = k;
  return best;
}

// The walk ran past the last outcome (the single-precision threshold rounded
// above the double total). The last outcome is the fallback, unless it is
// impossible: then the last possible one, so that an outcome of weight zero is
// never applied.
inline int32_t fallback_outcome(const double* w, int32_t count) {
  for (int32_t k = count; k >= 1; --k)
    if (w[k] > 0.0) return k;
  return count;
}

}  // namespace detail

template <class Rng>
int32_t DrawChooser<Rng>::choose_plus(double* w, int32_t m, const BlockInfo& info) {
  double Z = 0.0;
  for (int32_t k = 1; k <= m; ++k) {
    if (!(w[k] <= 1.0e8)) {
      std::ostringstream os;
      os << "S= " << S_ << " i= " << info.i << " pivot= " << detail::index_of_largest(w, m)
         << " j= " << info.j << " D= " << info.D << " old(i,t)= " << info.old_i
         << " h= 0 old(j,t)= " << info.old_j << "\n w: " << detail::weight_vector(w, m);
      sink_.overflow_report(os.str());
      warned_ = true;
    }
    Z += w[k];
  }
  return walk<true>(w, m, Z, rng_.next_float());
}

template <class Rng>
int32_t DrawChooser<Rng>::pick_plus(const double* w, int32_t m, double Z, float u) {
  const float Zf = static_cast<float>(Z);
  const float v = (1.0f - u) * Zf;
  int32_t k = 1;
  double cum = w[1];
  while (cum < static_cast<double>(v) && k <= m) {
    ++k;
    cum += w[k];
    if (w[k] < 0.0) {
      sink_.line("Negative probability");
      warned_ = true;
    }
  }
  if (k > m) k = past_end(w, m, v / Zf);
  return k;
}

template <class Rng>
int32_t DrawChooser<Rng>::choose_minus(double* w, int32_t m, const BlockInfo& info) {
  double Z = 0.0;
  bool report = false;
  for (int32_t k = 1; k <= m; ++k) {
    if (!(w[k] <= 1.0e8) || w[k] < 0.0) report = true;
    Z += w[k];
  }
  place_walk_sentinel<false>(w, m);  // the report lists it
  if (report) {
    std::ostringstream os;
    os << "S= " << S_ << " i= " << info.i << " pivot= " << detail::index_of_largest(w, m)
       << " j= " << info.j << " T-t-S= " << info.D << " old(i,t)= " << info.old_i
       << " h= 0 old(j,t)= " << info.old_j << " p: " << detail::weight_vector(w, m + 1);
    sink_.line(os.str());
    warned_ = true;
  }
  return walk<false>(w, m, Z, rng_.next_float());
}

template <class Rng>
int32_t DrawChooser<Rng>::pick_minus(const double* w, int32_t m, double Z, float u) {
  u = static_cast<float>(static_cast<double>(1.0f - u) * Z);
  int32_t k = 1;
  double cum = w[1];
  while (cum < static_cast<double>(u) && k <= m) {
    ++k;
    cum += w[k];
  }
  if (k > m) k = past_end(w, m, u / static_cast<float>(Z));
  return k;
}

// The walk ran past the last outcome: the warning when the threshold was not
// simply rounded up to the total, and the fallback outcome.
template <class Rng>
int32_t DrawChooser<Rng>::past_end(const double* w, int32_t count, float ratio) {
  if (ratio < 1.0f) {
    sink_.line("Strange warning while applying Markovian Operator. " +
               format_real(static_cast<double>(ratio)));
    warned_ = true;
  }
  return detail::fallback_outcome(w, count);
}

template <class Rng>
void DrawChooser<Rng>::finish() {
  if (!warned_) return;
  sink_.line("Current parameters: N= " + std::to_string(N_) + " T= " + std::to_string(T_) +
             " S= " + std::to_string(S_) + " q= " + format_real(q_));
  sink_.line("Arithmetical warning. Results may be wrong");
  sink_.line(kBugReportLine);
}

}  // namespace lozengia
