// lozengia-cli: exact samples, plane partition files and pictures without a
// display.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "core/hexagon.h"

namespace lozengia {

// Everything the command line asks for, read and checked.
struct CliOptions {
  HexagonParams params;
  int64_t seed = 0;
  bool seed_given = false;
  int64_t samples = 1;  // averaged runs per sample
  int64_t count = 1;    // independent samples
  unsigned threads = 1;
  std::string export_path, png_path, svg_path;
  int32_t style = 0;  // 0: config.cfg's style
  int size_px = 800;
};

enum class CliParse {
  kRun,       // options read and accepted: run them
  kHelp,      // the help text was written to `out`: exit 0
  kBadInput,  // the reason and a hint were written to `err`: exit 2
};

// Reads and checks the arguments (the model's values through the "New"
// dialog's own check) without sampling or touching any file.
CliParse parse_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                   CliOptions& opts);

// Runs the tool on its arguments. Returns the exit status: 0 success, 1 a file
// could not be written (or the memory for the run is not there), 2 bad input.
// `out` takes the help text; samples and pictures asked for on standard
// output ("-") are written to descriptor 1 by the file writer, every write
// checked.
int run_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace lozengia
