#include "render/report_file.h"

#include <algorithm>

namespace lozengia {

const char* const kOverflowReportFile = "fort.111";

WriteStatus append_overflow_report(const std::string& text, const std::string& file) {
  return append_to_file(file, text + '\n');
}

bool MessageCap::admit(const std::string& text) {
  const int64_t lines = 1 + std::count(text.begin(), text.end(), '\n');
  if (left_out_ == 0 && lines_ + lines <= kMaxLines && bytes_ + text.size() + 1 <= kMaxBytes) {
    lines_ += lines;
    bytes_ += text.size() + 1;
    return true;
  }
  // Once one message is left out, every later one is too: what is written
  // stays the run's first messages, in order.
  left_out_ += lines;
  return false;
}

std::string MessageCap::closing_line() const {
  if (left_out_ == 0) return {};
  // Appended, not "(" + string: GCC 12 warns on that (-Wrestrict, wrongly).
  std::string line = "(";
  line += std::to_string(left_out_);
  line += " more lines left out)";
  return line;
}

WriteStatus OverflowReports::add(const std::string& text) {
  if (!cap_.admit(text)) return {};
  return append_overflow_report(text, file_);
}

WriteStatus OverflowReports::finish() {
  const std::string last = cap_.closing_line();
  if (last.empty()) return {};
  return append_overflow_report(last, file_);
}

}  // namespace lozengia
