#include "core/fast_sweep.h"

#include <algorithm>
#include <cmath>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <thread>
#include <vector>

// Vector instructions are used where the compiler targets x86-64; every use
// has a portable equivalent giving the same bits, which LOZENGIA_PORTABLE
// selects (to build and test it on x86-64 too).
#if defined(__SSE2__) && !defined(LOZENGIA_PORTABLE)
#define LOZENGIA_SSE2 1
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__) && !defined(LOZENGIA_PORTABLE)
#define LOZENGIA_LIST_AVX2 1
#include <immintrin.h>
#endif

#include "core/draw_chooser.h"

namespace lozengia {

std::shared_ptr<const ModelTables> tables_for(int32_t N, int32_t T, const ModelParams& model) {
  struct Cached {
    int32_t N = -1, T = -1;
    ModelParams model;
    std::shared_ptr<const ModelTables> tables;
  };
  thread_local Cached cache;
  const ModelParams& m = cache.model;
  if (!cache.tables || cache.N != N || cache.T != T || m.kind != model.kind ||
      m.q != model.q || m.K != model.K || m.alpha != model.alpha || m.beta != model.beta) {
    cache.tables = std::make_shared<const ModelTables>(N, T, model);
    cache.N = N;
    cache.T = T;
    cache.model = model;
  }
  return cache.tables;
}

namespace {

// The state of one sweep in progress.
struct Sweep {
  Sweep(const ModelTables& tables, int32_t N, int32_t T, int32_t S, ParkMiller& rng,
        MessageSink& sink)
      : N(N), T(T), S(S), tables(tables), bw(N, T, S, tables),
        // The unrolled small-block paths write w[1..4] whatever m is, so a
        // single path (N = 1) still needs five places.
        w(static_cast<std::size_t>(N) + 5), cum(static_cast<std::size_t>(N) + 5),
        ex(static_cast<std::size_t>(N) + 5), ratio(static_cast<std::size_t>(N) + 8),
        starts(static_cast<std::size_t>(N) + 8), link((static_cast<std::size_t>(N) + 7) / 8 * 8 + 16, 0),
        free((static_cast<std::size_t>(N) + 7) / 8 * 8, 0),
        states(static_cast<std::size_t>(N) + 24), draws(static_cast<std::size_t>(N) + 24),
        spans(static_cast<std::size_t>(N) + 24), longs(static_cast<std::size_t>(N) + 4),
        ends(static_cast<std::size_t>(N) + 4), medium(static_cast<std::size_t>(N) + 4),
        finished(static_cast<std::size_t>(N) + 4),
        rng(rng),
        chooser(N, T, S, tables.model().q, rng, sink) {}
  int32_t N, T, S;
  const ModelTables& tables;
  BlockWeightsT<ModelTables> bw;
  std::vector<double> w, cum;
  std::vector<int32_t> ex;  // binary exponents of the weights being built
  std::vector<double> ratio;  // ratios of a long block's consecutive weights
  std::vector<int32_t> starts;  // first particles of the blocks of a slice
  std::vector<uint8_t> link;  // particle i links to i+1 in a block
  std::vector<uint8_t> free;  // particle i is free
  // The generator's states of a slice, states[g] before the draw of block g,
  // and the draws themselves (one per block, in block order).
  std::vector<uint32_t> states;
  std::vector<float> draws;
  std::vector<float> spans;  // 1 - draw, the factor of the walk's threshold
  std::vector<int32_t> longs;  // blocks the grouped code does again after the groups
  std::vector<int32_t> ends;  // their last particles (long blocks), or -1
  std::vector<int32_t> medium;  // places in `longs` of blocks of four to seven particles
  std::vector<uint8_t> finished;  // per place in `longs`: drawn and written already
  ParkMiller& rng;
  DrawChooser<ParkMiller> chooser;
};

// The walk's threshold for a draw u (given as span = 1 - u, in single
// precision) and a total z, rounded as the chooser rounds it: in single
// precision in S->S+1, the product in double and the result in single in
// S->S-1.
template <bool Plus>
inline double threshold(float span, double z) {
  if constexpr (Plus)
    return static_cast<double>(span * static_cast<float>(z));
  else
    return static_cast<double>(static_cast<float>(static_cast<double>(span) * z));
}

// How many of the non-decreasing sums c[1..m] (m >= 1) lie below v: up to a
// few dozen sums all compared (independent comparisons, made several at a
// time), past that by a search without branches (each step waits for the
// one before).
inline int32_t count_below(const double* c, int32_t m, double v) {
  if (m <= 48) {
    int32_t below = 0;
    for (int32_t k = 1; k <= m; ++k) below += c[k] < v;
    return below;
  }
  const double* base = c + 1;
  int32_t len = m;
  while (len > 1) {
    const int32_t half = len / 2;
    base = base[half] < v ? base + half : base;
    len -= half;
  }
  return static_cast<int32_t>(base - (c + 1)) + (*base < v);
}

// Outcome of a block from its weights w[1..m], as the chooser's walk picks it:
// the first k whose cumulative weight reaches the threshold. With non-negative
// weights the cumulative sums do not decrease, so k - 1 is the number of sums
// below the threshold, counted without a branch per outcome. Vectors that need
// a message (a negative, huge or undefined weight; a threshold past the total)
// go to the chooser, which draws and walks exactly the same way.
template <bool Plus>
inline int32_t pick_summed(Sweep& s, double* w, int32_t m, const BlockInfo& info, int32_t g,
                           double z, bool bad) {
  if (bad) {
    // The chooser draws the block's number itself.
    s.rng.set_state(s.states[static_cast<std::size_t>(g)]);
    return Plus ? s.chooser.choose_plus(w, m, info) : s.chooser.choose_minus(w, m, info);
  }
  const float u = s.draws[static_cast<std::size_t>(g)];
  const double v = threshold<Plus>(s.spans[static_cast<std::size_t>(g)], z);
  const int32_t below = count_below(s.cum.data(), m, v);
  if (below < m) return below + 1;
  w[m + 1] = Plus ? 100000.0 : 10000.0;
  return Plus ? s.chooser.pick_plus(w, m, z, u) : s.chooser.pick_minus(w, m, z, u);
}

// Whether a weight needs the chooser's message: negative, huge or undefined.
inline bool needs_message(double x) { return !((x >= 0.0) & (x <= 1.0e8)); }

template <bool Plus>
inline int32_t pick(Sweep& s, double* w, int32_t m, const BlockInfo& info, int32_t g) {
  double* c = s.cum.data();
  double z = 0.0;
  bool bad = false;
  for (int32_t k = 1; k <= m; ++k) {
    const double x = w[k];
    z += x;
    c[k] = z;
    bad |= needs_message(x);
  }
  return pick_summed<Plus>(s, w, m, info, g, z, bad);
}

// Positions of the set bytes of a group of eight start flags, by the group's
// bit mask, and how many there are: a group's starts are written with one
// table row and no branch.
struct StartTable {
  int32_t pos[256][8];
  uint8_t count[256];
  constexpr StartTable() : pos{}, count{} {
    for (int mask = 0; mask < 256; ++mask) {
      int c = 0;
      for (int b = 0; b < 8; ++b)
        if (mask & (1 << b)) pos[mask][c++] = b;
      count[mask] = static_cast<uint8_t>(c);
    }
  }
};
constexpr StartTable kStarts{};

// Lists the blocks of a slice without a branch per particle, and writes the
// forced particles. Free in S->S+1: old height equal to the new height of the
// slice before; in S->S-1: one above it. A free particle links to the next
// when that one is free too and their new heights in the slice before are
// consecutive; a block is a maximal chain of links, listed by its first
// particle. Listing the starts first lets the blocks be weighed and drawn
// without waiting for the previous block to be measured. The two passes over
// the particles have no dependency between particles and are vectorised; the
// starts are then read eight flags at a time.
//
// The body is compiled twice, for any x86-64 and for processors with AVX2,
// whose wider vectors and integer maximum make the two passes about half as
// long; the version is chosen once by what the processor supports. It calls
// no out-of-line function, so nothing compiled for AVX2 can be shared with
// the other version.
template <bool Plus>
[[gnu::always_inline]] inline int32_t list_core(int32_t N, const int32_t* __restrict o,
                                                const int32_t* __restrict prev,
                                                int32_t* __restrict n, int32_t* starts,
                                                uint8_t* __restrict link,
                                                uint8_t* __restrict fr) {
  // Forced: up (or staying) in S->S+1, staying (or down) in S->S-1.
  for (int32_t i = 0; i < N; ++i) {
    if constexpr (Plus)
      n[i] = o[i] > prev[i] ? o[i] : prev[i];
    else
      n[i] = o[i] < prev[i] + 1 ? o[i] : prev[i] + 1;
    fr[i] = Plus ? (o[i] == prev[i]) : (o[i] == prev[i] + 1);
  }
  for (int32_t i = 0; i + 1 < N; ++i)
    link[i] = fr[i] & fr[i + 1] & (prev[i + 1] == prev[i] + 1);
  link[N - 1] = 0;
  // A block starts at a free particle that the one below does not link to.
  // Eight particles at a time: their free flags, less the links shifted up
  // by one particle. `fr` and `link` are zero past N up to a multiple of 8.
  int32_t cnt = 0;
  uint64_t carry = 0;  // the link of the particle below the group
  for (int32_t base = 0; base < N; base += 8) {
    uint64_t f, l;
    std::memcpy(&f, fr + base, 8);
    std::memcpy(&l, link + base, 8);
    const uint64_t bytes = f & ~((l << 8) | carry);
    carry = l >> 56;
    // One bit per flag byte: byte b of `bytes` (0 or 1) lands in bit 56 + b.
    const unsigned mask = static_cast<unsigned>((bytes * 0x0102040810204080ull) >> 56);
    // All eight places are written (the list has room for them); only the
    // first `count` are starts.
    using Four = int32_t __attribute__((vector_size(16)));
    Four lo, hi;
    std::memcpy(&lo, kStarts.pos[mask], 16);
    std::memcpy(&hi, kStarts.pos[mask] + 4, 16);
    lo += base;
    hi += base;
    std::memcpy(starts + cnt, &lo, 16);
    std::memcpy(starts + cnt + 4, &hi, 16);
    cnt += kStarts.count[mask];
  }
  return cnt;
}

template <bool Plus>
int32_t list_plain(int32_t N, const int32_t* o, const int32_t* prev, int32_t* n, int32_t* starts,
                   uint8_t* link, uint8_t* fr) {
  return list_core<Plus>(N, o, prev, n, starts, link, fr);
}

#ifdef LOZENGIA_LIST_AVX2
template <bool Plus>
__attribute__((target("avx2"))) int32_t list_avx2(int32_t N, const int32_t* o,
                                                  const int32_t* prev, int32_t* n,
                                                  int32_t* starts, uint8_t* link, uint8_t* fr) {
  return list_core<Plus>(N, o, prev, n, starts, link, fr);
}

const bool kHaveAvx2 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}();
#endif
std::atomic<bool> g_allow_avx2{true};

// Whether the AVX2 versions run: the processor has it and tests allow it.
inline bool wide_vectors() {
#ifdef LOZENGIA_LIST_AVX2
  return kHaveAvx2 && g_allow_avx2.load(std::memory_order_relaxed);
#else
  return false;
#endif
}

template <bool Plus>
inline int32_t list_blocks(Sweep& s, const int32_t* o, const int32_t* prev, int32_t* n) {
#ifdef LOZENGIA_LIST_AVX2
  if (wide_vectors())
    return list_avx2<Plus>(s.N, o, prev, n, s.starts.data(), s.link.data(), s.free.data());
#endif
  return list_plain<Plus>(s.N, o, prev, n, s.starts.data(), s.link.data(), s.free.data());
}

// 48271^8 mod (2^31 - 1): eight steps of the generator in one product.
constexpr uint32_t kJump8 = [] {
  uint64_t a = 1;
  for (int k = 0; k < 8; ++k) a = a * ParkMiller::kMultiplier % ParkMiller::kModulus;
  return static_cast<uint32_t>(a);
}();

// The draws of a slice's cnt blocks, made before the blocks are weighed: one
// per block, in block order, exactly the generator's. A state is the one eight
// steps before it times 48271^8, reduced as a single step reduces, so after
// eight single steps the rest are made four at a time in two independent
// chains; the floats are converted four at a time. The generator itself is
// moved past the last draw when the slice is done.
inline void make_draws(Sweep& s, int32_t cnt) {
  uint32_t* st = s.states.data();
  float* u = s.draws.data();
  float* span = s.spans.data();
  uint32_t x = s.rng.state();
  st[0] = x;
  const int32_t first = std::min(cnt, 8);
  for (int32_t g = 1; g <= first; ++g) st[g] = x = ParkMiller::advance(x);
#ifdef LOZENGIA_SSE2
  // The buffers have room for the groups running past cnt.
  const __m128i p = _mm_set1_epi64x(ParkMiller::kModulus);
  const __m128i a = _mm_set1_epi32(static_cast<int>(kJump8));
  auto reduce = [&p](__m128i prod) {
    const __m128i r = _mm_add_epi64(_mm_and_si128(prod, p), _mm_srli_epi64(prod, 31));
    const __m128i t = _mm_sub_epi64(r, p);
    // All ones where r - p is negative (its high half copied to both halves).
    const __m128i below = _mm_shuffle_epi32(t, _MM_SHUFFLE(3, 3, 1, 1));
    return _mm_or_si128(_mm_and_si128(below, r), _mm_andnot_si128(below, t));
  };
  for (int32_t g = 9; g <= cnt; g += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(st + g - 8));
    const __m128i even = reduce(_mm_mul_epu32(v, a));
    const __m128i odd = reduce(_mm_mul_epu32(_mm_srli_epi64(v, 32), a));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(st + g),
                     _mm_or_si128(even, _mm_slli_epi64(odd, 32)));
  }
  // States are below 2^31, so they convert as signed integers; the scaling by
  // 2^-31 is exact, so the float is rounded once, as to_float rounds it.
  const __m128 scale = _mm_set1_ps(0x1p-31f), top = _mm_set1_ps(0.99999994f);
  const __m128 one = _mm_set1_ps(1.0f);
  for (int32_t g = 0; g < cnt; g += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(st + g + 1));
    const __m128 f = _mm_min_ps(_mm_mul_ps(_mm_cvtepi32_ps(v), scale), top);
    _mm_storeu_ps(u + g, f);
    _mm_storeu_ps(span + g, _mm_sub_ps(one, f));
  }
#else
  for (int32_t g = first + 1; g <= cnt; ++g) st[g] = x = ParkMiller::advance(x);
  for (int32_t g = 0; g < cnt; ++g) {
    u[g] = ParkMiller::to_float(st[g + 1]);
    span[g] = 1.0f - u[g];
  }
#endif
}

template <int Kind>
inline void weights_plus(Sweep& s, int32_t t, int32_t x0, int32_t m, double* w) {
  if constexpr (Kind == kHahn) {
    // The same products as the plain weights, on the table of reciprocals.
    const int64_t D = static_cast<int64_t>(s.T) - t - s.S;
    if (D < 1) {
      w[1] = 1.0;
      for (int32_t k = 2; k <= m; ++k) {
        const int64_t x = static_cast<int64_t>(x0) + (k - 2);
        w[k] = w[k - 1] * (static_cast<double>(D + x) * s.tables.inv(x + 1));
      }
    } else {
      w[m] = 1.0;
      for (int32_t k = m - 1; k >= 1; --k) {
        const int64_t x = static_cast<int64_t>(x0) + (k - 1);
        w[k] = w[k + 1] * (static_cast<double>(x + 1) * s.tables.inv(D + x));
      }
    }
  } else {
    s.bw.template plus_k<Kind>(t, x0, m, w);
  }
}

template <int Kind>
inline void weights_minus(Sweep& s, int32_t t, int32_t x0, int32_t L, double* w) {
  if constexpr (Kind == kHahn) {
    const int64_t n = s.N, sS = s.S, tt = t;
    if (t < s.S) {
      w[1] = 1.0;
      for (int32_t k = 2; k <= L; ++k) {
        const int64_t x = static_cast<int64_t>(x0) + (k - 2);
        w[k] = w[k - 1] * (static_cast<double>(n + tt - x) * s.tables.inv(sS + n - 1 - x));
      }
    } else {
      w[L] = 1.0;
      for (int32_t k = L - 1; k >= 1; --k) {
        const int64_t x = static_cast<int64_t>(x0) + (k - 1);
        w[k] = w[k + 1] * (static_cast<double>(sS + n - 1 - x) * s.tables.inv(n + tt - x));
      }
    }
  } else {
    s.bw.template minus_k<Kind>(t, x0, L, w);
  }
}

// Small blocks have at most four outcomes, and everything that depends on
// their number m is looked up rather than computed, so that the compiler
// makes no branch the processor could mispredict. keep[m][k] keeps the
// weight of outcome k when the block has it (k <= m) and clears it
// otherwise, as a bit mask (an unused value that is not finite is cleared
// all the same); last[m][k] is 1 at the last outcome.
struct SmallMasks {
  uint64_t keep[5][5];
  double last[5][5];
  constexpr SmallMasks() : keep{}, last{} {
    for (int m = 0; m < 5; ++m) {
      for (int k = 0; k < 5; ++k) {
        keep[m][k] = k <= m ? ~uint64_t{0} : 0;
        last[m][k] = k == m ? 1.0 : 0.0;
      }
    }
  }
};
constexpr SmallMasks kSmallBlock{};

inline double keep(double w, int32_t m, int k) {
  return std::bit_cast<double>(std::bit_cast<uint64_t>(w) & kSmallBlock.keep[m][k]);
}

// The draw and walk of a block of at most three particles (m <= 4 outcomes)
// with weights w1..w4, non-negative up to m and 0 past it, without a branch
// on m: returns the number of particles that stay (S->S+1) or come down
// (S->S-1). Adding the zero weights leaves the total as it is, and the
// cumulative sums past m equal the total, which a threshold within the total
// never exceeds. The numbers are the chooser's, operation for operation.
template <bool Plus>
inline int32_t small_pick(Sweep& s, double w1, double w2, double w3, double w4, int32_t m,
                          int32_t g) {
  const double c2 = w1 + w2, c3 = c2 + w3, z = c3 + w4;
  const double v = threshold<Plus>(s.spans[static_cast<std::size_t>(g)], z);
#ifdef LOZENGIA_SSE2
  // The four comparisons two at a time: each true one is -1 in its lane.
  const __m128d vv = _mm_set1_pd(v);
  const __m128i t = _mm_add_epi64(_mm_castpd_si128(_mm_cmplt_pd(_mm_set_pd(c2, w1), vv)),
                                  _mm_castpd_si128(_mm_cmplt_pd(_mm_set_pd(z, c3), vv)));
  const int32_t below =
      -static_cast<int32_t>(_mm_cvtsi128_si64(_mm_add_epi64(t, _mm_unpackhi_epi64(t, t))));
#else
  const int32_t below = (w1 < v) + (c2 < v) + (c3 < v) + (z < v);
#endif
  if (below < m) [[likely]]
    return below;
  const float u = s.draws[static_cast<std::size_t>(g)];
  // The threshold rounded above the total: the chooser's fallback (it draws
  // nothing).
  double* w = s.w.data();
  w[1] = w1;
  w[2] = w2;
  w[3] = w3;
  w[4] = w4;
  w[m + 1] = Plus ? 100000.0 : 10000.0;
  return (Plus ? s.chooser.pick_plus(w, m, z, u) : s.chooser.pick_minus(w, m, z, u)) - 1;
}

// Writes the block of m - 1 particles (at most three) from particle i, whose
// lowest `below` particles stay (S->S+1) or come down (S->S-1). The old
// heights of a block are consecutive, x = o[i] upwards, so nothing is read.
// Three writes clamped to the block, a repeated write storing the same value.
template <bool Plus>
inline void write_small(int32_t x, int32_t* n, int32_t i, int32_t a1, int32_t a2,
                        int32_t below) {
  const int32_t k1 = a1, k2 = a1 + a2;
  if constexpr (Plus) {
    n[i] = x + (below == 0);
    n[i + k1] = x + k1 + (k1 >= below);
    n[i + k2] = x + k2 + (k2 >= below);
  } else {
    n[i] = x - (below > 0);
    n[i + k1] = x + k1 - (k1 < below);
    n[i + k2] = x + k2 - (k2 < below);
  }
}

// Writes a block i..j whose particles below `edge` stay (S->S+1) or come down
// (S->S-1). The listing already gave every free particle its old height, so
// only the particles that move are written; with `whole`, every particle is
// (for a block whose particles may already have been overwritten).
template <bool Plus>
inline void write_large(const int32_t* o, int32_t* n, int32_t i, int32_t j, int32_t edge,
                        bool whole = false) {
  if (whole)
    for (int32_t p = i; p <= j; ++p) n[p] = Plus ? o[p] + (p >= edge) : o[p] - (p < edge);
  else if constexpr (Plus)
    for (int32_t p = edge; p <= j; ++p) n[p] = o[p] + 1;
  else
    for (int32_t p = i; p < edge; ++p) n[p] = o[p] - 1;
}

// A block of four particles or more, and any block the loop-free paths decline:
// weights, draw and walk the general way, with the block's own draw.
template <int Kind, bool Plus>
inline void general_block(Sweep& s, int32_t t, const int32_t* o, int32_t* n, int32_t i,
                          int32_t j, int32_t g, bool whole = false) {
  const int32_t m = j - i + 2;
  double* w = s.w.data();
  if constexpr (Plus)
    weights_plus<Kind>(s, t, o[i], m, w);
  else
    weights_minus<Kind>(s, t, o[i], m, w);
  const int32_t k =
      pick<Plus>(s, w, m, BlockInfo{t, i + 1, j + 1, s.T - t - s.S, o[i], o[j]}, g);
  write_large<Plus>(o, n, i, j, i + k - 1, whole);
}

// Where the vector code reads the factor tables of slice t: rows of four
// from one below the lowest entry used at height 0, so that, shifted by a
// height x, entry 3 - j of a falling row (entry j of a rising one) belongs to
// height x + j. The first and third factors fall with x, the second rises in
// S->S+1 and falls in S->S-1; the third is read from its table for the parity
// of t + S.
template <bool Plus>
struct FactorRows {
  FactorRows(const ModelTables& tb, int32_t t, int32_t S) {
    using F = ModelTables::Factor;
    const int32_t st = t + S, par = st & 1;
    n = tb.factor_data(Plus ? F::kUpN : F::kDownN) + ((Plus ? st : t) - 3);
    x = tb.factor_data(Plus ? F::kUpX : F::kDownX) + (Plus ? 0 : S - 3);
    d = tb.third_by_parity(Plus, par) + ((st - par) / 2 - 3);
  }
  static constexpr int32_t kXDir = Plus ? 1 : -1;
  const double* n;
  const double* x;
  const double* d;
};

// The ratios r[0..count) of heights x0, x0+1, ... from the factor tables
// (factor_ratio's products); returns whether all are finite numbers. With
// AVX2, four at a time: rows read from each table, the falling ones reversed.
template <int Kind, bool Plus>
[[gnu::always_inline]] inline bool factor_ratios_plain(const ModelTables& tb, int32_t t,
                                                       int32_t S, int64_t x0, int32_t count,
                                                       double* r) {
  bool finite = true;
  for (int32_t k = 0; k < count; ++k) {
    r[k] = factor_ratio<Kind, Plus>(tb, t, S, x0 + k);
    finite &= std::fabs(r[k]) <= std::numeric_limits<double>::max();  // false for NaN
  }
  return finite;
}

#ifdef LOZENGIA_LIST_AVX2
template <int Kind, bool Plus>
__attribute__((always_inline, target("avx2"))) inline bool factor_ratios_avx2(
    const ModelTables& tb, int32_t t, int32_t S, int64_t x0, int32_t count, double* r) {
  const FactorRows<Plus> rows(tb, t, S);
  const double* fn = rows.n - x0;
  const double* fx = rows.x + rows.kXDir * x0;
  const double* fd = rows.d - x0;
  const __m256d limit = _mm256_set1_pd(std::numeric_limits<double>::max());
  const __m256d sign = _mm256_set1_pd(-0.0);
  __m256d ok = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  int32_t k = 0;
  for (; k + 4 <= count; k += 4) {
    const __m256d nv = _mm256_permute4x64_pd(_mm256_loadu_pd(fn - k), 0x1B);
    const __m256d xv = Plus ? _mm256_loadu_pd(fx + k)
                            : _mm256_permute4x64_pd(_mm256_loadu_pd(fx - k), 0x1B);
    __m256d rv = _mm256_mul_pd(nv, xv);
    if constexpr (Kind != kQHahn)
      rv = _mm256_mul_pd(rv, _mm256_permute4x64_pd(_mm256_loadu_pd(fd - k), 0x1B));
    _mm256_storeu_pd(r + k, rv);
    ok = _mm256_and_pd(ok, _mm256_cmp_pd(_mm256_andnot_pd(sign, rv), limit, _CMP_LE_OQ));
  }
  const bool finite = _mm256_movemask_pd(ok) == 15;
  return factor_ratios_plain<Kind, Plus>(tb, t, S, x0 + k, count - k, r + k) && finite;
}
#endif

// Blocks with a single possible outcome, common at the edges of a slice:
// in S->S+1 the lowest particle at the lowest height it may have (its ratio,
// the block's first, is 0: every later outcome is impossible), so all move
// up; in S->S-1 the top path at the greatest height (its ratio, the block's
// last, as no particle lies above it, is infinite: every earlier outcome is
// impossible), unless an impossible outcome (a ratio at N + t - x = 0) came
// before it, so all come down. Whatever the other ratios, the weights are
// then 1 and 0s, and the walk picks that outcome for any draw (which lies in
// (0, 1)). Writes the block and returns true for those.
template <bool Plus>
inline bool certain(const Sweep& s, int32_t t, const int32_t* o, int32_t i, int32_t j) {
  const int64_t x0 = o[i], x_last = o[j], nt = static_cast<int64_t>(s.N) + t;
  return Plus ? static_cast<int64_t>(s.T) - t - s.S + x0 == 0
              : x_last == static_cast<int64_t>(s.S) + s.N - 1 && !(x0 <= nt && nt < x_last);
}

template <bool Plus>
inline bool certain_block(const Sweep& s, int32_t t, const int32_t* o, int32_t* n, int32_t i,
                          int32_t j, bool whole) {
  if (!certain<Plus>(s, t, o, i, j)) return false;
  write_large<Plus>(o, n, i, j, Plus ? i : j + 1, whole);
  return true;
}

// A block of four particles or more of a model other than Hahn, in the plain
// range (Racah and trigonometric always): the ratios straight from the factor
// tables, and the products, exponents, scaling and walk of the general
// evaluation, with its numbers: a running product that leaves [2^-300, 2^300]
// is brought back by frexp, its exponent kept, exactly as there (where it is
// brought back decides which entries underflow in the final scaling). A ratio
// that is not a finite number sends the block the general way (blocks with a
// single possible outcome are done before, by certain_block).
//
// The block's ratios are in s.ratio already, `finite` telling whether all are
// finite numbers. Compiled for any x86-64 and for AVX2, like the listing (see
// list_core).
template <int Kind, bool Plus>
[[gnu::always_inline]] inline void factor_large_core(Sweep& s, int32_t t, const int32_t* o,
                                                     int32_t* n, int32_t i, int32_t j,
                                                     int32_t g, bool whole, bool finite) {
  const int32_t m = j - i + 2;
  double* w = s.w.data();
  int32_t* ex = s.ex.data();
  double v = 1.0, big = 1.0;
  int32_t e = 0, at = 1;
  bool scaled = false;
  w[1] = 1.0;
  ex[1] = 0;
  const double* ratio = s.ratio.data();  // ratio[k - 2] = w(k) / w(k - 1)
  int32_t emax = 0;  // the largest exponent of a non-zero entry
  for (int32_t k = 2; k <= m; ++k) {
    v *= ratio[k - 2];
    if (out_of_range(v)) [[unlikely]] {
      bring_back(v, e);
      scaled = true;
    }
    w[k] = v;
    ex[k] = e;
    emax = v != 0.0 && e > emax ? e : emax;
    // The first largest magnitude, as long as nothing was rescaled.
    const double av = std::fabs(v);
    at = av > big ? k : at;
    big = av > big ? av : big;
  }
  if (!finite) [[unlikely]] {
    general_block<Kind, Plus>(s, t, o, n, i, j, g, whole);
    return;
  }
  if (scaled) {
    big = 0.0;
    at = 1;
    for (int32_t k = 1; k <= m; ++k) {
      const int32_t d = ex[k] - emax;
      if (d <= 0) w[k] = scale_down(w[k], d);
      const double a = std::fabs(w[k]);
      at = a > big ? k : at;
      big = a > big ? a : big;
    }
  }
  // Scaled so that the first entry of largest magnitude is +-1, and summed
  // for the walk in the same pass.
  double* c = s.cum.data();
  double z = 0.0;
  bool bad = false;
  if (big != 0.0 && big != 1.0 && std::isfinite(big)) {
    const double inv = 1.0 / big;
    const double one = w[at] < 0.0 ? -1.0 : 1.0;
    for (int32_t k = 1; k <= m; ++k) {
      const double x = k == at ? one : w[k] * inv;
      w[k] = x;
      z += x;
      c[k] = z;
      bad |= needs_message(x);
    }
  } else {
    for (int32_t k = 1; k <= m; ++k) {
      const double x = w[k];
      z += x;
      c[k] = z;
      bad |= needs_message(x);
    }
  }
  const int32_t k = pick_summed<Plus>(
      s, w, m, BlockInfo{t, i + 1, j + 1, s.T - t - s.S, o[i], o[j]}, g, z, bad);
  write_large<Plus>(o, n, i, j, i + k - 1, whole);
}

template <int Kind, bool Plus>
void factor_large_plain(Sweep& s, int32_t t, const int32_t* o, int32_t* n, int32_t i,
                        int32_t j, int32_t g, bool whole) {
  if (certain_block<Plus>(s, t, o, n, i, j, whole)) return;
  const bool finite = factor_ratios_plain<Kind, Plus>(s.tables, t, s.S, o[i], j - i + 1,
                                                      s.ratio.data());
  factor_large_core<Kind, Plus>(s, t, o, n, i, j, g, whole, finite);
}

#ifdef LOZENGIA_LIST_AVX2
// Writes a block of at most seven particles from i (m - 1 of them) whose
// lowest `below` particles stay (S->S+1) or come down (S->S-1); the old
// heights of a block are consecutive from x0.
template <bool Plus>
__attribute__((always_inline, target("avx2"))) inline void write_medium(int32_t* n, int32_t i,
                                                                       int32_t x0, int32_t m,
                                                                       int32_t below) {
  const __m256i q = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i b = _mm256_set1_epi32(below);
  const __m256i moved = Plus ? _mm256_cmpgt_epi32(_mm256_add_epi32(q, _mm256_set1_epi32(1)), b)
                             : _mm256_cmpgt_epi32(b, q);
  const __m256i heights = _mm256_add_epi32(_mm256_set1_epi32(x0), q);
  const __m256i out = Plus ? _mm256_sub_epi32(heights, moved) : _mm256_add_epi32(heights, moved);
  _mm256_maskstore_epi32(n + i, _mm256_cmpgt_epi32(_mm256_set1_epi32(m - 1), q), out);
}

// A block of four to seven particles (five to eight outcomes), the most
// common long block, as eight outcomes whose unused ones weigh 0: no loop
// whose length depends on the block, so no branch the processor could
// mispredict. The numbers are factor_large's: w(1) = 1, each weight the one
// before times its ratio, scaled by the first largest, summed in order, the
// sums past the block equal to the total. Returns false, having written
// nothing, when the block needs more (a ratio that is not a finite number, a
// weight out of range or negative, a threshold past the total).
template <int Kind, bool Plus>
__attribute__((always_inline, target("avx2"))) inline bool medium_block(
    Sweep& s, int32_t t, const int32_t* o, int32_t* n, int32_t i, int32_t j, int32_t g) {
  const int32_t m = j - i + 2;
  const int32_t x0 = o[i];
  double r[8];
  factor_ratios_avx2<Kind, Plus>(s.tables, t, s.S, x0, 8, r);
  double w[9], c[9];
  w[1] = 1.0;
  double v = 1.0, big = 1.0;
  int32_t at = 1;
  bool fine = true;
  for (int32_t k = 2; k <= 8; ++k) {
    const bool used = k <= m;
    v *= used ? r[k - 2] : 1.0;
    w[k] = used ? v : 0.0;
    fine &= (w[k] >= 0.0) & (w[k] <= kWeightBig) & ((w[k] >= kWeightSmall) | (w[k] == 0.0));
    at = w[k] > big ? k : at;
    big = w[k] > big ? w[k] : big;
  }
  if (!fine) return false;
  const double inv = 1.0 / big;  // 1 when the first weight is the largest: no change
  double z = 0.0;
  for (int32_t k = 1; k <= 8; ++k) {
    w[k] = k == at ? 1.0 : w[k] * inv;
    z += w[k];
    c[k] = z;
  }
  const double th = threshold<Plus>(s.spans[static_cast<std::size_t>(g)], z);
  int32_t below = 0;
  for (int32_t k = 1; k <= 8; ++k) below += c[k] < th;
  if (below >= m) return false;
  write_medium<Plus>(n, i, x0, m, below);
  return true;
}

template <int Kind, bool Plus>
__attribute__((target("avx2"))) void factor_large_avx2(Sweep& s, int32_t t, const int32_t* o,
                                                       int32_t* n, int32_t i, int32_t j,
                                                       int32_t g, bool whole) {
  if (certain_block<Plus>(s, t, o, n, i, j, whole)) return;
  if (j - i < 7 && medium_block<Kind, Plus>(s, t, o, n, i, j, g)) return;
  const bool finite = factor_ratios_avx2<Kind, Plus>(s.tables, t, s.S, o[i], j - i + 1,
                                                     s.ratio.data());
  factor_large_core<Kind, Plus>(s, t, o, n, i, j, g, whole, finite);
}
#endif

template <int Kind, bool Plus>
void factor_large(Sweep& s, int32_t t, const int32_t* o, int32_t* n, int32_t i, int32_t j,
                  int32_t g, bool whole = false) {
#ifdef LOZENGIA_LIST_AVX2
  if (wide_vectors()) return factor_large_avx2<Kind, Plus>(s, t, o, n, i, j, g, whole);
#endif
  factor_large_plain<Kind, Plus>(s, t, o, n, i, j, g, whole);
}

// The last particle of a block of four particles or more from i: the first
// without a link, found eight links at a time (each is 0 or 1, and the list
// has room past its end).
inline int32_t block_end(const uint8_t* link, int32_t i) {
  int32_t j = i + 3;
  for (;;) {
    uint64_t bytes;
    std::memcpy(&bytes, link + j, 8);
    const uint64_t ends = ~bytes & 0x0101010101010101ull;
    if (ends) return j + (std::countr_zero(ends) >> 3);
    j += 8;
  }
}

// Finds the blocks of a slice: free particles at consecutive indices whose new
// heights in the slice before are consecutive too. Up to three particles are
// measured without branches; longer blocks are extended eight links at a time.
// Calls small(i, a1, a2, g) for blocks of at most three particles, where a1
// and a2 (0 or 1) tell whether the block has a second and a third particle,
// and large(i, j, g) otherwise; g is the block's place in the slice (and the
// index of its draw).
template <bool Plus, class Small, class Large>
inline void blocks_from(Sweep& s, int32_t from, int32_t cnt, Small& small, Large& large) {
  const int32_t* starts = s.starts.data();
  const uint8_t* link = s.link.data();  // zero past the last particle
  for (int32_t g = from; g < cnt; ++g) {
    const int32_t i = starts[g];
    const int32_t a1 = link[i];
    const int32_t a2 = a1 & link[i + 1];
    const int32_t a3 = a2 & link[i + 2];
    if (a3) {
      large(i, block_end(link, i), g);
    } else {
      small(i, a1, a2, g);
    }
  }
  s.rng.set_state(s.states[static_cast<std::size_t>(cnt)]);
}

template <bool Plus, class Small, class Large>
inline void for_blocks(Sweep& s, const int32_t* o, const int32_t* prev, int32_t* n,
                       Small small, Large large) {
  const int32_t cnt = list_blocks<Plus>(s, o, prev, n);
  make_draws(s, cnt);
  blocks_from<Plus>(s, 0, cnt, small, large);
}

#ifdef LOZENGIA_LIST_AVX2
// Four consecutive blocks g..g+3 of a slice, one per lane: first particles,
// whether each has a second, third and fourth particle (the links of its
// first four particles in one 32-bit read; the list has room past its end),
// and the old height of its first particle.
struct Lanes {
  __m128i i4, a1, a2, a3, x;
  int32_t xs[4];
};

inline Lanes lanes(const int32_t* starts, const uint8_t* link, const int32_t* o, int32_t g) {
  const int32_t i0 = starts[g], i1 = starts[g + 1], i2 = starts[g + 2], i3 = starts[g + 3];
  int32_t l0, l1, l2, l3;
  std::memcpy(&l0, link + i0, 4);
  std::memcpy(&l1, link + i1, 4);
  std::memcpy(&l2, link + i2, 4);
  std::memcpy(&l3, link + i3, 4);
  const __m128i lk = _mm_setr_epi32(l0, l1, l2, l3), one = _mm_set1_epi32(1);
  Lanes ln;
  ln.i4 = _mm_setr_epi32(i0, i1, i2, i3);
  ln.a1 = _mm_and_si128(lk, one);
  ln.a2 = _mm_and_si128(_mm_srli_epi32(lk, 8), ln.a1);
  ln.a3 = _mm_and_si128(_mm_srli_epi32(lk, 16), ln.a2);
  ln.xs[0] = o[i0];
  ln.xs[1] = o[i1];
  ln.xs[2] = o[i2];
  ln.xs[3] = o[i3];
  ln.x = _mm_setr_epi32(ln.xs[0], ln.xs[1], ln.xs[2], ln.xs[3]);
  return ln;
}

// A 0 or 1 in each of four 32-bit lanes as a mask of four doubles.
__attribute__((always_inline, target("avx2"))) inline __m256d lane_mask(__m128i bits) {
  return _mm256_castsi256_pd(_mm256_cvtepi32_epi64(_mm_sub_epi32(_mm_setzero_si128(), bits)));
}

// Each lane's numbers are four consecutive entries of a table, from
// base + dir * x in lane l: read as four rows and transposed, so that col[k]
// holds entry k of every lane's row (reading rows is several times faster
// than gathering the columns).
__attribute__((always_inline, target("avx2"))) inline void rows_to_columns(
    const double* base, int32_t dir, const int32_t* xs, __m256d* col) {
  const __m256d r0 = _mm256_loadu_pd(base + dir * xs[0]), r1 = _mm256_loadu_pd(base + dir * xs[1]),
                r2 = _mm256_loadu_pd(base + dir * xs[2]), r3 = _mm256_loadu_pd(base + dir * xs[3]);
  const __m256d u0 = _mm256_unpacklo_pd(r0, r1), u1 = _mm256_unpackhi_pd(r0, r1),
                u2 = _mm256_unpacklo_pd(r2, r3), u3 = _mm256_unpackhi_pd(r2, r3);
  col[0] = _mm256_permute2f128_pd(u0, u2, 0x20);
  col[1] = _mm256_permute2f128_pd(u1, u3, 0x20);
  col[2] = _mm256_permute2f128_pd(u0, u2, 0x31);
  col[3] = _mm256_permute2f128_pd(u1, u3, 0x31);
}
#endif

#ifdef LOZENGIA_LIST_AVX2
// Four small blocks in the lanes of AVX2 vectors, from their weights w1..w4
// (0 past each block's last outcome): the total, the threshold from the
// slice's draws, the walk as four comparisons, and each block's three writes
// (see write_small). The numbers are the single-block code's, operation for
// operation. i4 holds the blocks' first particles, x their heights, a1 and a2
// whether they have a second and a third particle. Returns the lanes whose
// threshold fell past the total: those need the chooser.
template <bool Plus>
__attribute__((always_inline, target("avx2"))) inline int walk_and_write(
    const float* spans, int32_t g, int32_t* n, __m128i i4, __m128i x, __m128i a1, __m128i a2,
    __m256d w1, __m256d w2, __m256d w3, __m256d w4) {
  const __m128i one_i = _mm_set1_epi32(1), two_i = _mm_set1_epi32(2);
  const __m256d c2 = _mm256_add_pd(w1, w2), c3 = _mm256_add_pd(c2, w3),
                z = _mm256_add_pd(c3, w4);
  const __m128 span = _mm_loadu_ps(spans + g);
  __m256d v;
  if constexpr (Plus)
    v = _mm256_cvtps_pd(_mm_mul_ps(span, _mm256_cvtpd_ps(z)));
  else
    v = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(span), z)));
  // Each comparison that holds is -1 in its lane.
  const __m256i sum = _mm256_add_epi64(
      _mm256_add_epi64(_mm256_castpd_si256(_mm256_cmp_pd(w1, v, _CMP_LT_OQ)),
                       _mm256_castpd_si256(_mm256_cmp_pd(c2, v, _CMP_LT_OQ))),
      _mm256_add_epi64(_mm256_castpd_si256(_mm256_cmp_pd(c3, v, _CMP_LT_OQ)),
                       _mm256_castpd_si256(_mm256_cmp_pd(z, v, _CMP_LT_OQ))));
  // The low halves of the four 64-bit counts, negated.
  const __m256i lows = _mm256_setr_epi32(0, 2, 4, 6, 0, 0, 0, 0);
  const __m128i below = _mm_sub_epi32(
      _mm_setzero_si128(), _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(sum, lows)));
  const __m128i k1 = a1, k2 = _mm_add_epi32(a1, a2);
  const __m128i p1 = _mm_add_epi32(i4, k1), p2 = _mm_add_epi32(i4, k2);
  __m128i v0, v1, v2;
  if constexpr (Plus) {
    // x + k + (k >= below)
    v0 = _mm_sub_epi32(x, _mm_cmpeq_epi32(below, _mm_setzero_si128()));
    v1 = _mm_sub_epi32(_mm_add_epi32(x, k1), _mm_cmpgt_epi32(_mm_add_epi32(k1, one_i), below));
    v2 = _mm_sub_epi32(_mm_add_epi32(x, k2), _mm_cmpgt_epi32(_mm_add_epi32(k2, one_i), below));
  } else {
    // x + k - (k < below)
    v0 = _mm_add_epi32(x, _mm_cmpgt_epi32(below, _mm_setzero_si128()));
    v1 = _mm_add_epi32(_mm_add_epi32(x, k1), _mm_cmpgt_epi32(below, k1));
    v2 = _mm_add_epi32(_mm_add_epi32(x, k2), _mm_cmpgt_epi32(below, k2));
  }
  alignas(16) int32_t pos[3][4], val[3][4];
  _mm_store_si128(reinterpret_cast<__m128i*>(pos[0]), i4);
  _mm_store_si128(reinterpret_cast<__m128i*>(pos[1]), p1);
  _mm_store_si128(reinterpret_cast<__m128i*>(pos[2]), p2);
  _mm_store_si128(reinterpret_cast<__m128i*>(val[0]), v0);
  _mm_store_si128(reinterpret_cast<__m128i*>(val[1]), v1);
  _mm_store_si128(reinterpret_cast<__m128i*>(val[2]), v2);
  for (int l = 0; l < 4; ++l) {
    n[pos[0][l]] = val[0][l];
    n[pos[1][l]] = val[1][l];
    n[pos[2][l]] = val[2][l];
  }
  const __m128i m = _mm_add_epi32(two_i, k2);
  return _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(_mm_add_epi32(below, one_i), m)));
}
#endif

// Hahn's blocks of four particles or more: near S = 0 a slice is often one
// block of hundreds. The weights, their running sums and the total are made
// in registers, one product and one sum per outcome, and the threshold is
// found by a search without branches over the sums, which do not decrease.
// The values are those of the general Hahn weights and walk, operation for
// operation; Hahn weights lie in [0, 1], so there is nothing to report.
// With `whole`, every particle of the block is written, not only the movers.
template <bool Plus>
inline void hahn_large(Sweep& s, const int32_t* o, int32_t* n, int32_t i, int32_t j,
                       bool forward, int64_t a, int64_t b, int32_t g, bool whole = false) {
  const int32_t m = j - i + 2;
  const double* inv = s.tables.inv_data();
  double* w = s.w.data();
  double* c = s.cum.data();
  const int64_t x0 = o[i];
  // Outcome k's factor is num(x) * inv[den(x)], x the old height of the
  // particle between outcomes k-1 and k (forward) or k and k+1 (backward).
  //   S->S+1, forward:  (D + x) / (x + 1);    backward: (x + 1) / (D + x)
  //   S->S-1, forward:  (N + t - x) / (S + N - 1 - x); backward: the inverse
  // With a = D (S->S+1) or N + t (S->S-1) and b = 1 or S + N - 1, the
  // numerator and denominator move by +1 or -1 with x.
  constexpr int64_t step = Plus ? 1 : -1;
  double z;
  if (forward) {
    double wk = 1.0;
    double num = static_cast<double>(a + step * x0);
    int64_t den = b + step * x0;
    w[1] = 1.0;
    c[1] = 1.0;
    z = 1.0;
    for (int32_t k = 2; k <= m; ++k) {
      wk = wk * (num * inv[den]);
      w[k] = wk;
      z = z + wk;
      c[k] = z;
      num += static_cast<double>(step);
      den += step;
    }
  } else {
    double wk = 1.0;
    const int64_t xl = x0 + (m - 2);  // the last particle's height
    double num = static_cast<double>(b + step * xl);
    int64_t den = a + step * xl;
    w[m] = 1.0;
    for (int32_t k = m - 1; k >= 1; --k) {
      wk = wk * (num * inv[den]);
      w[k] = wk;
      num -= static_cast<double>(step);
      den -= step;
    }
    z = 0.0;
    for (int32_t k = 1; k <= m; ++k) {
      z += w[k];
      c[k] = z;
    }
  }
  const double v = threshold<Plus>(s.spans[static_cast<std::size_t>(g)], z);
  const int32_t below = count_below(c, m, v);
  int32_t k;
  if (below < m) [[likely]] {
    k = below + 1;
  } else {
    const float u = s.draws[static_cast<std::size_t>(g)];
    w[m + 1] = Plus ? 100000.0 : 10000.0;
    k = Plus ? s.chooser.pick_plus(w, m, z, u) : s.chooser.pick_minus(w, m, z, u);
  }
  write_large<Plus>(o, n, i, j, i + k - 1, whole);
}

#ifdef LOZENGIA_LIST_AVX2
// The blocks the grouped code does again (redo_list[0..nr)): their last
// particles in s.ends (long blocks; -1 for the others), none finished yet, and
// in s.medium the places of those of four to seven particles that `take`
// accepts, which are then drawn four at a time. Returns how many those are.
template <class Take>
inline int32_t sort_redone(Sweep& s, const int32_t* redo_list, int32_t nr, Take take) {
  const int32_t* starts = s.starts.data();
  const uint8_t* link = s.link.data();
  int32_t nm = 0;
  for (int32_t k = 0; k < nr; ++k) {
    const int32_t i = starts[redo_list[k]];
    const int32_t j = link[i] & link[i + 1] & link[i + 2] ? block_end(link, i) : -1;
    s.ends[static_cast<std::size_t>(k)] = j;
    s.finished[static_cast<std::size_t>(k)] = 0;
    s.medium[static_cast<std::size_t>(nm)] = k;
    nm += j >= 0 && j - i < 7 && take(i, j);
  }
  return nm;
}

// Four blocks of four to seven particles, one per lane, from their places in
// s.longs (whose last particles are in s.ends).
struct MediumLanes {
  int32_t gs[4];  // block numbers (of the slice's draws)
  int32_t is[4];  // first particles
  int32_t ms[4];  // numbers of outcomes
  alignas(16) int32_t xs[4];  // heights of the first particles
};

inline MediumLanes medium_lanes(const Sweep& s, const int32_t* o, const int32_t* places) {
  MediumLanes ln;
  for (int l = 0; l < 4; ++l) {
    const int32_t place = places[l];
    ln.gs[l] = s.longs[static_cast<std::size_t>(place)];
    ln.is[l] = s.starts[static_cast<std::size_t>(ln.gs[l])];
    ln.ms[l] = s.ends[static_cast<std::size_t>(place)] - ln.is[l] + 2;
    ln.xs[l] = o[ln.is[l]];
  }
  return ln;
}

// The draw of four such blocks from their weights w[1..8] (0 past each
// block's last outcome), as medium_block draws one: the sums in order, the
// thresholds, the walks as counts of the sums below them. A lane in `skip`,
// or whose threshold fell past its total, is left as it is; the others are
// written and marked in s.finished.
template <bool Plus>
__attribute__((always_inline, target("avx2"))) inline void draw_medium(
    Sweep& s, int32_t* n, const MediumLanes& ln, const int32_t* places, const __m256d* w,
    int skip) {
  __m256d z = w[1], c[9];
  c[1] = z;
  for (int k = 2; k <= 8; ++k) {
    z = _mm256_add_pd(z, w[k]);
    c[k] = z;
  }
  const float* spans = s.spans.data();
  const __m128 span =
      _mm_setr_ps(spans[ln.gs[0]], spans[ln.gs[1]], spans[ln.gs[2]], spans[ln.gs[3]]);
  __m256d th;
  if constexpr (Plus)
    th = _mm256_cvtps_pd(_mm_mul_ps(span, _mm256_cvtpd_ps(z)));
  else
    th = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(span), z)));
  __m256i below = _mm256_setzero_si256();
  for (int k = 1; k <= 8; ++k)
    below = _mm256_sub_epi64(below, _mm256_castpd_si256(_mm256_cmp_pd(c[k], th, _CMP_LT_OQ)));
  alignas(32) int64_t bl[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(bl), below);
  for (int l = 0; l < 4; ++l) {
    if (((skip >> l) & 1) || bl[l] >= ln.ms[l]) continue;
    write_medium<Plus>(n, ln.is[l], ln.xs[l], ln.ms[l], static_cast<int32_t>(bl[l]));
    s.finished[static_cast<std::size_t>(places[l])] = 1;
  }
}

// Hahn's blocks of four to seven particles, four at a time, one per lane, as
// eight outcomes whose unused ones weigh 0: hahn_large's numbers, operation
// for operation, with the four blocks' chains of products and sums side by
// side. `places` lists positions in s.longs (whose ends are in s.ends); a
// block drawn and written is marked in s.finished, one whose threshold fell
// past the total is left for hahn_large. Factors past a block are read from
// the table too (its padding holds 0 below 1) and weigh nothing.
template <bool Plus, bool Forward>
__attribute__((target("avx2"))) void hahn_medium_groups(Sweep& s, const int32_t* o, int32_t* n,
                                                        const int32_t* places, int32_t count,
                                                        int64_t a, int64_t b) {
  const double* inv = s.tables.inv_data();
  const __m256d one = _mm256_set1_pd(1.0), zero = _mm256_setzero_pd();
  constexpr int32_t step = Plus ? 1 : -1;
  // A factor is num(h) / den(h) for a height h: forward from a + step h over
  // b + step h, backward the inverse (see hahn_large).
  const int64_t num0 = Forward ? a : b, den0 = Forward ? b : a;
  for (int32_t q = 0; q + 4 <= count; q += 4) {
    const MediumLanes ln = medium_lanes(s, o, places + q);
    const int32_t* xs = ln.xs;
    // f[h]: the factor of height x + h, h = 0..7: the reciprocals of
    // den0 + step (x + h) as columns of rows read from each lane's x.
    __m256d f[8];
    {
      __m256d lo[4], hi[4];
      if constexpr (Plus) {
        rows_to_columns(inv + den0, 1, xs, lo);
        rows_to_columns(inv + den0 + 4, 1, xs, hi);
        for (int h = 0; h < 4; ++h) {
          f[h] = lo[h];
          f[4 + h] = hi[h];
        }
      } else {
        rows_to_columns(inv + den0 - 3, -1, xs, lo);
        rows_to_columns(inv + den0 - 7, -1, xs, hi);
        for (int h = 0; h < 4; ++h) {
          f[h] = lo[3 - h];
          f[4 + h] = hi[3 - h];
        }
      }
      const __m256d xd = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(xs)));
      const __m256d num = Plus ? _mm256_add_pd(_mm256_set1_pd(static_cast<double>(num0)), xd)
                               : _mm256_sub_pd(_mm256_set1_pd(static_cast<double>(num0)), xd);
      for (int h = 0; h < 8; ++h)
        f[h] = _mm256_mul_pd(
            _mm256_add_pd(num, _mm256_set1_pd(static_cast<double>(step * h))), f[h]);
    }
    const __m256i m64 = _mm256_cvtepi32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ln.ms)));
    __m256d w[10];
    if constexpr (Forward) {
      // w(1) = 1, w(k) = w(k-1) f(x + k - 2), 0 past the block.
      w[1] = one;
      __m256d v = one;
      for (int k = 2; k <= 8; ++k) {
        const __m256d used =
            _mm256_castsi256_pd(_mm256_cmpgt_epi64(m64, _mm256_set1_epi64x(k - 1)));
        v = _mm256_mul_pd(v, f[k - 2]);
        w[k] = _mm256_and_pd(v, used);
      }
    } else {
      // w(k) = w(k+1) f(x + k - 1) + [k = m]: 1 at the last outcome, 0 past it.
      w[9] = zero;
      for (int k = 8; k >= 1; --k) {
        const __m256d last =
            _mm256_and_pd(_mm256_castsi256_pd(_mm256_cmpeq_epi64(m64, _mm256_set1_epi64x(k))), one);
        w[k] = _mm256_add_pd(_mm256_mul_pd(w[k + 1], f[k - 1]), last);
      }
    }
    draw_medium<Plus>(s, n, ln, places + q, w, 0);
  }
}

// Hahn's blocks four at a time, in the lanes of AVX2 vectors: the slice's
// draws are made beforehand, so its blocks do not depend on one another. Each
// lane computes what the single-block code computes, operation for operation
// (no fused multiply-add, whose rounding differs), so the sample is the same.
// A block of four particles or more is weighed in its lane as if it had three
// (those writes land inside it) and then drawn and written whole by the
// general code; a lane whose threshold fell past the total goes through the
// single-block code again, which asks the chooser. Returns how many blocks
// were done (a multiple of four); the rest are left to the caller.
template <bool Plus, bool Forward, class Small>
__attribute__((target("avx2"))) int32_t hahn_groups(Sweep& s, int32_t t, const int32_t* o,
                                                    int32_t* n, int32_t cnt, Small& small,
                                                    int64_t a, int64_t b) {
  const double* inv = s.tables.inv_data();
  const int32_t* starts = s.starts.data();
  const uint8_t* link = s.link.data();
  const float* spans = s.spans.data();
  const int32_t D = s.T - t - s.S, nn = s.N, sS = s.S;
  const __m256d one = _mm256_set1_pd(1.0), two = _mm256_set1_pd(2.0), three = _mm256_set1_pd(3.0);
  int32_t* redo_list = s.longs.data();
  int32_t nr = 0;
  int32_t g = 0;
  for (; g + 4 <= cnt; g += 4) {
    const Lanes ln = lanes(starts, link, o, g);
    const __m128i i4 = ln.i4, a1 = ln.a1, a2 = ln.a2, a3 = ln.a3, x = ln.x;
    // Each lane's three reciprocals are consecutive in the table, rising
    // with x in S->S+1 and falling in S->S-1: four rows of four read from
    // each lane's lowest index, and transposed (read rather than gathered,
    // which is several times slower). In S->S-1 the single-block code clamps
    // indices below 1 to 1; those factors belong past the block and are
    // unused, and the table holds a finite 0 there.
    const int32_t off = Plus ? (Forward ? 1 : D) : (Forward ? sS + nn - 1 : nn + t) - 2;
    constexpr int32_t dir = Plus ? 1 : -1;
    __m256d col[4];
    rows_to_columns(inv + off, dir, ln.xs, col);
    const __m256d col0 = col[0], col1 = col[1], col2 = col[2];
    // The reciprocals of the first, second and third factor.
    const __m256d t0 = Plus ? col0 : col2, t1 = col1, t2 = Plus ? col2 : col0;
    const __m256d xd = _mm256_cvtepi32_pd(x);
    __m256d w1, w2, w3, w4;
    if constexpr (!Forward) {
      // w(k) = w(k+1) f_k + [k = m]: 1 at the last outcome, 0 past it.
      const __m256d last4 = _mm256_and_pd(lane_mask(a2), one);
      const __m256d last3 = _mm256_and_pd(lane_mask(_mm_andnot_si128(a2, a1)), one);
      const __m256d last2 = _mm256_andnot_pd(lane_mask(a1), one);
      __m256d f1, f2, f3;
      if constexpr (Plus) {
        f1 = _mm256_mul_pd(_mm256_add_pd(xd, one), t0);
        f2 = _mm256_mul_pd(_mm256_add_pd(xd, two), t1);
        f3 = _mm256_mul_pd(_mm256_add_pd(xd, three), t2);
      } else {
        const __m256d e = _mm256_cvtepi32_pd(_mm_sub_epi32(_mm_set1_epi32(sS + nn - 1), x));
        f1 = _mm256_mul_pd(e, t0);
        f2 = _mm256_mul_pd(_mm256_sub_pd(e, one), t1);
        f3 = _mm256_mul_pd(_mm256_sub_pd(e, two), t2);
      }
      w4 = last4;
      w3 = _mm256_add_pd(_mm256_mul_pd(w4, f3), last3);
      w2 = _mm256_add_pd(_mm256_mul_pd(w3, f2), last2);
      w1 = _mm256_mul_pd(w2, f1);
    } else {
      __m256d d, d1, d2;
      if constexpr (Plus) {
        d = _mm256_cvtepi32_pd(_mm_add_epi32(x, _mm_set1_epi32(D)));
        d1 = _mm256_add_pd(d, one);
        d2 = _mm256_add_pd(d, two);
      } else {
        d = _mm256_cvtepi32_pd(_mm_sub_epi32(_mm_set1_epi32(nn + t), x));
        d1 = _mm256_sub_pd(d, one);
        d2 = _mm256_sub_pd(d, two);
      }
      w1 = one;
      w2 = _mm256_mul_pd(d, t0);
      const __m256d r3 = _mm256_mul_pd(w2, _mm256_mul_pd(d1, t1));
      const __m256d r4 = _mm256_mul_pd(r3, _mm256_mul_pd(d2, t2));
      w3 = _mm256_and_pd(r3, lane_mask(a1));
      w4 = _mm256_and_pd(r4, lane_mask(a2));
    }
    const int past = walk_and_write<Plus>(spans, g, n, i4, x, a1, a2, w1, w2, w3, w4);
    // Lanes to redo: long blocks, and thresholds past the total (below = m),
    // which are rare. They are listed without a branch and done after the
    // groups, in block order (so any messages come in the order of the
    // blocks); the loop over groups then has no branch that could be
    // mispredicted.
    const int redo =
        _mm_movemask_ps(_mm_castsi128_ps(_mm_sub_epi32(_mm_setzero_si128(), a3))) | past;
    for (int l = 0; l < 4; ++l) {
      redo_list[nr] = g + l;
      nr += (redo >> l) & 1;
    }
  }
  // Blocks of four to seven particles first, four at a time (Hahn's draw no
  // message before the chooser); then everything else in block order.
  const int32_t nm = sort_redone(s, redo_list, nr, [](int32_t, int32_t) { return true; });
  hahn_medium_groups<Plus, Forward>(s, o, n, s.medium.data(), nm, a, b);
  for (int32_t k = 0; k < nr; ++k) {
    if (s.finished[static_cast<std::size_t>(k)]) continue;
    const int32_t gl = redo_list[k], i = starts[gl], j = s.ends[static_cast<std::size_t>(k)];
    if (j >= 0)
      hahn_large<Plus>(s, o, n, i, j, Forward, a, b, gl, true);
    else
      small(i, link[i], link[i] & link[i + 1], gl);
  }
  return g;
}
#endif

// Hahn's slice, the hot loop of exact uniform samples: nearly every block has
// at most three particles, and is weighed with the table of reciprocals, drawn
// and written without a branch on its length. The products are those of the
// general Hahn weights, in the same order, so the values are the same to the
// bit. Past the block some denominators may reach 0: they are clamped to 1,
// their factor unused. Whether the weights are anchored at the first or the
// last outcome is the same for the whole slice, and chosen once for it.
template <bool Plus, bool Forward>
void hahn_blocks(Sweep& s, int32_t t, const int32_t* o, const int32_t* prev, int32_t* n) {
  const double* inv = s.tables.inv_data();
  const int64_t D = static_cast<int64_t>(s.T) - t - s.S;
  const int64_t nn = s.N, sS = s.S, tt = t;
  // Weights anchored at the first outcome are masked past m; anchored at the
  // last (w(m) = 1), each is w(k) = w(k+1) * f_k + [k = m], which is 1 at m,
  // 0 past it and the same product below it.
  auto small = [&](int32_t i, int32_t a1, int32_t a2, int32_t g) {
    const int32_t m = 2 + a1 + a2;
    const int64_t x = o[i];
    double w1, w2, w3, w4;
    if constexpr (Plus && Forward) {
      const double d = static_cast<double>(D + x);
      w1 = 1.0;
      w2 = d * inv[x + 1];
      const double r3 = w2 * ((d + 1.0) * inv[x + 2]);
      const double r4 = r3 * ((d + 2.0) * inv[x + 3]);
      w3 = keep(r3, m, 3);
      w4 = keep(r4, m, 4);
    } else if constexpr (Plus) {
      const double* last = kSmallBlock.last[m];
      const double xd = static_cast<double>(x);
      const double* r = inv + (D + x);
      const double f1 = (xd + 1.0) * r[0];
      const double f2 = (xd + 2.0) * r[1];
      const double f3 = (xd + 3.0) * r[2];
      w4 = last[4];
      w3 = w4 * f3 + last[3];
      w2 = w3 * f2 + last[2];
      w1 = w2 * f1;
    } else if constexpr (Forward) {
      const double d = static_cast<double>(nn + tt - x);
      w1 = 1.0;
      w2 = d * inv[sS + nn - 1 - x];
      const double r3 = w2 * ((d - 1.0) * inv[std::max<int64_t>(1, sS + nn - 2 - x)]);
      const double r4 = r3 * ((d - 2.0) * inv[std::max<int64_t>(1, sS + nn - 3 - x)]);
      w3 = keep(r3, m, 3);
      w4 = keep(r4, m, 4);
    } else {
      const double* last = kSmallBlock.last[m];
      const double e = static_cast<double>(sS + nn - 1 - x);
      const double f1 = e * inv[nn + tt - x];
      const double f2 = (e - 1.0) * inv[std::max<int64_t>(1, nn + tt - x - 1)];
      const double f3 = (e - 2.0) * inv[std::max<int64_t>(1, nn + tt - x - 2)];
      w4 = last[4];
      w3 = w4 * f3 + last[3];
      w2 = w3 * f2 + last[2];
      w1 = w2 * f1;
    }
    // Hahn weights lie in [0, 1]: nothing to report before the walk.
    write_small<Plus>(static_cast<int32_t>(x), n, i, a1, a2,
                      small_pick<Plus>(s, w1, w2, w3, w4, m, g));
  };
  const int64_t a = Plus ? D : nn + tt;
  const int64_t b = Plus ? 1 : sS + nn - 1;
  auto large = [&](int32_t i, int32_t j, int32_t g) {
    hahn_large<Plus>(s, o, n, i, j, Forward, a, b, g);
  };
#ifdef LOZENGIA_LIST_AVX2
  if (wide_vectors()) {
    const int32_t cnt = list_blocks<Plus>(s, o, prev, n);
    make_draws(s, cnt);
    const int32_t done = hahn_groups<Plus, Forward>(s, t, o, n, cnt, small, a, b);
    blocks_from<Plus>(s, done, cnt, small, large);
    return;
  }
#endif
  for_blocks<Plus>(s, o, prev, n, small, large);
}

template <bool Plus>
void hahn_slice(Sweep& s, int32_t t, const int32_t* o, const int32_t* prev, int32_t* n) {
  const bool forward = Plus ? static_cast<int64_t>(s.T) - t - s.S < 1 : t < s.S;
  if (forward)
    hahn_blocks<Plus, true>(s, t, o, prev, n);
  else
    hahn_blocks<Plus, false>(s, t, o, prev, n);
}

#ifdef LOZENGIA_LIST_AVX2
// The lanes whose weight is 0 or within [2^-300, 2^300] (not NaN).
__attribute__((always_inline, target("avx2"))) inline __m256d plain_weights(__m256d w) {
  const __m256d zero = _mm256_setzero_pd();
  return _mm256_and_pd(
      _mm256_and_pd(_mm256_cmp_pd(w, zero, _CMP_GE_OQ),
                    _mm256_cmp_pd(w, _mm256_set1_pd(kWeightBig), _CMP_LE_OQ)),
      _mm256_or_pd(_mm256_cmp_pd(w, _mm256_set1_pd(kWeightSmall), _CMP_GE_OQ),
                   _mm256_cmp_pd(w, zero, _CMP_EQ_OQ)));
}

// Blocks of four to seven particles, four at a time, one per lane: the
// numbers of medium_block, lane by lane, so that the chains of products and
// sums of four blocks run side by side. `places` lists positions in s.longs
// (whose ends are in s.ends); a block drawn and written is marked in
// s.finished, the others (a weight out of range, negative or undefined, a
// threshold past the total) are left for factor_large.
template <int Kind, bool Plus>
__attribute__((target("avx2"))) void medium_groups(Sweep& s, int32_t t, const int32_t* o,
                                                   int32_t* n, const int32_t* places,
                                                   int32_t count) {
  const int32_t* starts = s.starts.data();
  const FactorRows<Plus> rows(s.tables, t, s.S);
  const double *fn = rows.n, *fx = rows.x, *fd = rows.d;
  const __m256d one = _mm256_set1_pd(1.0);
  int32_t q = 0;
  for (; q + 4 <= count; q += 4) {
    const MediumLanes ln = medium_lanes(s, o, places + q);
    const int32_t* xs = ln.xs;
    // The ratios of heights x + k, k = 0..7: entry 3 - k of a falling row
    // read from x, entry 7 - k of one read from x + 4; rising rows the other
    // way round.
    __m256d r[8];
    {
      __m256d lo[4], hi[4];
      rows_to_columns(fn, -1, xs, lo);
      rows_to_columns(fn - 4, -1, xs, hi);
      for (int k = 0; k < 4; ++k) {
        r[k] = lo[3 - k];
        r[4 + k] = hi[3 - k];
      }
      rows_to_columns(fx, rows.kXDir, xs, lo);
      rows_to_columns(fx + 4 * rows.kXDir, rows.kXDir, xs, hi);
      for (int k = 0; k < 4; ++k) {
        r[k] = _mm256_mul_pd(r[k], Plus ? lo[k] : lo[3 - k]);
        r[4 + k] = _mm256_mul_pd(r[4 + k], Plus ? hi[k] : hi[3 - k]);
      }
      if constexpr (Kind != kQHahn) {
        rows_to_columns(fd, -1, xs, lo);
        rows_to_columns(fd - 4, -1, xs, hi);
        for (int k = 0; k < 4; ++k) {
          r[k] = _mm256_mul_pd(r[k], lo[3 - k]);
          r[4 + k] = _mm256_mul_pd(r[4 + k], hi[3 - k]);
        }
      }
    }
    const __m256i m64 = _mm256_cvtepi32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ln.ms)));
    __m256d w[9], gt[9];
    __m256d v = one, top = one;
    __m256d fine = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    for (int k = 2; k <= 8; ++k) {
      const __m256d used = _mm256_castsi256_pd(_mm256_cmpgt_epi64(m64, _mm256_set1_epi64x(k - 1)));
      v = _mm256_mul_pd(v, _mm256_blendv_pd(one, r[k - 2], used));
      w[k] = _mm256_and_pd(v, used);
      fine = _mm256_and_pd(fine, plain_weights(w[k]));
      gt[k] = _mm256_cmp_pd(w[k], top, _CMP_GT_OQ);
      top = _mm256_max_pd(w[k], top);
    }
    const int bad = _mm256_movemask_pd(fine) ^ 15;
    // Scaled by the first largest weight, which becomes exactly 1: the last
    // weight above all the ones before it.
    const __m256d inv = _mm256_div_pd(one, top);
    __m256d later = _mm256_setzero_pd();
    for (int k = 8; k >= 2; --k) {
      const __m256d at = _mm256_andnot_pd(later, gt[k]);
      later = _mm256_or_pd(later, gt[k]);
      w[k] = _mm256_blendv_pd(_mm256_mul_pd(w[k], inv), one, at);
    }
    w[1] = _mm256_blendv_pd(one, inv, later);
    draw_medium<Plus>(s, n, ln, places + q, w, bad);
  }
  for (; q < count; ++q) {
    const int32_t place = places[q];
    const int32_t g = s.longs[static_cast<std::size_t>(place)], i = starts[g];
    if (medium_block<Kind, Plus>(s, t, o, n, i, s.ends[static_cast<std::size_t>(place)], g))
      s.finished[static_cast<std::size_t>(place)] = 1;
  }
}

// The other models' blocks four at a time, in the lanes of AVX2 vectors, as
// Hahn's (see hahn_groups): each lane reads its three ratios' factors as rows
// of the factor tables (the first and third falling with x, the second rising
// in S->S+1 and falling in S->S-1), and computes the single-block code's
// weights operation for operation, scaled so that the largest is 1. A lane
// whose block has four particles or more, whose weights are not all plain
// non-negative numbers in range (an impossible or certain outcome, a value
// needing an exponent, a negative weight with its message) or whose
// threshold fell past the total is listed without a branch and done again
// after the groups, in block order (so that messages come in the order of the
// blocks) and written whole: long blocks by factor_large, the others the
// general way. Returns how many blocks were done (a multiple of four).
template <int Kind, bool Plus>
__attribute__((target("avx2"))) int32_t model_groups(Sweep& s, int32_t t, const int32_t* o,
                                                     int32_t* n, int32_t cnt) {
  const int32_t* starts = s.starts.data();
  const uint8_t* link = s.link.data();
  const float* spans = s.spans.data();
  const FactorRows<Plus> rows(s.tables, t, s.S);
  const double *fn = rows.n, *fx = rows.x, *fd = rows.d;
  const __m256d one = _mm256_set1_pd(1.0);
  int32_t* redo_list = s.longs.data();
  int32_t nr = 0;
  int32_t g = 0;
  for (; g + 4 <= cnt; g += 4) {
    const Lanes ln = lanes(starts, link, o, g);
    __m256d cn[4], cx[4], cd[4];
    rows_to_columns(fn, -1, ln.xs, cn);
    rows_to_columns(fx, rows.kXDir, ln.xs, cx);
    __m256d r2 = _mm256_mul_pd(cn[3], cx[Plus ? 0 : 3]);
    __m256d r3 = _mm256_mul_pd(cn[2], cx[Plus ? 1 : 2]);
    __m256d r4 = _mm256_mul_pd(cn[1], cx[Plus ? 2 : 1]);
    if constexpr (Kind != kQHahn) {
      rows_to_columns(fd, -1, ln.xs, cd);
      r2 = _mm256_mul_pd(r2, cd[3]);
      r3 = _mm256_mul_pd(r3, cd[2]);
      r4 = _mm256_mul_pd(r4, cd[1]);
    }
    // w1 = 1; past the block a ratio counts as 1 and its weight as 0.
    const __m256d used3 = lane_mask(ln.a1), used4 = lane_mask(ln.a2);
    __m256d w2 = r2;
    __m256d w3 = _mm256_mul_pd(w2, _mm256_blendv_pd(one, r3, used3));
    __m256d w4 = _mm256_mul_pd(w3, _mm256_blendv_pd(one, r4, used4));
    w3 = _mm256_and_pd(w3, used3);
    w4 = _mm256_and_pd(w4, used4);
    const int bad = _mm256_movemask_pd(_mm256_and_pd(
                        _mm256_and_pd(plain_weights(w2), plain_weights(w3)), plain_weights(w4))) ^
                    15;
    // Scaled by the first largest weight, which becomes exactly 1.
    const __m256d m2 = _mm256_cmp_pd(w2, one, _CMP_GT_OQ);
    __m256d top = _mm256_max_pd(w2, one);
    const __m256d m3 = _mm256_cmp_pd(w3, top, _CMP_GT_OQ);
    top = _mm256_max_pd(w3, top);
    const __m256d m4 = _mm256_cmp_pd(w4, top, _CMP_GT_OQ);
    top = _mm256_max_pd(w4, top);
    const __m256d inv = _mm256_div_pd(one, top);
    const __m256d at3 = _mm256_andnot_pd(m4, m3);
    const __m256d at2 = _mm256_andnot_pd(_mm256_or_pd(m3, m4), m2);
    const __m256d at1 = _mm256_or_pd(m2, _mm256_or_pd(m3, m4));  // at 1 where this is clear
    const __m256d w1 = _mm256_blendv_pd(one, inv, at1);
    w2 = _mm256_blendv_pd(_mm256_mul_pd(w2, inv), one, at2);
    w3 = _mm256_blendv_pd(_mm256_mul_pd(w3, inv), one, at3);
    w4 = _mm256_blendv_pd(_mm256_mul_pd(w4, inv), one, m4);
    const int past = walk_and_write<Plus>(spans, g, n, ln.i4, ln.x, ln.a1, ln.a2, w1, w2, w3, w4);
    const int longs =
        _mm_movemask_ps(_mm_castsi128_ps(_mm_sub_epi32(_mm_setzero_si128(), ln.a3)));
    const int redo = longs | bad | past;
    for (int l = 0; l < 4; ++l) {
      redo_list[nr] = g + l;
      nr += (redo >> l) & 1;
    }
  }
  // Blocks of four to seven particles first, four at a time (they draw no
  // message); then everything else in block order.
  const int32_t nm = sort_redone(
      s, redo_list, nr, [&](int32_t i, int32_t j) { return !certain<Plus>(s, t, o, i, j); });
  medium_groups<Kind, Plus>(s, t, o, n, s.medium.data(), nm);
  for (int32_t k = 0; k < nr; ++k) {
    if (s.finished[static_cast<std::size_t>(k)]) continue;
    const int32_t gl = redo_list[k], i = starts[gl], j = s.ends[static_cast<std::size_t>(k)];
    if (j >= 0)
      factor_large_avx2<Kind, Plus>(s, t, o, n, i, j, gl, true);
    else
      general_block<Kind, Plus>(s, t, o, n, i, i + link[i] + (link[i] & link[i + 1]), gl, true);
  }
  return g;
}
#endif

// The other models: small blocks through the model's loop-free weights when
// they apply (no impossible outcome, no value needing an exponent, nothing to
// report), long ones from the factor tables (factor_large) where those
// exist, everything else the general way.
template <int Kind, bool Plus>
void slice(Sweep& s, int32_t t, const int32_t* o, const int32_t* prev, int32_t* n) {
  double* w = s.w.data();
  auto small = [&](int32_t i, int32_t a1, int32_t a2, int32_t g) {
    const int32_t m = 2 + a1 + a2;
    if (s.bw.template small_k<Kind, Plus>(t, o[i], m, w)) {
      // The weights are scaled to at most 1 in magnitude; a negative or
      // undefined one needs the chooser's message. Unused entries are cleared
      // first, and the test has no branch.
      const double w3 = keep(w[3], m, 3), w4 = keep(w[4], m, 4);
      const bool fine = (w[1] >= 0.0) & (w[2] >= 0.0) & (w3 >= 0.0) & (w4 >= 0.0);
      if (fine) [[likely]] {
        const int32_t below = small_pick<Plus>(s, w[1], w[2], w3, w4, m, g);
        write_small<Plus>(o[i], n, i, a1, a2, below);
        return;
      }
    }
    general_block<Kind, Plus>(s, t, o, n, i, i + a1 + a2, g);
  };
  const bool factors = Kind == kRacah || Kind == kTrigonometric || s.tables.plain_range();
  auto large = [&](int32_t i, int32_t j, int32_t g) {
    if (factors)
      factor_large<Kind, Plus>(s, t, o, n, i, j, g);
    else
      general_block<Kind, Plus>(s, t, o, n, i, j, g);
  };
#ifdef LOZENGIA_LIST_AVX2
  if (wide_vectors() && factors) {
    const int32_t cnt = list_blocks<Plus>(s, o, prev, n);
    make_draws(s, cnt);
    const int32_t done = model_groups<Kind, Plus>(s, t, o, n, cnt);
    blocks_from<Plus>(s, done, cnt, small, large);
    return;
  }
#endif
  for_blocks<Plus>(s, o, prev, n, small, large);
}

template <bool Plus>
void slice_any(Sweep& s, int32_t t, const int32_t* o, const int32_t* prev, int32_t* n) {
  switch (s.tables.kind()) {
    case kHahn: hahn_slice<Plus>(s, t, o, prev, n); break;
    case kQHahn: slice<kQHahn, Plus>(s, t, o, prev, n); break;
    case kRacah: slice<kRacah, Plus>(s, t, o, prev, n); break;
    case kTrigonometric: slice<kTrigonometric, Plus>(s, t, o, prev, n); break;
    default: slice<kImaginaryQRacah, Plus>(s, t, o, prev, n); break;
  }
}

void slice_plus(Sweep& s, int32_t t, const int32_t* o, const int32_t* prev, int32_t* n) {
  slice_any<true>(s, t, o, prev, n);
}
void slice_minus(Sweep& s, int32_t t, const int32_t* o, const int32_t* prev, int32_t* n) {
  slice_any<false>(s, t, o, prev, n);
}

template <bool Plus>
void full_sweep(const ModelTables& tables, int32_t N, int32_t T, int32_t S,
                const PathArray& old, PathArray& nw, ParkMiller& rng, MessageSink& sink) {
  Sweep s(tables, N, T, S, rng, sink);
  std::copy(old.slice(0), old.slice(0) + N, nw.slice(0));
  for (int32_t t = 1; t <= T; ++t) {
    if constexpr (Plus)
      slice_plus(s, t, old.slice(t), nw.slice(t - 1), nw.slice(t));
    else
      slice_minus(s, t, old.slice(t), nw.slice(t - 1), nw.slice(t));
  }
  s.chooser.finish();
}

}  // namespace

bool fast_sweep_wide_vectors(bool allow) {
  g_allow_avx2.store(allow);
#ifdef LOZENGIA_LIST_AVX2
  return allow && kHaveAvx2;
#else
  return false;
#endif
}

void fast_sweep_plus(const ModelTables& tables, int32_t N, int32_t T, int32_t S,
                     const PathArray& old, PathArray& nw, ParkMiller& rng, MessageSink& sink) {
  full_sweep<true>(tables, N, T, S, old, nw, rng, sink);
}

void fast_sweep_minus(const ModelTables& tables, int32_t N, int32_t T, int32_t S,
                      const PathArray& old, PathArray& nw, ParkMiller& rng, MessageSink& sink) {
  full_sweep<false>(tables, N, T, S, old, nw, rng, sink);
}

void exact_sample_streams(const HexagonParams& p, PathArray& paths, int64_t seed,
                          unsigned threads, MessageSink& sink,
                          std::atomic<int64_t>* sweeps_done) {
  const int32_t N = p.N, T = p.T, S = p.S;
  INIT_PATHS(N, T, 0, paths);
  if (S == 0) return;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  constexpr int32_t kBatch = 16;
  threads = static_cast<unsigned>(std::min<int64_t>(threads, (S + kBatch - 1) / kBatch));
  const ModelTables tables(N, T, p.model);
  PathArray other(N, T);
  INIT_PATHS(N, T, 0, other);
  // Sweep s reads array s % 2 and writes the other one.
  PathArray* arrays[2] = {&paths, &other};

  // Each thread takes batches of kBatch consecutive sweeps and runs them as a
  // wavefront of its own, each sweep one slice behind the one before: a
  // slice is then read and written by the whole batch while it is in the
  // core's cache, instead of once per sweep from the shared cache or memory
  // (the arrays of large hexagons are several times the core's cache).
  //
  // progress[s]: the last slice sweep s has finished. Sweep s may work on
  // slice t once sweep s-1 has finished it (its input slice is then written)
  // and sweep s-2 has finished slice t+1: the slice t that sweep s writes is
  // in the array sweep s-2 wrote, which sweep s-2 itself reads back as the
  // slice before while it works on slice t+1 (and sweep s-1 has read it).
  // Within a batch this holds by construction; the first sweep of a batch
  // waits for the last two of the batch before it, run by another thread.
  std::vector<std::atomic<int32_t>> progress(static_cast<std::size_t>(S));
  for (auto& a : progress) a.store(-1, std::memory_order_relaxed);
  std::atomic<int32_t> next{0};
  auto wait_for = [](std::atomic<int32_t>* a, int32_t& seen, int32_t want) {
    unsigned spins = 0;
    while (seen < want) {
      seen = a->load(std::memory_order_acquire);
      if (seen < want && ++spins > 64) std::this_thread::yield();
    }
  };
  auto worker = [&]() {
    std::vector<ParkMiller> rngs;
    std::deque<Sweep> sweeps;
    for (;;) {
      const int32_t s0 = next.fetch_add(kBatch);
      if (s0 >= S) return;
      const int32_t k = std::min(kBatch, S - s0);
      sweeps.clear();
      rngs.clear();
      rngs.reserve(static_cast<std::size_t>(k));  // the sweeps keep references
      for (int32_t j = 0; j < k; ++j) {
        rngs.emplace_back(stream_seed(seed, static_cast<uint64_t>(s0 + j)));
        sweeps.emplace_back(tables, N, T, s0 + j, rngs.back(), sink);
      }
      std::atomic<int32_t>* before = s0 > 0 ? &progress[static_cast<std::size_t>(s0 - 1)] : nullptr;
      std::atomic<int32_t>* before2 =
          s0 > 1 ? &progress[static_cast<std::size_t>(s0 - 2)] : nullptr;
      int32_t seen = before ? -1 : T;  // slices known finished by sweep s0-1
      int32_t seen2 = before2 ? -1 : T;  // and by sweep s0-2
      for (int32_t tau = 0; tau < T + k; ++tau) {
        if (tau <= T) {
          if (before) wait_for(before, seen, tau);
          if (before2) wait_for(before2, seen2, std::min(tau + 1, T));
        }
        for (int32_t j = std::max(0, tau - T); j < k && j <= tau; ++j) {
          const int32_t s = s0 + j, t = tau - j;
          const PathArray& old = *arrays[s % 2];
          PathArray& nw = *arrays[(s + 1) % 2];
          Sweep& sw = sweeps[static_cast<std::size_t>(j)];
          if (t == 0)
            std::copy(old.slice(0), old.slice(0) + N, nw.slice(0));
          else
            slice_plus(sw, t, old.slice(t), nw.slice(t - 1), nw.slice(t));
          progress[static_cast<std::size_t>(s)].store(t, std::memory_order_release);
          if (t == T) {
            sw.chooser.finish();
            if (sweeps_done) sweeps_done->fetch_add(1, std::memory_order_relaxed);
          }
        }
      }
    }
  };
  std::vector<std::thread> pool;
  for (unsigned k = 1; k < threads; ++k) pool.emplace_back(worker);
  worker();
  for (auto& th : pool) th.join();
  if (S % 2 == 1) paths.swap(other);
}

}  // namespace lozengia
