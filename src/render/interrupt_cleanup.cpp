#include "render/interrupt_cleanup.h"

#include <vector>

#include "render/pending_files.h"

namespace lozengia {

namespace {

extern "C" void undo_and_end(int sig) {
  undo_pending_files();
  // Held back until the handler returns, then delivered with the default
  // action: the process ends as the signal would have ended it.
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

// Every signal whose default action ends the process, except the two that a
// failed write raises (SIGPIPE, SIGXFSZ).
std::vector<int> ending_signals() {
  std::vector<int> s = {
      SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT,   SIGBUS,  SIGFPE, SIGUSR1,
      SIGSEGV,   SIGUSR2, SIGALRM, SIGTERM, SIGXCPU, SIGVTALRM, SIGPROF, SIGSYS, SIGIO,
#ifdef SIGSTKFLT
      SIGSTKFLT,
#endif
#ifdef SIGPWR
      SIGPWR,
#endif
  };
  for (int r = SIGRTMIN; r <= SIGRTMAX; ++r) s.push_back(r);
  return s;
}

}  // namespace

InterruptCleanup::InterruptCleanup() {
  struct sigaction undo {};
  undo.sa_handler = undo_and_end;
  // Nothing else runs on this thread while the files are undone.
  sigfillset(&undo.sa_mask);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  auto take = [&](int sig, const struct sigaction& action) {
    struct sigaction now {};
    if (sig <= 0 || sig >= NSIG || ::sigaction(sig, nullptr, &now) != 0) return;
    if (now.sa_handler != SIG_DFL || (now.sa_flags & SA_SIGINFO) != 0) return;
    taken_[sig] = ::sigaction(sig, &action, &old_[sig]) == 0;
  };
  for (const int sig : ending_signals()) take(sig, undo);
  take(SIGPIPE, ignore);
  take(SIGXFSZ, ignore);
}

InterruptCleanup::~InterruptCleanup() {
  for (int sig = 1; sig < NSIG; ++sig)
    if (taken_[sig]) ::sigaction(sig, &old_[sig], nullptr);
}

}  // namespace lozengia
