// lozengia-cli --from: a run that starts from the tiling of a plane
// partition file instead of an exact sample, moved to -S by the operators
// when asked (continuing the dynamics), then written like any sample.
#pragma once

#include <iosfwd>

#include "cli/cli_options.h"

namespace lozengia {

// The exit status as run_options's: 2 also for a file that cannot be read
// or is not a plane partition (the message names the line and column).
int run_from_file(const CliOptions& o, std::ostream& err);

}  // namespace lozengia
