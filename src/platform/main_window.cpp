#include "platform/main_window.h"

#include <cmath>
#include <new>
#include <optional>

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>

#include "platform/picture_window.h"
#include "platform/settings.h"
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
  connect(print_, &QAction::triggered, this, [this] {
    run_guarded(on_print);
  });
  connect(save_, &QAction::triggered, this, [this] {
    run_guarded(on_save_image);
  });
  connect(save_view_, &QAction::triggered, this, [this] {
    run_guarded(on_save_view);
  });
  connect(exit_, &QAction::triggered, this, &QWidget::close);

  edit_menu_ = bar->addMenu("&Edit");
  copy_ = edit_menu_->addAction("&Copy");
  copy_->setShortcut(QKeySequence::Copy);
  copy_->setToolTip("Copy the picture (or the text selected in the text window)");
  connect(copy_, &QAction::triggered, this, [this] {
    run_guarded(on_copy);
  });

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
  connect(redraw_after_, &QAction::toggled, this, [this](bool on) {
    if (on_redraw_after_toggled) on_redraw_after_toggled(on);
  });
  view_menu_->addSeparator();
  restore_defaults_ = view_menu_->addAction("Restore &defaults");
  connect(restore_defaults_, &QAction::triggered, this, [this] {
    if (on_restore_defaults) on_restore_defaults();
  });

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
  connect(stop_, &QAction::triggered, this, [this] {
    if (on_stop) on_stop();
  });

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
    auto cb = e.callback;
    connect(a, &QAction::triggered, this, [this, a, cb] {
      // A disabled entry never runs, however it was triggered.
      if (a->isEnabled() && commands_enabled_) run_guarded(cb);
    });
    command_actions_.append(a);
  }
  help_menu_->clear();
  for (const MenuEntry& e : help) {
    QAction* a = help_menu_->addAction(QString::fromStdString(e.label));
    if (!e.shortcut.empty()) a->setShortcut(QKeySequence(QString::fromStdString(e.shortcut)));
    auto cb = e.callback;
    connect(a, &QAction::triggered, this, [this, cb] { run_guarded(cb); });
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
    if (on_out_of_memory) on_out_of_memory();
  }
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

void MainWindow::restore_geometry() {
  const QByteArray saved = settings_.bytes(setting::kGeometry);
  if (!saved.isEmpty() && restoreGeometry(saved)) {
    // A geometry from a screen no longer there would put the frame out of
    // sight: then the default size is used.
    const QScreen* screen = QGuiApplication::screenAt(geometry().center());
    if (screen && width() >= 200 && height() >= 150) return;
  }
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
  const QSize size(std::max(640, avail.width() * 85 / 100),
                   std::max(480, avail.height() * 85 / 100));
  resize(size.boundedTo(avail.size()));
  move(avail.center() - rect().center());
}

namespace {

// A window's place remembered as "x,y,width,height", when it is whole
// numbers, at least 100 x 80 and inside a frame area of `area`.
std::optional<QRect> remembered_place(const Settings& settings, const QString& key, QSize area) {
  const std::optional<QString> text = settings.text(key, 60);
  if (!text) return std::nullopt;
  const QStringList parts = text->split(',');
  if (parts.size() != 4) return std::nullopt;
  int v[4];
  for (int k = 0; k < 4; ++k) {
    bool ok = false;
    v[k] = parts[k].trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
  }
  const QRect place(v[0], v[1], v[2], v[3]);
  if (place.width() < 100 || place.height() < 80 || !QRect(QPoint(0, 0), area).contains(place))
    return std::nullopt;
  return place;
}

QString place_text(const QRect& r) {
  return QString("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

}  // namespace

void MainWindow::place_windows() {
  // Where the user left them last time, if that still fits; otherwise the
  // text window on the left, a square picture window beside it. A window
  // left maximised comes back maximised, over its remembered place, so that
  // restoring it uncovers the other.
  const QSize area = mdi_->size();
  QMdiSubWindow* text = registry_->text_window();
  QMdiSubWindow* picture = registry_->current_picture_window();
  const int side = std::max(200, std::min(area.height(), area.width() * 60 / 100));
  auto maximise = [this](QMdiSubWindow* sub, const QString& key) {
    if (settings_.flag(key).value_or(false)) sub->showMaximized();
  };
  if (text) {
    if (text->isMaximized()) text->showNormal();
    const auto place = remembered_place(settings_, setting::kTextWindowPlace, area);
    text->setGeometry(
        place.value_or(QRect(0, 0, std::max(300, area.width() - side), area.height())));
    if (!picture) maximise(text, setting::kTextWindowMaximised);
  }
  if (picture && picture->widget()) {
    if (picture->isMaximized()) picture->showNormal();
    if (const auto place = remembered_place(settings_, setting::kPictureWindowPlace, area)) {
      picture->setGeometry(*place);
    } else {
      const QSize extra = picture->size() - picture->widget()->size();
      const int client = std::max(100, side - std::max(extra.width(), extra.height()));
      picture->resize(QSize(client, client) + extra);
      picture->move(std::max(0, area.width() - picture->width()), 0);
    }
    // One window at most is maximised in the area: the picture, if it was.
    maximise(picture, setting::kPictureWindowMaximised);
    if (!picture->isMaximized() && text) maximise(text, setting::kTextWindowMaximised);
  }
}

void MainWindow::remember_window_places() {
  if (const QMdiSubWindow* text = registry_->text_window(); text && text->isVisible()) {
    settings_.set(setting::kTextWindowPlace, place_text(registry_->normal_place(text)));
    settings_.set_flag(setting::kTextWindowMaximised, text->isMaximized());
  }
  if (const QMdiSubWindow* picture = registry_->current_picture_window()) {
    settings_.set(setting::kPictureWindowPlace, place_text(registry_->normal_place(picture)));
    settings_.set_flag(setting::kPictureWindowMaximised, picture->isMaximized());
  }
}

void MainWindow::closeEvent(QCloseEvent* e) {
  settings_.set_bytes(setting::kGeometry, saveGeometry());
  remember_window_places();
  settings_.sync();
  // The program thread is stopped and joined before the frame goes away.
  if (on_close) on_close();
  QMainWindow::closeEvent(e);
}

}  // namespace lozengia
