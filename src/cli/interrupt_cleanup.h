// While a run writes through temporary files (the export from its start, each
// picture while it is written), an interrupt (Ctrl-C, a scheduler's SIGTERM,
// a closed terminal) removes them, then ends the program as the signal would
// have. The files they replace keep their old contents.
#pragma once

#include <signal.h>

namespace lozengia {

// One at a time: the handler is process-wide.
class InterruptCleanup {
 public:
  InterruptCleanup();
  ~InterruptCleanup();
  InterruptCleanup(const InterruptCleanup&) = delete;
  InterruptCleanup& operator=(const InterruptCleanup&) = delete;

 private:
  static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction old_[3]{};
  bool installed_[3] = {false, false, false};
};

}  // namespace lozengia
