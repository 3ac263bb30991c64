// "Interactive mode": one operator per key typed in the picture window, each
// result drawn at once. Runs inside its menu callback on the GUI thread; the
// key read keeps the windows alive while it waits.
#pragma once

#include <memory>

#include "core/worker_threads.h"

namespace lozengia {

class Program;

class InteractiveMode {
 public:
  explicit InteractiveMode(Program& program) : program_(program) {}
  void run();
  // One key, upper case read as lower case; true when it changed the tiling.
  bool apply_key(char key);
  // The key as the mode reads it: upper-case letters as their lower case,
  // Esc as "q".
  static char normalise(char key);

 private:
  Program& program_;
  // Fewer threads than asked are told once per run of the mode.
  std::unique_ptr<ThreadShortfall> shortfall_;
};

}  // namespace lozengia
