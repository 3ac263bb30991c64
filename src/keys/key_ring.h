// The keyboard reader's queue: 256 slots with two 8-bit indexes, head (last
// written) and tail (last read). Empty when head == tail, so one slot always
// stays unused and 255 keys fit. Safe to use from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>

namespace lozengia {

class KeyRing {
 public:
  static constexpr int kUsable = 255;

  // `beep` is called (outside the lock) when a key is refused because the ring
  // is full, and when a key is taken from an empty ring.
  explicit KeyRing(std::function<void()> beep = {}) : beep_(std::move(beep)) {}

  // Queues `c`; false, with a beep, when 255 keys are already waiting.
  bool push(char c);
  // True when a key waits.
  bool has_key() const;
  // Takes the oldest key; a blank, with a beep, when none waits.
  char take();
  // Drops every waiting key (head = tail = 0).
  void clear();
  int size() const;

 private:
  mutable std::mutex mutex_;
  std::array<char, 256> keys_{};
  uint8_t head_ = 0;  // guarded by mutex_; wraps at 256 by its type
  uint8_t tail_ = 0;  // guarded by mutex_
  std::function<void()> beep_;
};

}  // namespace lozengia
