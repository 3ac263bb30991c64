// Work cut into bands (of picture columns, of PNG rows) spread over threads.
#pragma once

#include <exception>
#include <mutex>

#include "core/worker_threads.h"

namespace lozengia {

// Runs band(k) for k = 0..bands-1, each on a thread of its own and band 0 on
// the calling thread; when no more threads can be had, the bands left are
// run on the calling thread (a band's result does not depend on its thread).
// Returns when every band is done. A band that fails (no memory for its
// buffers) must not end the process from its thread: the first failure is
// thrown on the calling thread once every band has ended.
template <class Band>
void run_bands(int bands, const Band& band) {
  std::mutex failure_mutex;
  std::exception_ptr failure;
  auto guarded = [&](int k) {
    try {
      band(k);
    } catch (...) {
      std::lock_guard<std::mutex> lock(failure_mutex);
      if (!failure) failure = std::current_exception();
    }
  };
  {
    WorkerThreads pool;
    const int started =
        bands > 1 ? 1 + static_cast<int>(pool.start(static_cast<unsigned>(bands - 1), guarded, 1))
                  : 1;
    guarded(0);
    for (int k = started; k < bands; ++k) guarded(k);
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace lozengia
