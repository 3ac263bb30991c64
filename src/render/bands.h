// Work cut into bands (of picture columns, of PNG rows) spread over threads.
#pragma once

#include "core/worker_threads.h"

namespace lozengia {

// Runs band(k) for k = 0..bands-1, each on a thread of its own and band 0 on
// the calling thread; when no more threads can be had, the bands left are
// run on the calling thread (a band's result does not depend on its thread).
// Returns when every band is done.
template <class Band>
void run_bands(int bands, const Band& band) {
  WorkerThreads pool;
  const int started =
      bands > 1 ? 1 + static_cast<int>(pool.start(static_cast<unsigned>(bands - 1), band, 1)) : 1;
  band(0);
  for (int k = started; k < bands; ++k) band(k);
  pool.join();
}

}  // namespace lozengia
