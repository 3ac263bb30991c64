// The file that collects the S->S+1 operator's overflow reports, and the cap
// on what one run writes of them and of the operators' other messages: a
// model that overflows on every block must not fill the disk, the terminal or
// the text window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "render/output_file.h"

namespace lozengia {

// Name of the report file in the working directory.
extern const char* const kOverflowReportFile;

// Appends one report through the project's file writer.
WriteStatus append_overflow_report(const std::string& text,
                                   const std::string& file = kOverflowReportFile);

// What one run (a lozengia-cli run, a desktop command) writes of one kind of
// message: whole messages up to the first 1000 lines (and 4 MiB), then one
// line telling how many lines were left out.
class MessageCap {
 public:
  static constexpr int64_t kMaxLines = 1000;
  static constexpr std::size_t kMaxBytes = std::size_t{4} << 20;
  // Whether `text` (one line, or several separated by '\n') is written; a
  // message left out is counted.
  bool admit(const std::string& text);
  // "(N more lines left out)", empty when nothing was left out.
  std::string closing_line() const;

 private:
  int64_t lines_ = 0, left_out_ = 0;
  std::size_t bytes_ = 0;
};

// One run's overflow reports, appended to the report file, capped. Not
// thread-safe: its sink serialises the calls.
class OverflowReports {
 public:
  explicit OverflowReports(std::string file = kOverflowReportFile) : file_(std::move(file)) {}
  // kOk also for a report left out. A report that cannot be written never
  // stops a step: the status is only for telling the user.
  WriteStatus add(const std::string& text);
  // Appends the line counting the reports' lines left out, if any.
  WriteStatus finish();
  const std::string& file() const { return file_; }

 private:
  std::string file_;
  MessageCap cap_;
};

}  // namespace lozengia
