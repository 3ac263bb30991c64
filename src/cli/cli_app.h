// lozengia-cli: exact samples, plane partition files and pictures without a
// display.
#pragma once

#include <iosfwd>

namespace lozengia {

// Runs the tool on its arguments. Returns the exit status: 0 success, 1 a file
// could not be written, 2 bad input.
int run_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace lozengia
