// lozengia-cli: exact samples, plane partition files and pictures without a
// display. The tool is a small library (src/cli/): options, run plan, runner,
// outputs, progress line and interrupt clean-up; this is its entry point.
#pragma once

#include <iosfwd>

#include "cli/cli_options.h"

namespace lozengia {

// Runs the tool on its arguments. Returns the exit status: 0 success, 1 a file
// could not be written (or the memory for the run is not there), 2 bad input.
// `out` takes the help text; samples and pictures asked for on standard
// output ("-") are written to descriptor 1 by the file writer, every write
// checked.
int run_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace lozengia
