// Which vector instructions the sweep may use, and the floating-point contract
// that lets every one of its paths give the same bits.
//
// The contract: every weight, sum and threshold is computed by the same
// operations in the same order on every path (plain, 4-lane, later wider),
// each rounded once as IEEE double or single precision rounds it. Nothing may
// fuse a*b + c into one rounding, so the core is compiled with
// -ffp-contract=off (see CMakeLists.txt) and the vector code calls no fused
// multiply-add. Nothing reassociates sums (no -ffast-math).
//
// Vector instructions are used where the compiler targets x86-64 with GCC or
// clang; every use has a portable equivalent giving the same bits, which
// LOZENGIA_PORTABLE selects (to build and test it on x86-64 too).
#pragma once

#include <atomic>
#include <type_traits>

#if defined(__SSE2__) && !defined(LOZENGIA_PORTABLE)
// SSE2 is part of x86-64: used unconditionally.
#define LOZENGIA_SSE2 1
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__) && !defined(LOZENGIA_PORTABLE)
// AVX2 code is compiled into functions marked LOZENGIA_AVX2_FUNCTION, AVX-512
// code into functions marked LOZENGIA_AVX512_FUNCTION, each run only where
// the processor has it (chosen_vector_path). The _INLINE forms are for the
// small pieces a group's loop is made of, which must be inlined into it to
// keep their vectors in registers; _LAMBDA is the same for a lambda.
#define LOZENGIA_AVX2 1
#define LOZENGIA_AVX512 1
#define LOZENGIA_AVX512_TARGET "avx2,avx512f,avx512bw,avx512dq,avx512vl"
#define LOZENGIA_AVX2_FUNCTION __attribute__((target("avx2")))
#define LOZENGIA_AVX2_INLINE __attribute__((always_inline, target("avx2"))) inline
#define LOZENGIA_AVX2_LAMBDA __attribute__((always_inline, target("avx2")))
#define LOZENGIA_AVX512_FUNCTION __attribute__((target(LOZENGIA_AVX512_TARGET)))
#define LOZENGIA_AVX512_INLINE __attribute__((always_inline, target(LOZENGIA_AVX512_TARGET))) inline
#define LOZENGIA_AVX512_LAMBDA __attribute__((always_inline, target(LOZENGIA_AVX512_TARGET)))
// Around AVX-512 code: GCC 12 warns that its own AVX-512 intrinsics (the
// conversions _mm512_cvtps_pd, _mm512_cvtepi32_pd, _mm512_cvtpd_ps, the masked
// loads) read an uninitialised "undefined" vector, which they deliberately
// leave undefined: a false positive, silenced for that code only.
#if defined(__clang__)
#define LOZENGIA_AVX512_CODE_BEGIN
#define LOZENGIA_AVX512_CODE_END
#else
#define LOZENGIA_AVX512_CODE_BEGIN                                  \
  _Pragma("GCC diagnostic push")                                    \
  _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")       \
  _Pragma("GCC diagnostic ignored \"-Wuninitialized\"")
#define LOZENGIA_AVX512_CODE_END _Pragma("GCC diagnostic pop")
#endif
#include <immintrin.h>
#endif

namespace lozengia::sweep {

// The code a sweep runs, chosen once at its start (every slice of the sweep
// then runs the same instantiation, with no further test).
enum class VectorPath {
  kPlain,   // one block at a time, SSE2 at most: any x86-64, or portable C++
  kAvx2,    // four blocks at a time in 256-bit vectors
  kAvx512,  // Hahn's small blocks eight at a time in 512-bit vectors, the rest as kAvx2
};

// How many blocks the widest path may weigh at once (8, 4, or 1 for the plain
// path): all of them by default; tests lower it to check every path.
inline std::atomic<int> g_widest_lanes{8};

// Whether this processor has AVX2, asked once.
inline bool processor_has_avx2() {
#ifdef LOZENGIA_AVX2
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
#else
  return false;
#endif
}

// Whether this processor has the AVX-512 subsets the 8-lane path uses.
inline bool processor_has_avx512() {
#ifdef LOZENGIA_AVX512
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx2");
  }();
  return has;
#else
  return false;
#endif
}

// Calls f(std::integral_constant<VectorPath, Path>{}) for a path, so that
// each path's code is compiled on its own and chosen once.
template <class F>
decltype(auto) with_vector_path(VectorPath path, F&& f) {
  switch (path) {
    case VectorPath::kAvx512:
      return f(std::integral_constant<VectorPath, VectorPath::kAvx512>{});
    case VectorPath::kAvx2:
      return f(std::integral_constant<VectorPath, VectorPath::kAvx2>{});
    default:
      return f(std::integral_constant<VectorPath, VectorPath::kPlain>{});
  }
}

// The path of a sweep that starts now.
inline VectorPath chosen_vector_path() {
  const int widest = g_widest_lanes.load(std::memory_order_relaxed);
  if (widest >= 8 && processor_has_avx512()) return VectorPath::kAvx512;
  if (widest >= 4 && processor_has_avx2()) return VectorPath::kAvx2;
  return VectorPath::kPlain;
}

// The number of blocks a path weighs at once.
inline int lanes_of(VectorPath path) {
  return path == VectorPath::kAvx512 ? 8 : path == VectorPath::kAvx2 ? 4 : 1;
}

}  // namespace lozengia::sweep
