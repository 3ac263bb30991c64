#include "cli/stderr_sink.h"

namespace lozengia {

StderrSink::~StderrSink() { finish(); }

void StderrSink::line(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_);
  if (lines_.admit(text)) err_ << text << '\n';
}

void StderrSink::progress_line(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_);
  err_ << text << '\n';
}

void StderrSink::report_failed(const WriteStatus& status) {
  if (status == WriteStatus::kOk || report_failed_) return;
  err_ << write_failure_text(status, reports_.file()) << '\n';
  report_failed_ = true;
}

void StderrSink::overflow_report(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_);
  report_failed(reports_.add(text));
}

void StderrSink::raw(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_);
  err_ << text << std::flush;
}

void StderrSink::finish() {
  std::lock_guard<std::mutex> lock(m_);
  if (finished_) return;
  finished_ = true;
  if (const std::string last = lines_.closing_line(); !last.empty()) err_ << last << '\n';
  report_failed(reports_.finish());
  err_ << std::flush;
}

}  // namespace lozengia
