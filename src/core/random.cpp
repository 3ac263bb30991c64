#include "core/random.h"

#include <chrono>

namespace lozengia {

int64_t clock_seed() {
  using namespace std::chrono;
  const auto wall = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
  const auto mono = duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
  int64_t s = static_cast<int64_t>(wall ^ (mono << 7));
  return s == 0 ? -1 : s;
}

int64_t stream_seed(int64_t seed, uint64_t index) {
  // splitmix64 of (seed, index): well spread, and fixed on every machine.
  uint64_t z = static_cast<uint64_t>(seed) + 0x9E3779B97F4A7C15ull * (index + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<int64_t>(z % (ParkMiller::kModulus - 1)) + 1;
}

}  // namespace lozengia
