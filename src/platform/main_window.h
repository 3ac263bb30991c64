// The frame: a main window holding the text and picture windows in an MDI
// area, with its menus, actions, shortcuts and status bar. It owns every
// action and decides in one place, update_actions(), which are enabled.
#pragma once

#include <QMainWindow>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QProgressBar;
class QToolButton;

namespace lozengia {

class Settings;
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
  QMenu* edit_menu() const { return edit_menu_; }
  QMenu* view_menu() const { return view_menu_; }
  QMenu* window_menu() const { return window_menu_; }
  QMenu* help_menu() const { return help_menu_; }
  QAction* stop_action() const { return stop_; }
  QAction* exit_action() const { return exit_; }
  QAction* save_action() const { return save_; }
  QAction* save_view_action() const { return save_view_; }
  QAction* copy_action() const { return copy_; }
  QAction* print_action() const { return print_; }
  QAction* redraw_action() const { return redraw_after_; }
  QAction* restore_defaults_action() const { return restore_defaults_; }
  QAction* zoom_in_action() const { return zoom_in_; }
  QAction* zoom_out_action() const { return zoom_out_; }
  QAction* fit_action() const { return fit_; }

  // Handlers of the frame's own actions, set by the windowing layer.
  std::function<void()> on_close;
  std::function<void()> on_stop;
  std::function<void()> on_save_image;
  std::function<void()> on_save_view;
  std::function<void()> on_copy;
  std::function<void()> on_print;
  std::function<void()> on_restore_defaults;
  std::function<void(bool)> on_redraw_after_toggled;
  // A menu entry's work ran out of memory on this thread (std::bad_alloc
  // stops here: thrown on into Qt's event loop it would end the program).
  std::function<void()> on_out_of_memory;

 signals:
  void commandsEnabledChanged(bool on);

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
