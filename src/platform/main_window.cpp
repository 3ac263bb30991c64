#include "platform/main_window.h"

#include <cmath>
#include <new>

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolButton>

#include "platform/picture_actions.h"
#include "platform/picture_window.h"
#include "platform/settings.h"
#include "platform/text_window.h"
#include "platform/window_registry.h"

namespace lozengia {

MainWindow::MainWindow(Settings& settings) : settings_(settings) {
  setWindowTitle("Lozengia");
  mdi_ = new QMdiArea(this);
  mdi_->setBackground(QColor(0xA0, 0xA0, 0xA0));
  setCentralWidget(mdi_);
  registry_ = new WindowRegistry(mdi_, this);

  QMenuBar* bar = menuBar();
  commands_menu_ = bar->addMenu("&Commands");

  file_menu_ = bar->addMenu("&File");
  print_ = file_menu_->addAction("&Print image");
  print_->setShortcut(QKeySequence::Print);
  save_ = file_menu_->addAction("&Save image as..");
  save_->setShortcut(QKeySequence("Ctrl+S"));
  // What the window shows, at its zoom, as the right-click menu offers it.
  save_view_ = file_menu_->addAction("Save &view as..");
  save_view_->setShortcut(QKeySequence("Ctrl+Shift+S"));
  file_menu_->addSeparator();
  exit_ = file_menu_->addAction("E&xit");
  exit_->setShortcut(QKeySequence("Ctrl+Q"));
  exit_->setMenuRole(QAction::QuitRole);
  connect(print_, &QAction::triggered, this, [this] { run_guarded([this] { print_image(); }); });
  connect(save_, &QAction::triggered, this, [this] { run_guarded([this] { save_image(); }); });
  connect(save_view_, &QAction::triggered, this, [this] { run_guarded([this] { save_view(); }); });
  connect(exit_, &QAction::triggered, this, &QWidget::close);

  edit_menu_ = bar->addMenu("&Edit");
  copy_ = edit_menu_->addAction("&Copy");
  copy_->setShortcut(QKeySequence::Copy);
  copy_->setToolTip("Copy the picture (or the text selected in the text window)");
  connect(copy_, &QAction::triggered, this, [this] { run_guarded([this] { copy(); }); });

  view_menu_ = bar->addMenu("&View");
  zoom_in_ = view_menu_->addAction("Zoom &in");
  zoom_in_->setShortcuts({QKeySequence("Ctrl++"), QKeySequence("Ctrl+=")});
  zoom_out_ = view_menu_->addAction("Zoom &out");
  zoom_out_->setShortcut(QKeySequence("Ctrl+-"));
  fit_ = view_menu_->addAction("&Fit whole hexagon");
  fit_->setShortcut(QKeySequence("Ctrl+0"));
  connect(zoom_in_, &QAction::triggered, this, [this] {
    if (PictureWindow* p = registry_->looked_at()) p->zoom_by(1.5);
  });
  connect(zoom_out_, &QAction::triggered, this, [this] {
    if (PictureWindow* p = registry_->looked_at()) p->zoom_by(1.0 / 1.5);
  });
  connect(fit_, &QAction::triggered, this, [this] {
    if (PictureWindow* p = registry_->looked_at()) p->fit();
  });
  view_menu_->addSeparator();
  redraw_after_ = view_menu_->addAction("&Redraw after each command");
  redraw_after_->setCheckable(true);
  redraw_after_each_ = settings_.flag(setting::kRedrawAfterCommand).value_or(false);
  redraw_after_->setChecked(redraw_after_each_.load());
  connect(redraw_after_, &QAction::toggled, this, [this](bool on) {
    redraw_after_each_ = on;
    settings_.set_flag(setting::kRedrawAfterCommand, on);
  });
  view_menu_->addSeparator();
  restore_defaults_ = view_menu_->addAction("Restore &defaults");
  connect(restore_defaults_, &QAction::triggered, this, &MainWindow::restore_defaults);

  window_menu_ = bar->addMenu("&Window");
  connect(window_menu_, &QMenu::aboutToShow, this, &MainWindow::fill_window_menu);
  fill_window_menu();
  // The list is made afresh each time the menu opens (not when the windows
  // change: an entry may be the very action that brought a window back).
  connect(registry_, &WindowRegistry::windowsChanged, this, [this] { update_actions(); });
  connect(registry_, &WindowRegistry::viewChanged, this, [this] { show_zoom(); });
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this] { update_actions(); });

  help_menu_ = bar->addMenu("&Help");

  // Stop: Esc anywhere in the frame, or the button in the status bar.
  stop_ = new QAction("&Stop", this);
  stop_->setShortcut(QKeySequence(Qt::Key_Escape));
  stop_->setShortcutContext(Qt::WindowShortcut);
  stop_->setToolTip("Stop after the step in progress (Esc)");
  addAction(stop_);
  connect(stop_, &QAction::triggered, this, &MainWindow::stopRequested);

  status_ = new QLabel(this);
  zoom_ = new QLabel(this);
  progress_label_ = new QLabel(this);
  progress_ = new QProgressBar(this);
  progress_->setMaximumWidth(220);
  progress_->setTextVisible(true);
  stop_button_ = new QToolButton(this);
  stop_button_->setDefaultAction(stop_);
  statusBar()->addWidget(progress_label_, 1);
  statusBar()->addWidget(progress_);
  statusBar()->addWidget(stop_button_);
  statusBar()->addPermanentWidget(status_);
  statusBar()->addPermanentWidget(zoom_);
  end_progress();
  update_actions();
}

MainWindow::~MainWindow() {
  // The windows go before the menus and the status bar: nothing may be told
  // about them on the way.
  registry_->disconnect(this);
  mdi_->disconnect(this);
  delete mdi_;
  mdi_ = nullptr;
}

void MainWindow::set_menus(const std::vector<MenuEntry>& commands,
                           const std::vector<MenuEntry>& help) {
  commands_menu_->clear();
  command_actions_.clear();
  for (const MenuEntry& e : commands) {
    QAction* a = commands_menu_->addAction(QString::fromStdString(e.label));
    if (!e.shortcut.empty()) a->setShortcut(QKeySequence(QString::fromStdString(e.shortcut)));
    auto callback = e.callback;
    connect(a, &QAction::triggered, this, [this, a, callback] {
      // A disabled entry never runs, however it was triggered.
      if (a->isEnabled() && commands_enabled_) run_guarded(callback);
    });
    command_actions_.append(a);
  }
  help_menu_->clear();
  for (const MenuEntry& e : help) {
    QAction* a = help_menu_->addAction(QString::fromStdString(e.label));
    if (!e.shortcut.empty()) a->setShortcut(QKeySequence(QString::fromStdString(e.shortcut)));
    auto callback = e.callback;
    connect(a, &QAction::triggered, this, [this, callback] { run_guarded(callback); });
  }
  update_actions();
}

void MainWindow::run_guarded(const std::function<void()>& fn) {
  if (!fn) return;
  try {
    fn();
  } catch (const std::bad_alloc&) {
    // The commands change the tiling all at once or not at all (New
    // hexagon), or not at all (Show tiling, Export, saving): it stays whole.
    report_out_of_memory();
  }
}

void MainWindow::report_out_of_memory() {
  const std::string text = "Not enough memory for this command: the tiling is kept as it was.";
  if (TextWindow* text_window = this->text_window()) text_window->write_line(text);
  message_box(text, "Error!");
}

void MainWindow::message_box(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok, this);
  box.exec();
}

TextWindow* MainWindow::text_window() const {
  const QMdiSubWindow* sub = registry_->text_window();
  return sub ? qobject_cast<TextWindow*>(sub->widget()) : nullptr;
}

void MainWindow::show_picture_menu(PictureWindow* window, QPoint at) {
  QMenu menu(this);
  PictureMenuHandlers handlers;
  handlers.save_view = [this](PictureWindow* w) { save_view(w); };
  handlers.copy = [this](PictureWindow* w) { copy(w); };
  handlers.choose_style = [this](PictureWindow* w, StyleNumber style) {
    // This picture in the new style, and the pictures to come.
    w->set_style(style);
    emit styleChosen(style);
  };
  handlers.styles_enabled = commands_enabled_;
  fill_picture_menu(menu, window, handlers);
  menu.exec(at);
}

void MainWindow::restore_defaults() {
  settings_.clear();
  redraw_after_each_ = false;
  {
    const QSignalBlocker block(redraw_after_);
    redraw_after_->setChecked(false);
  }
  // The window takes its first size and places again.
  restore_geometry();
  place_windows();
  statusBar()->showMessage("Settings restored to their defaults.", 5000);
}

void MainWindow::set_commands_enabled(bool on) {
  commands_enabled_ = on;
  update_actions();
  emit commandsEnabledChanged(on);
}

void MainWindow::set_stop_available(bool on) {
  stop_available_ = on;
  update_actions();
}

void MainWindow::update_actions() {
  // The whole "Commands" menu is greyed while a command runs: no second
  // command can start. Stop is there only while something can be stopped.
  commands_menu_->menuAction()->setEnabled(commands_enabled_);
  for (QAction* a : command_actions_) a->setEnabled(commands_enabled_);
  stop_->setEnabled(stop_available_);
  stop_button_->setVisible(stop_available_);
  const PictureWindow* picture = registry_->looked_at();
  const bool has_picture = picture && picture->tiling();
  save_->setEnabled(has_picture);
  save_view_->setEnabled(has_picture);
  print_->setEnabled(has_picture);
  zoom_in_->setEnabled(has_picture);
  zoom_out_->setEnabled(has_picture);
  fit_->setEnabled(has_picture);
  show_zoom();
}

void MainWindow::show_zoom() {
  const PictureWindow* picture = registry_->looked_at();
  if (!picture || !picture->tiling()) {
    zoom_->clear();
    return;
  }
  zoom_->setText(QString("Zoom %1%").arg(std::lround(picture->zoom() * 100.0)));
}

QString MainWindow::zoom_text() const { return zoom_->text(); }

void MainWindow::fill_window_menu() {
  window_menu_->clear();
  QAction* cascade = window_menu_->addAction("&Cascade");
  connect(cascade, &QAction::triggered, mdi_, &QMdiArea::cascadeSubWindows);
  QAction* tile = window_menu_->addAction("&Tile");
  connect(tile, &QAction::triggered, mdi_, &QMdiArea::tileSubWindows);
  window_menu_->addSeparator();
  QMdiSubWindow* active = mdi_->activeSubWindow();
  int n = 1;
  for (QMdiSubWindow* sub : registry_->windows()) {
    const QString prefix = n <= 9 ? QString("&%1 ").arg(n) : QString();
    QAction* a = window_menu_->addAction(prefix + registry_->label(sub));
    a->setCheckable(true);
    a->setChecked(sub == active && sub->isVisible());
    connect(a, &QAction::triggered, this, [this, sub] { registry_->bring_back(sub); });
    ++n;
  }
}

void MainWindow::set_status(const QString& text) { status_->setText(text); }
QString MainWindow::status() const { return status_->text(); }

void MainWindow::show_progress(int done, int total, const QString& text) {
  progress_label_->setText(text);
  progress_->setVisible(true);
  if (total <= 0) {
    progress_->setRange(0, 0);  // busy, no end known
  } else {
    progress_->setRange(0, total);
    progress_->setValue(done);
  }
}

void MainWindow::end_progress() {
  progress_->setVisible(false);
  progress_->setRange(0, 1);
  progress_->setValue(0);
  progress_label_->clear();
}

QString MainWindow::progress_text() const { return progress_label_->text(); }

void MainWindow::closeEvent(QCloseEvent* e) {
  settings_.set_bytes(setting::kGeometry, saveGeometry());
  remember_window_places();
  settings_.sync();
  // The program thread is stopped and joined before the frame goes away.
  emit closing();
  QMainWindow::closeEvent(e);
}

}  // namespace lozengia
