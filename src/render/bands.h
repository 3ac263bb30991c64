// Work cut into bands (of picture columns, of PNG rows) spread over threads.
#pragma once

#include <system_error>
#include <thread>
#include <vector>

namespace lozengia {

// Runs band(k) for k = 0..bands-1, each on a thread of its own and band 0 on
// the calling thread; when no more threads can be had, the bands left are
// run on the calling thread. Returns when every band is done.
template <class Band>
void run_bands(int bands, const Band& band) {
  std::vector<std::thread> pool;
  int started = 1;
  try {
    for (; started < bands; ++started) pool.emplace_back(band, started);
  } catch (const std::system_error&) {
    // No more threads: the rest are run below.
  }
  band(0);
  for (int k = started; k < bands; ++k) band(k);
  for (auto& th : pool) th.join();
}

}  // namespace lozengia
