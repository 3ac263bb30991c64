#include "platform/qt_thread_pool.h"

#include <QThreadPool>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "core/worker_threads.h"

namespace lozengia {

int keep_qt_pool_threads() {
  QThreadPool* pool = QThreadPool::globalInstance();
  pool->setExpiryTimeout(-1);  // a started thread is never given back
  const int wanted = pool->maxThreadCount();
  // Each job holds its thread until all are started, so that the next job
  // needs a thread of its own instead of reusing that one.
  struct Gathering {
    std::mutex m;
    std::condition_variable cv;
    int arrived = 0;
    bool released = false;
  };
  auto g = std::make_shared<Gathering>();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  int arrived = 0;
  for (int k = 0; k < wanted; ++k) {
    // The pool does not notice a thread that fails to start: the job is
    // lost, and the pool waits for it for ever, at exit too. So a probe
    // thread must start first (and end, giving its place back).
    std::thread probe = try_start_thread([] {});
    if (!probe.joinable()) break;
    probe.join();
    pool->start([g, until] {
      std::unique_lock<std::mutex> lock(g->m);
      ++g->arrived;
      g->cv.notify_all();
      g->cv.wait_until(lock, until, [&] { return g->released; });
    });
    std::unique_lock<std::mutex> lock(g->m);
    if (!g->cv.wait_until(lock, until, [&] { return g->arrived > k; })) break;
    arrived = g->arrived;
  }
  {
    std::lock_guard<std::mutex> lock(g->m);
    g->released = true;
  }
  g->cv.notify_all();
  // The pool keeps to the threads it has: it never tries to start another.
  if (arrived > 0) pool->setMaxThreadCount(arrived);
  return arrived;
}

}  // namespace lozengia
