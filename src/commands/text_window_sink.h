// Core messages go to the text window; overflow reports to their own file.
// What one command writes of either is capped (render/report_file.h); the
// command's own progress lines are always shown.
#pragma once

#include <mutex>

#include "core/message_sink.h"
#include "platform/unit_windows.h"
#include "render/report_file.h"

namespace lozengia {

class TextWindowSink final : public MessageSink {
 public:
  explicit TextWindowSink(UnitWindows& windows) : windows_(windows) {}
  ~TextWindowSink() override { finish(); }
  // The command's sweeps are over: the lines counting what the caps left out
  // (before the command's own closing lines).
  void finish() {
    std::lock_guard<std::mutex> lock(m_);
    if (finished_) return;
    finished_ = true;
    if (const std::string last = lines_.closing_line(); !last.empty())
      windows_.write_line(kTextUnit, last);
    reports_.finish();
  }
  // Queued: never waits on the GUI thread.
  void line(const std::string& text) override {
    std::lock_guard<std::mutex> lock(m_);
    if (lines_.admit(text)) windows_.write_line(kTextUnit, text);
  }
  void progress_line(const std::string& text) override { windows_.write_line(kTextUnit, text); }
  void overflow_report(const std::string& text) override {
    std::lock_guard<std::mutex> lock(m_);
    reports_.add(text);
  }

 private:
  UnitWindows& windows_;
  std::mutex m_;
  MessageCap lines_;
  OverflowReports reports_;
  bool finished_ = false;
};

}  // namespace lozengia
