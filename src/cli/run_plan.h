// How a run of lozengia-cli is laid out: how many samples are held at once and
// how many workers sample them, within the memory the run may take.
#pragma once

#include <cstdint>
#include <string>

#include "cli/cli_options.h"
#include "core/memory_need.h"

namespace lozengia {

struct RunPlan {
  unsigned threads = 1;  // workers
  int64_t batch = 1;     // samples sampled, held and written at once
  MemoryNeed need;       // what the run takes, laid out so
  std::string refused;   // not empty: the run does not fit even so, and why
};

// What a run of `o` allocates with `threads` workers and batches of `batch`
// samples: the model's tables (built once and shared), the batch's results
// (an averaged one as a 64-bit sum, two arrays' worth), then at one time the
// workers (each its paths, its second array and its sweeps' workspaces) and
// at another the outputs (the export's rows, a picture's pixels and its
// encoder, the SVG writer).
MemoryNeed run_need(const CliOptions& o, unsigned threads, int64_t batch);

// Fewer samples per batch and fewer workers change nothing in the output,
// so they are reduced until the run fits in the memory it may take
// (o.max_memory, or what the machine has available); a run that does not fit
// even then is refused before anything is allocated, with "Not enough
// memory for this run" and what it would need.
RunPlan plan_run(const CliOptions& o);

// "pic.png" with index 3 of many -> "pic-3.png". Standard output, a pipe or a
// device takes every picture, one after the other.
std::string numbered(const std::string& path, int64_t index, int64_t count);

}  // namespace lozengia
