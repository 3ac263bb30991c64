#include "core/worker_threads.h"

namespace lozengia {

std::string thread_shortfall_line(unsigned started, unsigned asked) {
  return "Only " + std::to_string(started) + " of " + std::to_string(asked) +
         " threads could be started; the work runs on " + (started == 1 ? "one" : "those") +
         " (the same results, only slower).";
}

void ThreadShortfall::note(unsigned started, unsigned asked) {
  if (started >= asked) return;
  std::string line;
  {
    std::lock_guard<std::mutex> lock(m_);
    if (noted_) return;
    noted_ = true;
    started_ = started;
    asked_ = asked;
    if (sink_ == nullptr) return;
    told_ = true;
    line = thread_shortfall_line(started, asked);
  }
  sink_->line(line);
}

std::string ThreadShortfall::take_line() {
  std::lock_guard<std::mutex> lock(m_);
  if (!noted_ || told_) return {};
  told_ = true;
  return thread_shortfall_line(started_, asked_);
}

bool ThreadShortfall::noted() const {
  std::lock_guard<std::mutex> lock(m_);
  return noted_;
}

}  // namespace lozengia
