#include "cli/interrupt_cleanup.h"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

namespace lozengia {

namespace {

// The path is copied where the handler can read it without allocating,
// before the handler is armed; the flag is a lock-free atomic, which a
// handler may read whichever thread it runs on.
char g_temporary[PATH_MAX + 16];
std::atomic<bool> g_armed{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void remove_temporary(int sig) {
  if (g_armed.load()) ::unlink(g_temporary);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

InterruptCleanup::InterruptCleanup(const std::string& path) {
  if (path.empty() || path.size() >= sizeof g_temporary) return;
  std::memcpy(g_temporary, path.c_str(), path.size() + 1);
  g_armed.store(true);
  struct sigaction sa {};
  sa.sa_handler = remove_temporary;
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
  forget();
  for (int k = 0; k < 3; ++k)
    if (installed_[k]) ::sigaction(kSignals[k], &old_[k], nullptr);
}

void InterruptCleanup::forget() { g_armed.store(false); }

}  // namespace lozengia
