// The windowing layer: a frame with child windows addressed by unit numbers
// (10 text, 27 picture, 100 scratch), the menu bar, message boxes, the
// save-file dialog and the frame's own "Save image as.." and "Print image".
//
// The Platform object lives on the GUI thread. Services marked "any thread"
// may be called from the program's own thread: they are carried out on the
// GUI thread, either queued in order (text lines) or waited for. After
// shutdown() a waiting call that has not started is dropped, so a program
// thread never stays blocked on a GUI thread that is busy closing.
//
// Keys typed in the picture window are kept while a key capture is on and
// handed out by read_key(), which blocks on any thread: on the GUI thread it
// runs a nested event loop, so the windows stay alive while it waits; on any
// other thread it waits on a condition variable fed by the picture window's
// key events. shutdown() wakes every such read.
#pragma once

#include <QImage>
#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/key_source.h"

class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPainter;
class QPrinter;

namespace lozengia {

constexpr int kTextUnit = 10;
constexpr int kPictureUnit = 27;
constexpr int kScratchUnit = 100;

struct MenuEntry {
  std::string label;
  std::function<void()> callback;
};

class PictureView;

class Frame : public QMainWindow {
  Q_OBJECT
 public:
  using QMainWindow::QMainWindow;
  std::function<void()> on_close;

 protected:
  void closeEvent(QCloseEvent* e) override;
};

class Platform : public QObject, public KeySource {
  Q_OBJECT
 public:
  Platform();
  ~Platform() override;

  Frame* frame() const { return frame_; }
  void show_frame();

  // Windows (any thread).
  void open_text_window(const std::string& title);
  void write_line(int unit, const std::string& text);  // queued, in order
  void clear_window(int unit);
  // Opens unit 27 as a new picture window; an earlier one stays on screen
  // with its picture but no longer receives pictures.
  void open_picture_window(const std::string& title);
  // The scratch window is an off-screen image, never shown.
  void open_scratch_window(const std::string& title, int size_state);
  void focus(int unit) override;
  QSize picture_size(int unit);
  // Draws into the scratch image, resized to `size`, on the calling thread.
  void draw_in_scratch(QSize size, const std::function<void(QPainter&, QSize)>& draw);
  // Copies the whole scratch image into the window of `unit` in one step and
  // brings it to the front.
  void copy_scratch_to(int unit);

  // Menus (any thread). The "Commands" menu gets `commands` in order, the
  // help menu `help`.
  void build_menus(const std::vector<MenuEntry>& commands, const std::vector<MenuEntry>& help);
  void set_commands_enabled(bool on);

  // Keys (any thread).
  void set_key_capture(int unit, bool on) override;
  std::optional<char> read_key(int unit) override;
  // Delivered to the picture window as a key event; queued directly when
  // there is no picture window.
  void post_key(int unit, char c) override;
  void beep() override;
  int beeps() const { return beeps_.load(); }

  // GUI thread only.
  void message_box(const std::string& text, const std::string& caption);
  // Asks for a file name to save to; empty when cancelled. Tests may replace
  // the dialog with a source of names.
  std::optional<std::string> ask_save_file_name();
  void set_save_file_name_source(std::function<std::optional<std::string>()> source);
  // The frame's own entries: the current picture as BMP (PNG when the name
  // ends in .png); false when it could not be written, an old file then stays
  // as it was.
  bool save_picture(const QString& path) const;
  bool print_picture(QPrinter& printer) const;

  // Stops waiting calls from other threads; called when the program ends.
  void shutdown();
  bool shutting_down() const { return shutting_down_.load(); }

  // Inspection (GUI thread).
  QStringList text_lines() const;
  QString window_title(int unit) const;
  QImage picture(int unit) const;
  QMenu* commands_menu() const { return commands_menu_; }
  QMenu* help_menu() const { return help_menu_; }
  QMenu* image_menu() const { return image_menu_; }
  bool commands_enabled() const;
  QList<QMdiSubWindow*> picture_windows() const;
  // The picture a picture window shows (also one that no longer receives
  // pictures).
  static QImage picture_in(const QMdiSubWindow* window);
  QMdiSubWindow* text_window() const { return text_sub_; }

 signals:
  void commandsEnabledChanged(bool on);
  // A key was kept, or shutdown() began: a nested read rechecks.
  void keyWake();

 private:
  // Runs `fn` on the GUI thread and waits for it; false if it was dropped
  // because the program is shutting down.
  bool on_gui(const std::function<void()>& fn);
  void post(std::function<void()> fn);
  // Calls for the GUI thread from other threads wait in `tasks_`, handed over
  // under a std::mutex; Qt's event queue only carries a bare wake-up event.
  // (A functor carried by Qt's queue is handed over under Qt's own lock, which
  // ThreadSanitizer cannot see, so every cross-thread call was reported.)
  void enqueue(std::function<void()> fn);
  void customEvent(QEvent* e) override;
  PictureView* current_picture() const;
  void save_picture_dialog();
  void print_picture_dialog();
  // GUI thread: a key typed in `view` (0 for a key without text).
  void key_typed(const PictureView* view, char c);

  Frame* frame_ = nullptr;
  QMdiArea* mdi_ = nullptr;
  QMenu* commands_menu_ = nullptr;
  QMenu* image_menu_ = nullptr;
  QMenu* help_menu_ = nullptr;
  QMdiSubWindow* text_sub_ = nullptr;
  QPlainTextEdit* text_ = nullptr;
  QPointer<QMdiSubWindow> picture_sub_;
  PictureView* picture_ = nullptr;
  QList<QMdiSubWindow*> pictures_;
  QString scratch_title_;
  mutable std::mutex scratch_mutex_;
  QImage scratch_;
  std::atomic<bool> shutting_down_{false};
  std::function<std::optional<std::string>()> save_name_source_;

  // Keys. Kept only from the current picture window and only while a capture
  // is on; pushed on the GUI thread, read on any.
  std::mutex key_mutex_;
  std::condition_variable key_cv_;
  std::deque<char> keys_;       // guarded by key_mutex_
  bool capturing_ = false;      // guarded by key_mutex_
  std::atomic<int> beeps_{0};

  std::mutex tasks_mutex_;
  std::deque<std::function<void()>> tasks_;  // guarded by tasks_mutex_
};

}  // namespace lozengia
