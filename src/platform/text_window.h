// The text window ("Information and help"): the program's messages, one line
// each, read-only. Lines may be written from any thread; they are shown on
// the GUI thread in the order they were written, those that come faster than
// the window takes them appended together. Closing the window only hides it:
// lines that come meanwhile are kept and counted as unseen until it is shown.
#pragma once

#include <QPlainTextEdit>
#include <QStringList>
#include <mutex>
#include <string>

namespace lozengia {

class GuiCallQueue;

class TextWindow : public QPlainTextEdit {
  Q_OBJECT
 public:
  // A long step command writes a line per step; the oldest lines beyond
  // this many go, so that a run of millions of steps cannot fill memory.
  static constexpr int kMaxLines = 200000;

  explicit TextWindow(GuiCallQueue& gui, QWidget* parent = nullptr);

  // Any thread; queued, in order.
  void write_line(const std::string& text);
  QStringList lines() const;
  // Lines written while the window was hidden and not yet seen.
  int unseen_lines() const { return unseen_lines_; }
  // The window is looked at again: its lines are seen.
  void mark_seen();
  // Copies the selected text; false when nothing is selected.
  bool copy_selection();

 signals:
  // Lines came while the window was hidden (`count` unseen so far), or 0
  // once they were seen.
  void unseenLinesChanged(int count);

 private:
  // GUI thread: the lines waiting, and `text` after them (if any).
  void append_waiting(const QString* text);
  bool hidden() const;

  GuiCallQueue& gui_;
  int unseen_lines_ = 0;
  std::mutex waiting_mutex_;
  QStringList waiting_;  // guarded by waiting_mutex_: written, not yet shown
};

}  // namespace lozengia
