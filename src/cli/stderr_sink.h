// Where lozengia-cli's messages go: the operators' lines and the progress
// line to standard error, overflow reports to the report file in the working
// directory, as in the desktop program.
#pragma once

#include <mutex>
#include <ostream>
#include <string>

#include "core/message_sink.h"

namespace lozengia {

class StderrSink final : public MessageSink {
 public:
  explicit StderrSink(std::ostream& err) : err_(err) {}
  void line(const std::string& text) override;
  // A report that cannot be written is told once; the run goes on.
  void overflow_report(const std::string& text) override;
  // Text as it is, flushed (the progress line), under the same lock as the
  // operators' lines so that the two never interleave.
  void raw(const std::string& text);

 private:
  std::mutex m_;
  std::ostream& err_;
  bool report_failed_ = false;
};

}  // namespace lozengia
