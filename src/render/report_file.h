// The file that collects the S->S+1 operator's overflow reports.
#pragma once

#include <string>

#include "render/output_file.h"

namespace lozengia {

// Name of the report file in the working directory.
extern const char* const kOverflowReportFile;

// Appends one report through the project's file writer. The status is only
// for telling the user: a report that cannot be written never stops a step.
WriteStatus append_overflow_report(const std::string& text,
                                   const std::string& file = kOverflowReportFile);

}  // namespace lozengia
