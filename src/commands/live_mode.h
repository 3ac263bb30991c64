// "Live": a timed sequence of transitions, redrawn after each, until a key is
// typed in the picture window, Stop (Esc) is chosen, or a one-way run reaches
// its bound. The dialog on the GUI thread; the run in the command loop.
#pragma once

#include <cstdint>

namespace lozengia {

class Program;

class LiveMode {
 public:
  static constexpr int32_t kDefaultDelayMs = 50;

  explicit LiveMode(Program& program) : program_(program) {}
  void open();
  void run(int32_t code);

 private:
  Program& program_;
};

}  // namespace lozengia
