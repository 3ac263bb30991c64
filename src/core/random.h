// Random source: the Park-Miller minimal standard generator (multiplier 48271,
// modulus 2^31-1). Every draw is a single-precision number in (0, 1).
#pragma once

#include <cstdint>
#include <mutex>

namespace lozengia {

class ParkMiller {
 public:
  static constexpr uint32_t kModulus = 2147483647u;  // 2^31 - 1
  static constexpr uint32_t kMultiplier = 48271u;

  explicit ParkMiller(int64_t seed = 1) { this->seed(seed); }

  // Any integer is accepted; it is reduced modulo 2^31-1 and a zero state (which
  // the generator could never leave) is replaced by the state of seed -1.
  void seed(int64_t s) {
    int64_t r = s % static_cast<int64_t>(kModulus);
    if (r < 0) r += kModulus;
    if (r == 0) r = kModulus - 1;
    state_ = static_cast<uint32_t>(r);
  }

  // One step of the recurrence: state * 48271 mod (2^31 - 1) without a
  // division, since 2^31 = 1 (mod 2^31 - 1) folds the high part onto the low.
  static uint32_t advance(uint32_t state) {
    const uint64_t x = static_cast<uint64_t>(state) * kMultiplier;
    const uint32_t r = static_cast<uint32_t>((x & kModulus) + (x >> 31));
    return r >= kModulus ? r - kModulus : r;
  }

  // state * 2^-31, rounded to single precision. The largest states would round
  // to exactly 1.0f; they are kept just below 1 so that the threshold
  // (1 - u) * Z of the operators never becomes 0 and never selects an outcome
  // of weight 0.
  static float to_float(uint32_t state) {
    const float u = static_cast<float>(static_cast<double>(state) * (1.0 / 2147483648.0));
    return u < 0.99999994f ? u : 0.99999994f;  // largest float below 1
  }

  uint32_t next_raw() {
    state_ = advance(state_);
    return state_;
  }
  float next_float() { return to_float(next_raw()); }

  // For loops that keep the state in a register and hand it back.
  void set_state(uint32_t s) { state_ = s; }
  uint32_t state() const { return state_; }

 private:
  uint32_t state_ = 1;
};

// The program's shared generator: one state, guarded by a lock, so that the
// command thread and the interactive mode on the GUI thread may both draw.
class RandomSource {
 public:
  explicit RandomSource(int64_t seed = 1) : gen_(seed) {}
  void seed(int64_t s) {
    std::lock_guard<std::mutex> lock(m_);
    gen_.seed(s);
  }
  float next_float() {
    std::lock_guard<std::mutex> lock(m_);
    return gen_.next_float();
  }
  // Runs fn(ParkMiller&) holding the lock: a whole sweep draws in one go, in
  // the same order as draw by draw, without a lock per block.
  template <class Fn>
  void with_lock(Fn&& fn) {
    std::lock_guard<std::mutex> lock(m_);
    fn(gen_);
  }

 private:
  std::mutex m_;
  ParkMiller gen_;
};

// A seed made from the clock (wall-clock time and a monotonic count combined).
int64_t clock_seed();

// Seed of stream `index` derived from `seed`: independent samples and sweeps
// get their own streams, so a seed gives the same output however the work is
// spread over threads or machines.
int64_t stream_seed(int64_t seed, uint64_t index);

}  // namespace lozengia
