// What a piece of work will allocate, counted before anything is, so that a
// front-end can refuse a run that would not fit (core/memory_limit.h) instead
// of failing half way. Each count is derived from the sizes the allocations
// themselves use (tests/test_memory.cpp checks them against the allocator).
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace lozengia {

// Sums and products that stop at the largest count instead of wrapping: a
// hostile size must give a huge need, never a small one.
inline uint64_t add_bytes(uint64_t a, uint64_t b) {
  return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max()
                                                      : a + b;
}
inline uint64_t times_bytes(uint64_t k, uint64_t bytes) {
  if (k != 0 && bytes > std::numeric_limits<uint64_t>::max() / k)
    return std::numeric_limits<uint64_t>::max();
  return k * bytes;
}

struct MemoryNeed {
  uint64_t bytes = 0;    // the allocations of the work, at their largest at once
  unsigned threads = 0;  // threads the work starts besides the calling one

  MemoryNeed& operator+=(const MemoryNeed& o) {
    bytes = add_bytes(bytes, o.bytes);
    threads += o.threads;
    return *this;
  }
};

inline MemoryNeed operator+(MemoryNeed a, const MemoryNeed& b) { return a += b; }
inline MemoryNeed bytes_only(uint64_t bytes) { return MemoryNeed{bytes, 0}; }
// `k` of the same at once.
inline MemoryNeed times(uint64_t k, const MemoryNeed& n) {
  return MemoryNeed{times_bytes(k, n.bytes),
                    static_cast<unsigned>(std::min<uint64_t>(
                        times_bytes(k, n.threads), std::numeric_limits<unsigned>::max()))};
}
// Two pieces of work one after the other: the larger of each.
inline MemoryNeed larger(const MemoryNeed& a, const MemoryNeed& b) {
  return MemoryNeed{std::max(a.bytes, b.bytes), std::max(a.threads, b.threads)};
}

// An N x (T+1) PathArray.
inline uint64_t path_array_bytes(int64_t N, int64_t T) {
  return times_bytes(times_bytes(static_cast<uint64_t>(std::max<int64_t>(N, 0)),
                                 static_cast<uint64_t>(std::max<int64_t>(T + 1, 0))),
                     sizeof(int32_t));
}

}  // namespace lozengia
