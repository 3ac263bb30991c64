// The windowing layer the program talks to: windows addressed by unit numbers
// (10 text, 27 picture, 100 scratch), menus, message boxes, file dialogs, the
// status bar, remembered settings. Built from small parts: the main window
// with its actions (main_window.h), the windows (window_registry.h,
// picture_window.h), the cross-thread call queue (gui_call_queue.h) and the
// key capture (key_capture.h).
//
// The Platform object lives on the GUI thread. Services marked "any thread"
// may be called from the program's own thread: they are carried out on the
// GUI thread, queued in order (text lines, status) or waited for.
#pragma once

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/help_page.h"
#include "platform/key_source.h"
#include "platform/main_window.h"
#include "platform/picture_window.h"

class QMdiSubWindow;
class QMenu;
class QPlainTextEdit;
class QPrinter;

namespace lozengia {

constexpr int kTextUnit = 10;
constexpr int kPictureUnit = 27;
constexpr int kScratchUnit = 100;

class GuiCallQueue;
class KeyCapture;
class Settings;
class WindowRegistry;

struct PlatformOptions {
  QString settings_path;  // empty: the user's own settings
};

class Platform : public QObject, public KeySource {
  Q_OBJECT
 public:
  explicit Platform(PlatformOptions options = {});
  ~Platform() override;

  MainWindow* frame() const { return frame_.get(); }
  void show_frame();

  // Windows (any thread).
  void open_text_window(const std::string& title);
  void write_line(int unit, const std::string& text);  // queued, in order
  void clear_window(int unit);
  // Opens unit 27 as a new picture window; an earlier one stays on screen
  // with its picture but no longer receives pictures.
  void open_picture_window(const std::string& title);
  // The scratch window is the off-screen image a picture is drawn into.
  void open_scratch_window(const std::string& title, int size_state);
  void focus(int unit) override;
  // Shows `tiling` in the window of `unit` (unit 27), reopening it when the
  // user closed it, and brings it to the front. From another thread the
  // picture is drawn on that thread and shown whole when done; on the GUI
  // thread it is drawn on the window's own drawing thread.
  void show_tiling(int unit, std::shared_ptr<const TilingSnapshot> tiling);
  // The program's tiling is now `version` of this hexagon and model, the
  // average of `averaged` samples (any thread): older pictures say so.
  void set_present_tiling(uint64_t version, const HexagonParams& params, int32_t averaged);

  // Menus and status (any thread).
  void build_menus(const std::vector<MenuEntry>& commands, const std::vector<MenuEntry>& help);
  void set_commands_enabled(bool on);
  void set_status(const std::string& text);
  // A running command: `total` 0 for one without a known end.
  void show_progress(int done, int total, const std::string& text);
  void end_progress();
  // Stop (Esc, the status bar's button) calls `handler` while available.
  void set_stop_handler(std::function<void()> handler);
  void set_stop_available(bool on);
  bool redraw_after_each_command() const { return redraw_after_.load(); }

  // Keys (any thread).
  void set_key_capture(int unit, bool on) override;
  std::optional<char> read_key(int unit) override;
  void post_key(int unit, char c) override;
  void beep() override;

  // A message box shown when the GUI thread comes to it (any thread; not
  // waited for: the caller carries on).
  void post_message_box(const std::string& text, const std::string& caption);

  // Runs `fn` on the GUI thread and waits for it (any thread); false when
  // dropped because the program is closing.
  bool run_on_gui(const std::function<void()>& fn);

  // GUI thread only.
  Settings& settings() const { return *settings_; }
  void message_box(const std::string& text, const std::string& caption);
  // Shows the help page titled `title`, made by `make` the first time; it is
  // kept (with its pictures) when closed, and shown again as it was.
  void show_help_page(const QString& title, const std::function<HelpContent()>& make);
  HelpPage* help_page(const QString& title) const;
  // Asks for a file name to export to; empty when cancelled. Tests may
  // replace the dialog with a source of names.
  std::optional<std::string> ask_save_file_name();
  void set_save_file_name_source(std::function<std::optional<std::string>()> source);
  // "Save image as..": a name and the chosen type; tests may replace the
  // dialog with a source of both.
  using ImageNameSource = std::function<std::optional<std::pair<QString, QString>>()>;
  void set_image_name_source(ImageNameSource source);
  // "Save view as..": what `window` shows, at its zoom, as PNG or BMP; the
  // dialog may be replaced by a source of a name and a type as above.
  void set_view_name_source(ImageNameSource source);
  void save_view_dialog(PictureWindow* window);
  // Copy (Ctrl+C): the text selected in the text window when it is the
  // active one, else the picture looked at (or `window`).
  void copy(PictureWindow* window = nullptr);
  // The right-click menu's choice of a style for the picture of `window`
  // and the pictures to come: the program takes it through `handler`.
  void set_style_handler(std::function<void(int32_t)> handler);
  // Prints the tiling of the picture window looked at, as vector shapes.
  bool print_picture(QPrinter& printer) const;
  void restore_defaults();

  // Stops waiting calls from other threads; called when the program ends.
  void shutdown();
  bool shutting_down() const;

  // Inspection (GUI thread).
  QStringList text_lines() const;
  QString window_title(int unit) const;
  QImage picture(int unit) const;
  QMenu* commands_menu() const { return frame_->commands_menu(); }
  QMenu* help_menu() const { return frame_->help_menu(); }
  QMenu* image_menu() const { return frame_->file_menu(); }
  bool commands_enabled() const { return frame_->commands_enabled(); }
  QList<QMdiSubWindow*> picture_windows() const;
  PictureWindow* current_picture() const;
  // The picture a picture window shows (also one that no longer receives
  // pictures).
  static QImage picture_in(const QMdiSubWindow* window);
  QMdiSubWindow* text_window() const { return text_sub_; }
  WindowRegistry& registry() const;
  // Lines written while the text window was closed and not yet seen.
  int unseen_lines() const { return unseen_lines_; }

 signals:
  void commandsEnabledChanged(bool on);

 private:
  PictureWindow* open_picture_window_now(const QString& title);
  void save_image_dialog();
  void print_picture_dialog();
  void picture_menu(PictureWindow* window, QPoint at);
  // GUI thread: `count` lines, joined by newlines, at the end of the text.
  void append_lines(const QString& text, int count);

  std::unique_ptr<Settings> settings_;
  std::unique_ptr<GuiCallQueue> gui_;
  std::unique_ptr<KeyCapture> keys_;
  std::unique_ptr<MainWindow> frame_;
  QMdiSubWindow* text_sub_ = nullptr;
  QPlainTextEdit* text_ = nullptr;
  QString scratch_title_;
  QImage scratch_;  // GUI thread: the last picture drawn off-screen
  std::function<std::optional<std::string>()> save_name_source_;
  ImageNameSource image_name_source_;
  ImageNameSource view_name_source_;
  std::function<void(int32_t)> style_handler_;
  std::vector<HelpPage*> help_pages_;  // children of the frame
  std::function<void()> stop_handler_;
  std::atomic<bool> redraw_after_{false};
  int unseen_lines_ = 0;
  std::mutex lines_mutex_;
  QStringList pending_lines_;  // guarded by lines_mutex_: written, not yet shown
  PictureWindow* receiving_ = nullptr;  // unit 27; cleared when it is destroyed
};

}  // namespace lozengia
