// How a run of lozengia-cli is laid out: how many samples are held at once and
// how many workers sample them, within this machine's memory.
#pragma once

#include <cstdint>
#include <string>

#include "cli/cli_options.h"

namespace lozengia {

struct RunPlan {
  unsigned threads = 1;  // workers
  int64_t batch = 1;     // samples sampled, held and written at once
  std::string refused;   // not empty: the hexagon does not fit even so, and why
};

// Each worker holds its paths and its sampler's scratch array; each sample of
// a batch holds its result (an averaged one also a 64-bit sum, two arrays'
// worth). Fewer samples per batch and fewer workers change nothing in the
// output, so they are reduced until the arrays fit; a hexagon that does not
// fit even then is refused before anything is allocated.
RunPlan plan_run(const CliOptions& o);

// "pic.png" with index 3 of many -> "pic-3.png". Standard output, a pipe or a
// device takes every picture, one after the other.
std::string numbered(const std::string& path, int64_t index, int64_t count);

}  // namespace lozengia
