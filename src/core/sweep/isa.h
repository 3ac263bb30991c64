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
// AVX2 code is compiled into functions marked target("avx2") and run only
// where the processor has it.
#define LOZENGIA_AVX2 1
#include <immintrin.h>
#endif

namespace lozengia::sweep {

// The code a sweep runs, chosen once at its start (every slice of the sweep
// then runs the same instantiation, with no further test).
enum class VectorPath {
  kPlain,  // one block at a time, SSE2 at most: any x86-64, or portable C++
  kAvx2,   // four blocks at a time in 256-bit vectors
};

// Whether tests allow the wider paths (they do by default).
inline std::atomic<bool> g_allow_wide_vectors{true};

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

// Calls f(std::integral_constant<VectorPath, Path>{}) for a path, so that
// each path's code is compiled on its own and chosen once.
template <class F>
decltype(auto) with_vector_path(VectorPath path, F&& f) {
  switch (path) {
    case VectorPath::kAvx2: return f(std::integral_constant<VectorPath, VectorPath::kAvx2>{});
    default: return f(std::integral_constant<VectorPath, VectorPath::kPlain>{});
  }
}

// The path of a sweep that starts now.
inline VectorPath chosen_vector_path() {
  if (processor_has_avx2() && g_allow_wide_vectors.load(std::memory_order_relaxed))
    return VectorPath::kAvx2;
  return VectorPath::kPlain;
}

}  // namespace lozengia::sweep
