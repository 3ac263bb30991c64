#include "render/report_file.h"

namespace lozengia {

const char* const kOverflowReportFile = "fort.111";

WriteStatus append_overflow_report(const std::string& text, const std::string& file) {
  return append_to_file(file, text + '\n');
}

}  // namespace lozengia
