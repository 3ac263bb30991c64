#include "render/report_file.h"

#include <fstream>

namespace lozengia {

const char* const kOverflowReportFile = "fort.111";

void append_overflow_report(const std::string& text, const std::string& file) {
  std::ofstream os(file, std::ios::app);
  if (os) os << text << '\n';
}

}  // namespace lozengia
