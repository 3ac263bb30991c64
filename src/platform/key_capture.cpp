#include "platform/key_capture.h"

#include <QEventLoop>
#include <QThread>

namespace lozengia {

namespace {
// Keys beyond this many, unread, are dropped: nobody types that far ahead.
constexpr std::size_t kMaxKeptKeys = 4096;
// Exit code of the nested loop of a read on the GUI thread when woken.
constexpr int kLoopWoken = 1;
}  // namespace

void KeyCapture::set_capturing(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  capturing_ = on;
  keys_.clear();
}

bool KeyCapture::capturing() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return capturing_;
}

void KeyCapture::typed(char c) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!capturing_ || keys_.size() >= kMaxKeptKeys) return;
    keys_.push_back(c);
  }
  cv_.notify_all();
  emit wake();
}

void KeyCapture::shutdown() {
  {
    // Taken so that a reader between its check and its wait cannot miss this.
    std::lock_guard<std::mutex> lock(mutex_);
    shut_.store(true);
  }
  cv_.notify_all();
  emit wake();
}

std::optional<char> KeyCapture::take_locked() {
  if (keys_.empty()) return std::nullopt;
  const char c = keys_.front();
  keys_.pop_front();
  return c;
}

std::optional<char> KeyCapture::read() {
  if (QThread::currentThread() == thread()) {
    for (;;) {
      QEventLoop loop;
      // Connected before the checks: a wake-up sent from another thread after
      // them is queued for this loop and not lost.
      QObject::connect(this, &KeyCapture::wake, &loop, [&loop] { loop.exit(kLoopWoken); });
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shut_) return std::nullopt;
        if (auto c = take_locked()) return c;
      }
      // Paints, resizes, the menus and the close box all go on here. Any
      // other way out (the application quitting) means no key will come.
      if (loop.exec() != kLoopWoken) return std::nullopt;
    }
  }
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [this] { return shut_.load() || !keys_.empty(); });
  if (shut_) return std::nullopt;
  return take_locked();
}

}  // namespace lozengia
