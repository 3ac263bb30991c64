#include "platform/text_window.h"

#include <QPointer>
#include <QScrollBar>

#include "platform/gui_call_queue.h"

namespace lozengia {

TextWindow::TextWindow(GuiCallQueue& gui, QWidget* parent) : QPlainTextEdit(parent), gui_(gui) {
  setReadOnly(true);
  // No text cursor: the window is for reading only.
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setCursorWidth(0);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setMaximumBlockCount(kMaxLines);
  QPalette colours = palette();
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, Qt::black);
  setPalette(colours);
  QFont mono("Monospace");
  mono.setStyleHint(QFont::TypeWriter);
  setFont(mono);
}

bool TextWindow::hidden() const {
  // In the frame's window area the subwindow around it is what is closed.
  const QWidget* outer = parentWidget() ? parentWidget() : this;
  return !outer->isVisible();
}

void TextWindow::write_line(const std::string& text) {
  if (gui_.on_gui_thread()) {
    // After the lines other threads wrote before it.
    const QString line = QString::fromStdString(text);
    append_waiting(&line);
    return;
  }
  bool first;
  {
    std::lock_guard<std::mutex> lock(waiting_mutex_);
    first = waiting_.isEmpty();
    waiting_.append(QString::fromStdString(text));
  }
  if (!first) return;  // the call posted for the first one takes it too
  // The window may be gone when the queue comes to the call (the frame
  // closing): the guard is read on the GUI thread only.
  gui_.post([window = QPointer<TextWindow>(this)] {
    if (window) window->append_waiting(nullptr);
  });
}

void TextWindow::append_waiting(const QString* text) {
  QStringList lines;
  {
    std::lock_guard<std::mutex> lock(waiting_mutex_);
    lines.swap(waiting_);
  }
  if (text) lines.append(*text);
  // None when a line written on the GUI thread took them first.
  if (lines.isEmpty()) return;
  // The newest line stays in sight, also while the window is closed, unless
  // the user has scrolled back to read.
  QScrollBar* bar = verticalScrollBar();
  const bool follow = !isVisible() || bar->value() >= bar->maximum() - 2;
  appendPlainText(lines.join('\n'));
  if (follow) bar->setValue(bar->maximum());
  if (hidden()) {
    unseen_lines_ += static_cast<int>(lines.size());
    emit unseenLinesChanged(unseen_lines_);
  }
}

void TextWindow::mark_seen() {
  if (unseen_lines_ == 0) return;
  unseen_lines_ = 0;
  emit unseenLinesChanged(0);
}

QStringList TextWindow::lines() const { return toPlainText().split('\n'); }

bool TextWindow::copy_selection() {
  if (!textCursor().hasSelection()) return false;
  copy();
  return true;
}

}  // namespace lozengia
