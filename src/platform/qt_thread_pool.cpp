#include "platform/qt_thread_pool.h"

#include <QThreadPool>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace lozengia {

int keep_qt_pool_threads() {
  QThreadPool* pool = QThreadPool::globalInstance();
  pool->setExpiryTimeout(-1);  // a started thread is never given back
  const int wanted = pool->maxThreadCount();
  // Each job holds its thread until every job has one (or the wait is over),
  // so that each gets a thread of its own rather than one reused.
  struct Gathering {
    std::mutex m;
    std::condition_variable cv;
    int arrived = 0;
  };
  auto g = std::make_shared<Gathering>();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  for (int k = 0; k < wanted; ++k)
    pool->start([g, wanted, until] {
      std::unique_lock<std::mutex> lock(g->m);
      ++g->arrived;
      g->cv.notify_all();
      g->cv.wait_until(lock, until, [&] { return g->arrived >= wanted; });
    });
  std::unique_lock<std::mutex> lock(g->m);
  g->cv.wait_until(lock, until, [&] { return g->arrived >= wanted; });
  return g->arrived;
}

}  // namespace lozengia
