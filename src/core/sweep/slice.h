// One slice of a sweep, for the code that schedules sweeps (the wavefront of
// exact samples); defined with the rest of the sweep in core/fast_sweep.cpp.
#pragma once

#include <cstdint>

#include "core/sweep/isa.h"
#include "core/sweep/workspace.h"

namespace lozengia::sweep {

// Slice t (1..T) of a sweep: reads the old heights of slice t and the new
// heights of slice t - 1, writes the new heights of slice t.
using SliceFunction = void (*)(SweepWorkspace& work, int32_t t, const int32_t* old_heights,
                               const int32_t* new_before, int32_t* new_heights);

// The slice function of a sweep on a path, for a model kind and a direction
// (S->S+1 when `plus`): chosen once per sweep, so that no slice tests them.
SliceFunction slice_function(VectorPath path, ModelKind kind, bool plus);

}  // namespace lozengia::sweep
