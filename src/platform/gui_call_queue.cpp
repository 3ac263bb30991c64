#include "platform/gui_call_queue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <memory>

namespace lozengia {

namespace {
const QEvent::Type kRunTasksEvent = static_cast<QEvent::Type>(QEvent::User + 27);
}

bool GuiCallQueue::on_gui_thread() const { return QThread::currentThread() == thread(); }

void GuiCallQueue::shutdown() { shutting_down_.store(true); }

bool GuiCallQueue::call(const std::function<void()>& fn) {
  if (on_gui_thread()) {
    fn();
    return true;
  }
  if (shutting_down_) return false;
  struct Call {
    std::mutex m;
    std::condition_variable cv;
    enum { kQueued, kRunning, kDone, kAbandoned } state = kQueued;
  };
  auto c = std::make_shared<Call>();
  // `fn` is used only while the caller waits below, so it is not copied.
  enqueue([c, &fn] {
    {
      std::lock_guard<std::mutex> lock(c->m);
      if (c->state == Call::kAbandoned) return;  // the caller has left
      c->state = Call::kRunning;
    }
    fn();
    {
      std::lock_guard<std::mutex> lock(c->m);
      c->state = Call::kDone;
    }
    c->cv.notify_all();
  });
  std::unique_lock<std::mutex> lock(c->m);
  while (c->state != Call::kDone) {
    if (shutting_down_ && c->state == Call::kQueued) {
      c->state = Call::kAbandoned;
      return false;
    }
    // Woken by completion; the timeout only serves to notice a shutdown.
    c->cv.wait_for(lock, std::chrono::milliseconds(20));
  }
  return true;
}

void GuiCallQueue::post(std::function<void()> fn) {
  if (on_gui_thread()) {
    fn();
    return;
  }
  enqueue(std::move(fn));
}

void GuiCallQueue::enqueue(std::function<void()> fn) {
  bool wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // One wake-up per batch: the GUI thread takes the whole queue at once.
    wake = tasks_.empty();
    tasks_.push_back(std::move(fn));
  }
  if (wake) QCoreApplication::postEvent(this, new QEvent(kRunTasksEvent));
}

void GuiCallQueue::customEvent(QEvent*) {
  // The wake-up is the only event of a user type this object receives; the
  // event itself is not read (it was made on another thread). The calls run
  // for a slice of time at most: a thread that queues faster than the GUI
  // thread carries them out (a flood of text lines on a loaded machine) must
  // not keep the keys and the mouse waiting, Esc among them. The rest runs
  // after the input that came meanwhile.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(40);
  for (;;) {
    std::function<void()> fn;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (tasks_.empty()) return;
      fn = std::move(tasks_.front());
      tasks_.pop_front();
    }
    fn();
    if (std::chrono::steady_clock::now() >= until) {
      std::lock_guard<std::mutex> lock(mutex_);
      // enqueue() wakes only an empty queue: the rest needs a wake-up of its own.
      if (!tasks_.empty()) QCoreApplication::postEvent(this, new QEvent(kRunTasksEvent));
      return;
    }
  }
}

}  // namespace lozengia
