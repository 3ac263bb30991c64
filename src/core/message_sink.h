// Where the core's messages go: the text window in the desktop program,
// standard error in the command-line tool, a list in the tests.
#pragma once

#include <string>
#include <vector>

namespace lozengia {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // One line of text (no trailing newline).
  virtual void line(const std::string& text) = 0;
  // The S->S+1 operator's report of a weight above 1e8: a block's context and
  // its whole weight vector. Kept apart from the text lines because it goes to
  // a file of its own.
  virtual void overflow_report(const std::string& text) { line(text); }
  // A line about the command's own progress ("Iteration 3 S=12"): never left
  // out, as the operators' lines may be when a run makes too many.
  virtual void progress_line(const std::string& text) { line(text); }
};

// Formats a real the way the program's messages show numbers: the shortest
// text that reads back as the same double.
std::string format_real(double v);

class NullSink final : public MessageSink {
 public:
  void line(const std::string&) override {}
  void overflow_report(const std::string&) override {}
};

class CollectSink final : public MessageSink {
 public:
  void line(const std::string& text) override { lines.push_back(text); }
  void overflow_report(const std::string& text) override { reports.push_back(text); }
  std::vector<std::string> lines;
  std::vector<std::string> reports;
};

}  // namespace lozengia
