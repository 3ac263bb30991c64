// The windowing layer as the commands see it: windows addressed by unit
// numbers (10 text, 27 picture, 100 scratch), the menus they fill, the status
// bar, keys, message boxes, the export's file dialog, remembered settings.
// Built from small parts: the main window with its actions, slots and signals
// (main_window.h), the windows (window_registry.h, text_window.h,
// picture_window.h), the cross-thread call queue (gui_call_queue.h) and the
// key capture (key_capture.h).
//
// The Platform object lives on the GUI thread. Services marked "any thread"
// may be called from the program's own thread: they are carried out on the
// GUI thread, queued in order (text lines, status) or waited for.
#pragma once

#include <QImage>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "keys/key_source.h"
#include "platform/help_page.h"
#include "platform/main_window.h"
#include "platform/picture_window.h"

class QMdiSubWindow;

namespace lozengia {

constexpr int kTextUnit = 10;
constexpr int kPictureUnit = 27;
constexpr int kScratchUnit = 100;

class GuiCallQueue;
class KeyCapture;
class Settings;
class TextWindow;

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
  void open_scratch_window(const std::string& title);
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
  // Stop (the frame's stopRequested) is offered while `on`.
  void set_stop_available(bool on);
  bool redraw_after_each_command() const { return frame_->redraw_after_each_command(); }

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

  // Stops waiting calls from other threads; called when the program ends.
  void shutdown();
  bool shutting_down() const;

  // Inspection (GUI thread).
  TextWindow* text() const { return text_; }
  QString window_title(int unit) const;
  // The picture of unit 27.
  QImage picture() const;
  // The picture window that receives pictures (unit 27).
  PictureWindow* current_picture() const { return receiving_; }

 private:
  PictureWindow* open_picture_window_now(const QString& title);

  std::unique_ptr<Settings> settings_;
  std::unique_ptr<GuiCallQueue> gui_;
  std::unique_ptr<KeyCapture> keys_;
  std::unique_ptr<MainWindow> frame_;
  QMdiSubWindow* text_sub_ = nullptr;
  TextWindow* text_ = nullptr;
  QString scratch_title_;
  std::function<std::optional<std::string>()> save_name_source_;
  std::vector<HelpPage*> help_pages_;   // children of the frame
  PictureWindow* receiving_ = nullptr;  // unit 27; cleared when it is destroyed
};

}  // namespace lozengia
