// lozengia-cli's options: what the command line asks for, read and checked.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "core/hexagon.h"
#include "core/params.h"

namespace lozengia {

// Printed after every refusal of the command line.
extern const char* const kUsageHint;

// Everything the command line asks for, read and checked.
struct CliOptions {
  HexagonParams params;
  int64_t seed = 0;
  bool seed_given = false;
  int64_t samples = 1;  // averaged runs per sample
  int64_t count = 1;    // independent samples
  unsigned threads = 1;
  std::string export_path, png_path, svg_path;
  // A file that can only be written in place is written even when no copy
  // of its old content can be kept (render/output_file.h).
  bool in_place = false;
  int32_t style = 0;  // 0: config.cfg's style
  int size_px = 800;
  // The most memory the run may take (--max-memory), 0: what the machine
  // has available.
  uint64_t max_memory = 0;
  std::string max_memory_text;
  // --from FILE: the run starts from the tiling of a plane partition file
  // (its partition `from_index`, counted from 1) instead of an exact sample.
  // The model as typed is checked once the file gives N, T and S (from
  // -N/-S where they were given: -N bounds the entries, -S moves the tiling
  // there with the operators).
  std::string from_path;
  int64_t from_index = 1;
  NewHexagonInput from_model;
  bool N_given = false, T_given = false, S_given = false;
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

// The run's seed: --seed's, or else one from the clock, written to `err`
// ("Seed N") when that is a terminal so that the run can be made again.
int64_t run_seed(const CliOptions& opts, std::ostream& err);

}  // namespace lozengia
