// The sweeps of interactive and live mode: runs of sweeps on the hexagon's own
// arrays, on every core, each sweep on its own stream (sweep_streams), their
// messages shown in the order of sweeps made one after another.
#pragma once

#include <cstdint>

#include "core/fast_sweep.h"
#include "core/hexagon.h"
#include "core/message_sink.h"

namespace lozengia {

// Runs the sweeps `how` asks for (its plus, steps, seed, first_sweep,
// alternate, threads and stop; the rest is filled in here) on `hex`, whose S
// follows: the number of sweeps made is returned. A run too small to gain
// from threads runs on the calling thread. The sweeps' messages reach `sink`
// on the calling thread once the sweeps are made, in sweep order.
int32_t sweep_hexagon(Hexagon& hex, StreamSweeps how, MessageSink& sink);

// The seed of a run of sweeps: one draw of the program's generator.
int64_t run_seed(RandomSource& rng);

}  // namespace lozengia
