// The file that collects the S->S+1 operator's overflow reports.
#pragma once

#include <string>

namespace lozengia {

// Name of the report file in the working directory.
extern const char* const kOverflowReportFile;

// Appends one report; a failure to write is ignored, as the report never stops
// a step.
void append_overflow_report(const std::string& text, const std::string& file = kOverflowReportFile);

}  // namespace lozengia
