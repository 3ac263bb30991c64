#include "keys/keyboard_reader.h"

#include "core/worker_threads.h"

namespace lozengia {

KeyboardReader::KeyboardReader(KeySource& source)
    : source_(source), ring_([&source] { source.beep(); }) {}

KeyboardReader::~KeyboardReader() { stop(); }

bool KeyboardReader::start(int unit) {
  if (thread_.joinable()) {
    if (running_) return true;
    thread_.join();  // a reader that ended on a typed "Q": already gone
    source_.set_key_capture(unit_, false);
  }
  unit_ = unit;
  ring_.clear();
  stop_requested_ = false;
  ended_ = false;
  // Keys are kept from here on, so one typed before the thread reaches its
  // first read is not lost; no pause is needed for the thread to get going.
  source_.set_key_capture(unit, true);
  running_ = true;
  thread_ = try_start_thread([this, unit] { read_keys(unit); });
  if (thread_.joinable()) return true;
  running_ = false;
  source_.set_key_capture(unit, false);
  return false;
}

void KeyboardReader::stop() {
  if (!thread_.joinable()) return;
  stop_requested_ = true;
  // running_ is cleared only after the reader's last read, so when it is
  // already false no "Q" is needed; a surplus one is dropped with the capture.
  if (running_) source_.post_key(unit_, kStopKey);
  thread_.join();
  running_ = false;
  source_.set_key_capture(unit_, false);
}

void KeyboardReader::read_keys(int unit) {
  for (;;) {
    source_.focus(unit);
    const std::optional<char> key = source_.read_key(unit);
    if (!key || *key == kStopKey) break;
    if (ring_.push(*key) && on_key_) on_key_();
  }
  if (!stop_requested_) ended_ = true;
  running_ = false;
  if (ended_ && on_key_) on_key_();
}

bool KeyboardReader::key_waiting() const { return ring_.has_key() || ended_.load(); }

char KeyboardReader::take_key() { return ring_.take(); }

}  // namespace lozengia
