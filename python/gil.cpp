#include "gil.h"

#include <unistd.h>

#include <atomic>

namespace lozengia::pymod {

namespace {

std::atomic<unsigned long> main_thread{0};

// Whether taking the lock back would have Python end this thread: the
// interpreter is being finalised, by another thread (the main one; the
// finalising thread itself keeps the lock, and must never be parked).
bool ending_this_thread() {
#if PY_VERSION_HEX >= 0x030D0000
  const bool finalizing = Py_IsFinalizing() != 0;
#else
  const bool finalizing = _Py_IsFinalizing() != 0;
#endif
  return finalizing && PyThread_get_thread_ident() != main_thread.load();
}

}  // namespace

void remember_main_thread(unsigned long ident) { main_thread.store(ident); }

void take_back_gil(PyThreadState* state) {
  if (ending_this_thread())
    for (;;) ::pause();  // until the process exits
  // Should finalisation begin just now, Python ends the thread in here; the
  // frames it unwinds are plain ones.
  PyEval_RestoreThread(state);
}

}  // namespace lozengia::pymod
