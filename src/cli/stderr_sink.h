// Where lozengia-cli's messages go: the operators' lines and the progress
// line to standard error, overflow reports to the report file in the working
// directory, as in the desktop program. What one run writes of either is
// capped (render/report_file.h).
#pragma once

#include <mutex>
#include <ostream>
#include <string>

#include "core/message_sink.h"
#include "render/report_file.h"

namespace lozengia {

class StderrSink final : public MessageSink {
 public:
  explicit StderrSink(std::ostream& err) : err_(err) {}
  ~StderrSink() override;  // finish()
  void line(const std::string& text) override;
  void progress_line(const std::string& text) override;
  // A report that cannot be written is told once; the run goes on.
  void overflow_report(const std::string& text) override;
  // Text as it is, flushed (the progress line), under the same lock as the
  // operators' lines so that the two never interleave.
  void raw(const std::string& text);
  // The run is over: the lines counting what the caps left out, on standard
  // error and in the report file.
  void finish();

 private:
  void report_failed(const WriteStatus& status);
  std::mutex m_;
  std::ostream& err_;
  MessageCap lines_;
  OverflowReports reports_;
  bool report_failed_ = false, finished_ = false;
};

}  // namespace lozengia
