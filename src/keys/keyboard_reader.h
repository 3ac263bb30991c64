// The keyboard reader: lets the command loop ask whether a key was typed in a
// window without blocking. A reader thread blocks on the window's key read and
// queues each key in a KeyRing; the loop peeks and takes keys from the ring.
//
// A typed "Q" ends the reader and is never queued; stop sends a "Q" to the
// window so that the blocked read returns, then joins the thread. When the
// windowing layer closes, the read returns with no key and the reader ends as
// well, so no thread is ever left blocked.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "keys/key_ring.h"
#include "keys/key_source.h"

namespace lozengia {

class KeyboardReader {
 public:
  static constexpr char kStopKey = 'Q';

  explicit KeyboardReader(KeySource& source);
  ~KeyboardReader();  // stops and joins a running reader
  KeyboardReader(const KeyboardReader&) = delete;
  KeyboardReader& operator=(const KeyboardReader&) = delete;

  // Called on the reader thread after a key was queued and when the reader
  // ends by itself: lets a waiting loop wake at once. Set it before start.
  void set_on_key(std::function<void()> fn) { on_key_ = std::move(fn); }

  // Starts the reader on the window of `unit` with an empty ring; nothing if
  // one runs already. False when its thread cannot be started: no key is
  // then read (nor captured) until the next start.
  bool start(int unit);
  // Stops the reader and waits for its thread; keys not taken are dropped
  // with the next start. Safe to call when no reader runs.
  void stop();
  // True when a key waits, and also when the reader has ended by itself (a
  // typed "Q", or the window closing): no key could be seen any more, so a
  // loop that runs until a key arrives must stop rather than run forever.
  bool key_waiting() const;
  // The oldest waiting key; a blank, with a beep, when none waits.
  char take_key();

  bool running() const { return running_.load(); }
  bool ended_by_itself() const { return ended_.load(); }
  int waiting_keys() const { return ring_.size(); }

 private:
  void read_keys(int unit);

  KeySource& source_;
  KeyRing ring_;
  std::function<void()> on_key_;
  std::thread thread_;  // started and joined by the controlling thread only
  int unit_ = 0;
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_requested_{false};
  std::atomic<bool> ended_{false};
};

}  // namespace lozengia
