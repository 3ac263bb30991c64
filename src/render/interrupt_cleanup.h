// While a program writes through the file writer, a signal that would end it
// (Ctrl-C, a scheduler's SIGTERM, a closed terminal, `timeout -s ALRM`, a CPU
// time limit's SIGXCPU, SIGQUIT, SIGUSR1, a crash...) first undoes the files
// under way (pending_files.h): temporary files are removed, a file written
// in place gets its old content back. The program then ends as the signal
// would have ended it, so the shell sees the status 128 + the signal.
// SIGPIPE and SIGXFSZ are ignored instead: a write to a pipe whose reader has
// gone, or past the file size limit (ulimit -f), fails with EPIPE or EFBIG and
// is reported like any failed write.
// Only signals whose action is the default one are taken over: a signal
// ignored on entry (a background job's SIGINT, nohup's SIGHUP) stays
// ignored, and a handler installed by someone else (a sanitizer's) stays.
#pragma once

#include <signal.h>

namespace lozengia {

// One at a time: the actions are process-wide.
class InterruptCleanup {
 public:
  InterruptCleanup();
  ~InterruptCleanup();  // the old actions back
  InterruptCleanup(const InterruptCleanup&) = delete;
  InterruptCleanup& operator=(const InterruptCleanup&) = delete;

 private:
  struct sigaction old_[NSIG] {};
  bool taken_[NSIG]{};
};

}  // namespace lozengia
