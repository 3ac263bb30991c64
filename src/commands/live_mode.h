// "Live": a timed sequence of transitions, redrawn after each (or, with no
// delay, after each batch of about a frame's sweeping), until a key is typed
// in the picture window, Stop (Esc) is chosen, or a one-way run reaches its
// bound. The dialog on the GUI thread; the run in the command loop.
#pragma once

#include <cstdint>

#include "commands/pending_command.h"

namespace lozengia {

class Program;

class LiveMode {
 public:
  static constexpr int32_t kDefaultDelayMs = 50;

  explicit LiveMode(Program& program) : program_(program) {}
  void open();
  void run(const LiveRun& command);

  // Without a delay the steps run in batches of about one frame of sweeping
  // each (longer when the picture takes longer to draw), on every core, the
  // picture redrawn after each batch.
  static constexpr double kFrameSeconds = 0.040;
  // A batch never holds more steps (small hexagons sweep in microseconds).
  static constexpr int32_t kMaxBatchSteps = 1 << 16;
  // The steps of the next batch after one of `steps` steps took `seconds`
  // and the picture after it `draw_seconds`.
  static int32_t next_batch(int32_t steps, double seconds, double draw_seconds);

 private:
  Program& program_;
};

}  // namespace lozengia
