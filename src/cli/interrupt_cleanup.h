// While an export is written through a temporary file, an interrupt (Ctrl-C,
// a scheduler's SIGTERM, a closed terminal) removes that file, then ends the
// program as the signal would have.
#pragma once

#include <signal.h>

#include <string>

namespace lozengia {

// One at a time: the handler reads a single process-wide path.
class InterruptCleanup {
 public:
  // `path` empty (nothing to remove): nothing is installed.
  explicit InterruptCleanup(const std::string& path);
  ~InterruptCleanup();
  InterruptCleanup(const InterruptCleanup&) = delete;
  InterruptCleanup& operator=(const InterruptCleanup&) = delete;
  // The temporary file is about to become the export: no longer removed.
  void forget();

 private:
  static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction old_[3]{};
  bool installed_[3] = {false, false, false};
};

}  // namespace lozengia
