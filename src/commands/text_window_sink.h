// Core messages go to the text window; overflow reports to their own file.
#pragma once

#include "core/message_sink.h"
#include "platform/platform.h"
#include "render/report_file.h"

namespace lozengia {

class TextWindowSink final : public MessageSink {
 public:
  explicit TextWindowSink(Platform& p) : platform_(p) {}
  // Queued: never waits on the GUI thread.
  void line(const std::string& text) override { platform_.write_line(kTextUnit, text); }
  void overflow_report(const std::string& text) override { append_overflow_report(text); }

 private:
  Platform& platform_;
};

}  // namespace lozengia
