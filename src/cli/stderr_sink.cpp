#include "cli/stderr_sink.h"

#include "render/report_file.h"

namespace lozengia {

void StderrSink::line(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_);
  err_ << text << '\n';
}

void StderrSink::overflow_report(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_);
  const WriteStatus ws = append_overflow_report(text);
  if (ws != WriteStatus::kOk && !report_failed_) {
    err_ << write_status_message(ws) << ' ' << kOverflowReportFile << '\n';
    report_failed_ = true;
  }
}

void StderrSink::raw(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_);
  err_ << text << std::flush;
}

}  // namespace lozengia
