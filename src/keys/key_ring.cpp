#include "keys/key_ring.h"

namespace lozengia {

bool KeyRing::push(char c) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint8_t next = static_cast<uint8_t>(head_ + 1);
    if (next != tail_) {
      head_ = next;
      keys_[head_] = c;
      return true;
    }
  }
  // Full: the key is dropped and the user hears it.
  if (beep_) beep_();
  return false;
}

bool KeyRing::has_key() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return head_ != tail_;
}

char KeyRing::take() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (head_ != tail_) {
      tail_ = static_cast<uint8_t>(tail_ + 1);
      return keys_[tail_];
    }
  }
  if (beep_) beep_();
  return ' ';
}

void KeyRing::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  head_ = tail_ = 0;
}

int KeyRing::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<uint8_t>(head_ - tail_);
}

}  // namespace lozengia
