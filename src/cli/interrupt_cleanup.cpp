#include "cli/interrupt_cleanup.h"

#include "render/output_file.h"

namespace lozengia {

namespace {

extern "C" void remove_temporaries(int sig) {
  remove_open_temporaries();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

InterruptCleanup::InterruptCleanup() {
  struct sigaction sa {};
  sa.sa_handler = remove_temporaries;
  sigemptyset(&sa.sa_mask);
  for (int k = 0; k < 3; ++k) {
    installed_[k] = ::sigaction(kSignals[k], &sa, &old_[k]) == 0;
    // A signal ignored on entry (a background job's SIGINT, nohup's SIGHUP)
    // stays ignored.
    if (installed_[k] && old_[k].sa_handler == SIG_IGN) {
      ::sigaction(kSignals[k], &old_[k], nullptr);
      installed_[k] = false;
    }
  }
}

InterruptCleanup::~InterruptCleanup() {
  for (int k = 0; k < 3; ++k)
    if (installed_[k]) ::sigaction(kSignals[k], &old_[k], nullptr);
}

}  // namespace lozengia
