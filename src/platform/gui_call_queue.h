// Calls from other threads carried out on the GUI thread: queued in order, or
// queued and waited for. The calls wait in a std::deque under a std::mutex and
// Qt's event queue only carries a bare wake-up event: a functor carried by
// Qt's own queue is handed over under Qt's lock, which ThreadSanitizer cannot
// see, so every cross-thread call would be reported.
//
// After shutdown() a waited call that has not started is dropped, so a thread
// never stays blocked on a GUI thread that is busy closing.
#pragma once

#include <QObject>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

namespace lozengia {

class GuiCallQueue : public QObject {
  Q_OBJECT
 public:
  // Lives on the thread that creates it: the GUI thread.
  GuiCallQueue() = default;

  bool on_gui_thread() const;
  // Runs `fn` on the GUI thread and waits for it; false if it was dropped
  // because of shutdown(). On the GUI thread itself `fn` runs at once.
  bool call(const std::function<void()>& fn);
  // Queues `fn` for the GUI thread, after every call queued before it; on the
  // GUI thread it runs at once.
  void post(std::function<void()> fn);

  void shutdown();
  bool shutting_down() const { return shutting_down_.load(); }

 private:
  void enqueue(std::function<void()> fn);
  void customEvent(QEvent* e) override;

  std::atomic<bool> shutting_down_{false};
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;  // guarded by mutex_
};

}  // namespace lozengia
