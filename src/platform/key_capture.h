// The keys typed in the picture window, kept while a capture is on and handed
// out one by one. A read blocks on any thread: on the GUI thread it runs a
// nested event loop, so the windows stay alive while it waits; on any other
// thread it waits on a condition variable. shutdown() wakes every read.
#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace lozengia {

class KeyCapture : public QObject {
  Q_OBJECT
 public:
  // Starts or ends keeping keys; either way the unread ones are dropped.
  void set_capturing(bool on);
  bool capturing() const;
  // A key typed in the window that receives keys (GUI thread). Ignored when
  // no capture is on.
  void typed(char c);
  // Blocks until a key is kept; nothing once shutdown() was called.
  std::optional<char> read();
  void shutdown();

 signals:
  // A key was kept, or shutdown() began: a nested read rechecks.
  void wake();

 private:
  std::optional<char> take_locked();

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<char> keys_;   // guarded by mutex_
  bool capturing_ = false;  // guarded by mutex_
  std::atomic<bool> shut_{false};
};

}  // namespace lozengia
