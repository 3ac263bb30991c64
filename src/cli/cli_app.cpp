#include "cli/cli_app.h"

#include <new>
#include <ostream>

#include "cli/runner.h"
#include "render/interrupt_cleanup.h"

namespace lozengia {

int run_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  // From the start: the export's temporary file (or the copy of a file
  // written in place) is made before anything is sampled, and standard error
  // may be a pipe whose reader goes away at any time.
  const InterruptCleanup cleanup;
  CliOptions opts;
  switch (parse_cli(argc, argv, out, err, opts)) {
    case CliParse::kHelp:
      return 0;
    case CliParse::kBadInput:
      return 2;
    case CliParse::kRun:
      break;
  }
  try {
    return run_options(opts, err);
  } catch (const std::bad_alloc&) {
    err << "Not enough memory for this run\n";
    return 1;
  }
}

}  // namespace lozengia
