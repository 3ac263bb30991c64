// A long run on a terminal shows its progress on one line of standard error,
// counted in sweeps over every run, redrawn four times a second after the
// first second.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "cli/stderr_sink.h"

namespace lozengia {

class ProgressLine {
 public:
  // `shown` false (standard error is not a terminal): no thread, no line,
  // the counter is still there for the samplers to count into.
  ProgressLine(bool shown, double total_sweeps, int64_t count, StderrSink& sink);
  ~ProgressLine() { stop(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // The sweeps done so far, counted by the samplers.
  std::atomic<int64_t>& sweeps_done() { return sweeps_done_; }
  // Ends the line (with a newline, if one was drawn); idempotent.
  void stop();

 private:
  void draw_until_stopped();

  std::atomic<int64_t> sweeps_done_{0};
  const double total_sweeps_;
  const int64_t count_;
  StderrSink& sink_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool finished_ = false;
  bool drawn_ = false;  // only the drawing thread writes it until joined
  std::thread thread_;
};

}  // namespace lozengia
