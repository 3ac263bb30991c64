#include "cli/progress_line.h"

#include <chrono>
#include <cstdio>

#include "core/worker_threads.h"

namespace lozengia {

ProgressLine::ProgressLine(bool shown, double total_sweeps, int64_t count, StderrSink& sink)
    : total_sweeps_(total_sweeps), count_(count), sink_(sink) {
  // Without a thread for it, the run goes on without the line.
  if (shown) thread_ = try_start_thread([this] { draw_until_stopped(); });
}

void ProgressLine::draw_until_stopped() {
  const auto started = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, std::chrono::milliseconds(250), [&] { return finished_; })) {
    if (std::chrono::steady_clock::now() - started < std::chrono::seconds(1)) continue;
    const double done = static_cast<double>(sweeps_done_.load(std::memory_order_relaxed));
    char line[64];
    std::snprintf(line, sizeof line, "\r%5.1f%% of %lld sample(s)", 100.0 * done / total_sweeps_,
                  static_cast<long long>(count_));
    sink_.raw(line);
    drawn_ = true;
  }
}

void ProgressLine::stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  wake_.notify_all();
  thread_.join();
  if (drawn_) sink_.raw("\n");
}

}  // namespace lozengia
