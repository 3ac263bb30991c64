// Runs what lozengia-cli's options ask for: samples drawn batch by batch over
// a pool of threads, averaged when asked, written to the outputs.
#pragma once

#include <iosfwd>

#include "cli/cli_options.h"

namespace lozengia {

// The exit status: 0 success, 1 an output could not be written, 2 a run
// refused before any work (more memory than it may take, an SVG too large). Messages go to `err`; samples and
// pictures asked for on standard output ("-") to descriptor 1.
int run_options(const CliOptions& o, std::ostream& err);

}  // namespace lozengia
