// The frame: a main window holding the text and picture windows in an MDI
// area, with its menus, actions, shortcuts and status bar. It owns every
// action and decides in one place, update_actions(), which are enabled. Its
// own actions (save, print, copy, restore defaults, a picture's right-click
// menu) are its slots (main_window_files.cpp for those that write a picture
// out); what the program must hear of (closing, Stop, a style chosen) it
// says by its signals.
#pragma once

#include <QMainWindow>
#include <QPoint>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "render/tiling.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QPrinter;
class QProgressBar;
class QToolButton;

namespace lozengia {

class PictureWindow;
class Settings;
class TextWindow;
class WindowRegistry;

struct MenuEntry {
  std::string label;  // with "&" before the mnemonic letter
  std::function<void()> callback;
  std::string shortcut;  // as QKeySequence reads it; empty for none
};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(Settings& settings);
  ~MainWindow() override;

  QMdiArea* mdi() const { return mdi_; }
  WindowRegistry& registry() const { return *registry_; }
  // The text window, once the program has opened it.
  TextWindow* text_window() const;

  // The "Commands" menu gets `commands` in order, the help menu `help`.
  void set_menus(const std::vector<MenuEntry>& commands, const std::vector<MenuEntry>& help);

  // State that decides what is enabled.
  void set_commands_enabled(bool on);
  bool commands_enabled() const { return commands_enabled_; }
  void set_stop_available(bool on);
  void update_actions();

  // Status bar: the model and parameters; progress of a running command;
  // the zoom of the picture looked at.
  void set_status(const QString& text);
  QString status() const;
  QString zoom_text() const;
  void show_progress(int done, int total, const QString& text);
  void end_progress();
  QString progress_text() const;

  // Restores the saved geometry, else a size that suits the screen.
  void restore_geometry();
  // Puts the text window and the first picture window where they were left
  // in the last run, or side by side.
  void place_windows();

  QMenu* commands_menu() const { return commands_menu_; }
  QMenu* file_menu() const { return file_menu_; }
  QMenu* window_menu() const { return window_menu_; }
  QMenu* help_menu() const { return help_menu_; }
  QAction* stop_action() const { return stop_; }
  QAction* exit_action() const { return exit_; }
  QAction* save_action() const { return save_; }
  QAction* copy_action() const { return copy_; }
  QAction* print_action() const { return print_; }
  QAction* redraw_action() const { return redraw_after_; }
  QAction* restore_defaults_action() const { return restore_defaults_; }
  QAction* zoom_in_action() const { return zoom_in_; }
  QAction* zoom_out_action() const { return zoom_out_; }
  QAction* fit_action() const { return fit_; }

  // "Redraw after each command" (any thread).
  bool redraw_after_each_command() const { return redraw_after_each_.load(); }

  void message_box(const std::string& text, const std::string& caption);

  // "Save image as..": a name and the chosen type; tests may replace the
  // dialogs of "Save image as.." and "Save view as.." with a source of both.
  using ImageNameSource = std::function<std::optional<std::pair<QString, QString>>()>;
  void set_image_name_source(ImageNameSource source) { image_name_source_ = std::move(source); }
  void set_view_name_source(ImageNameSource source) { view_name_source_ = std::move(source); }
  // Prints the tiling of the picture window looked at, as vector shapes.
  bool print_picture(QPrinter& printer) const;

 public slots:
  // "Save image as..": the whole tiling of the picture looked at.
  void save_image();
  // "Save view as..": what `window` (else the picture looked at) shows, at
  // its zoom, as PNG or BMP.
  void save_view(PictureWindow* window = nullptr);
  // Copy (Ctrl+C): the text selected in the text window when it is the
  // active one, else the picture of `window` (or the one looked at).
  void copy(PictureWindow* window = nullptr);
  void print_image();
  void restore_defaults();
  // A picture's right-click menu, at `at` on the screen.
  void show_picture_menu(PictureWindow* window, QPoint at);
  // A menu entry's work ran out of memory on this thread (std::bad_alloc
  // stops here: thrown on into Qt's event loop it would end the program).
  void report_out_of_memory();

 signals:
  void commandsEnabledChanged(bool on);
  // The frame is closing: the program thread must end before it goes.
  void closing();
  // Stop (Esc, the status bar's button).
  void stopRequested();
  // A style chosen in a picture's right-click menu, for the pictures to come.
  void styleChosen(StyleNumber style);

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  // Keeps the two windows' places for the next run (closeEvent).
  void remember_window_places();
  void fill_window_menu();
  void show_zoom();
  // Runs a menu entry's `fn`, if any, catching what it leaves unhandled.
  void run_guarded(const std::function<void()>& fn);

  Settings& settings_;
  std::atomic<bool> redraw_after_each_{false};
  ImageNameSource image_name_source_;
  ImageNameSource view_name_source_;
  QMdiArea* mdi_ = nullptr;
  WindowRegistry* registry_ = nullptr;
  QMenu* commands_menu_ = nullptr;
  QMenu* file_menu_ = nullptr;
  QMenu* edit_menu_ = nullptr;
  QMenu* view_menu_ = nullptr;
  QMenu* window_menu_ = nullptr;
  QMenu* help_menu_ = nullptr;
  QList<QAction*> command_actions_;
  QAction* stop_ = nullptr;
  QAction* exit_ = nullptr;
  QAction* save_ = nullptr;
  QAction* save_view_ = nullptr;
  QAction* copy_ = nullptr;
  QAction* print_ = nullptr;
  QAction* zoom_in_ = nullptr;
  QAction* zoom_out_ = nullptr;
  QAction* fit_ = nullptr;
  QAction* redraw_after_ = nullptr;
  QAction* restore_defaults_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* zoom_ = nullptr;
  QLabel* progress_label_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QToolButton* stop_button_ = nullptr;
  bool commands_enabled_ = true;
  bool stop_available_ = false;
};

}  // namespace lozengia
