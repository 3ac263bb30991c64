// lozengia-cli's option reader on arbitrary arguments: the input is split at
// NUL bytes into argv. Reading must end in "run", "help" or a refusal with a
// message, never in a crash; options accepted for a run must be sound.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

using namespace lozengia;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args{"lozengia-cli"};
  std::string cur;
  for (std::size_t i = 0; i < size && args.size() < 64; ++i) {
    if (data[i] == 0) {
      args.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(static_cast<char>(data[i]));
    }
  }
  if (!cur.empty() && args.size() < 64) args.push_back(cur);
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  CliOptions opts;
  switch (parse_cli(static_cast<int>(argv.size()), argv.data(), out, err, opts)) {
    case CliParse::kHelp:
      if (out.str().empty()) __builtin_trap();
      break;
    case CliParse::kBadInput:
      if (err.str().empty()) __builtin_trap();
      break;
    case CliParse::kRun: {
      const HexagonParams& p = opts.params;
      if (p.N < 1 || p.T < 1 || p.S < 0 || p.S > p.T) __builtin_trap();
      if (opts.samples < 1 || opts.samples > 2147483647 || opts.count < 1 ||
          opts.count > (int64_t{1} << 40) || opts.samples > INT64_MAX / opts.count)
        __builtin_trap();
      if (opts.threads < 1 || opts.threads > 1024 || opts.style < 0 || opts.style > 5 ||
          opts.size_px < 16 || opts.size_px > 20000)
        __builtin_trap();
      if (!check_shape(p.N, p.T).empty()) __builtin_trap();
      // A limit given is a limit: never 0, which means the machine's room.
      if (!opts.max_memory_text.empty() && opts.max_memory == 0) __builtin_trap();
      // A run from a file continues one tiling: never several samples of it.
      if (!opts.from_path.empty() && (opts.count != 1 || opts.samples != 1 || opts.from_index < 1))
        __builtin_trap();
      break;
    }
  }
  return 0;
}
