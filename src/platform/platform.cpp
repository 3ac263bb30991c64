#include "platform/platform.h"

#include <algorithm>
#include <new>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStatusBar>

#include "platform/gui_call_queue.h"
#include "platform/key_capture.h"
#include "platform/settings.h"
#include "platform/text_window.h"
#include "platform/window_registry.h"

namespace lozengia {

Platform::Platform(PlatformOptions options)
    : settings_(std::make_unique<Settings>(options.settings_path)),
      gui_(std::make_unique<GuiCallQueue>()),
      keys_(std::make_unique<KeyCapture>()),
      frame_(std::make_unique<MainWindow>(*settings_)) {
  frame_->setAttribute(Qt::WA_DeleteOnClose, false);
  frame_->restore_geometry();
}

Platform::~Platform() {
  shutdown();
  frame_->mdi()->disconnect(this);
  frame_.reset();
}

void Platform::show_frame() { frame_->show(); }

void Platform::shutdown() {
  gui_->shutdown();
  keys_->shutdown();
}

bool Platform::shutting_down() const { return gui_->shutting_down(); }

bool Platform::run_on_gui(const std::function<void()>& fn) { return gui_->call(fn); }

// ----------------------------------------------------------------- windows

void Platform::open_text_window(const std::string& title) {
  gui_->call([this, title] {
    if (text_sub_) return;
    text_ = new TextWindow(*gui_);
    text_sub_ = frame_->mdi()->addSubWindow(text_);
    text_sub_->setWindowTitle(QString::fromStdString(title));
    // Closing the text window only hides it: its messages, and those that
    // come while it is closed, are kept, and the Window menu brings it back.
    text_sub_->setAttribute(Qt::WA_DeleteOnClose, false);
    frame_->registry().set_text_window(text_sub_);
    text_sub_->show();
    frame_->place_windows();
    connect(text_, &TextWindow::unseenLinesChanged, frame_.get(), [this](int count) {
      if (count == 0)
        frame_->statusBar()->clearMessage();
      else
        frame_->statusBar()->showMessage(
            QString("%1 new line(s) in \"Information and help\": Window menu to show it")
                .arg(count));
    });
    connect(frame_->mdi(), &QMdiArea::subWindowActivated, text_, [this](QMdiSubWindow* w) {
      if (w == text_sub_) text_->mark_seen();
    });
  });
}

void Platform::write_line(int unit, const std::string& text) {
  // Set once, in a call the program thread waited for, before any line.
  if (unit == kTextUnit && text_) text_->write_line(text);
}

void Platform::clear_window(int unit) {
  gui_->call([this, unit] {
    if (unit == kTextUnit && text_) text_->clear();
  });
}

PictureWindow* Platform::open_picture_window_now(const QString& title) {
  auto* view = new PictureWindow(*gui_);
  if (!view->draws_off_gui_thread())
    write_line(kTextUnit,
               "No thread could be started to draw the picture window; it is drawn while the "
               "program waits (the same picture).");
  QMdiSubWindow* sub = frame_->mdi()->addSubWindow(view);
  sub->setWindowTitle(title);
  sub->setAttribute(Qt::WA_DeleteOnClose, true);
  const bool first = frame_->registry().picture_windows().isEmpty();
  const int offset = static_cast<int>(frame_->registry().picture_windows().size()) * 24;
  sub->show();
  frame_->registry().add_picture_window(sub);
  if (first) {
    frame_->place_windows();
  } else {
    // A new window is square, the size of the first one's client, offset.
    const QSize extra = sub->size() - view->size();
    const QSize area = frame_->mdi()->size();
    const int side = std::max(200, std::min(area.height(), area.width() * 60 / 100) - 40);
    sub->resize(QSize(side, side) + extra);
    sub->move(std::max(0, area.width() - sub->width() - offset), offset);
  }
  receiving_ = view;
  QObject::connect(view, &PictureWindow::drawFailed, this, [this] {
    write_line(kTextUnit, "Not enough memory to draw the picture: its window keeps the previous one.");
  });
  QObject::connect(view, &PictureWindow::contextMenuRequested, frame_.get(),
                   [this, view](QPoint at) { frame_->show_picture_menu(view, at); });
  QObject::connect(view, &PictureWindow::keyTyped, this, [this, view](char c) {
    if (view == receiving_) keys_->typed(c);
  });
  QObject::connect(view, &QObject::destroyed, this, [this, view] {
    if (view != receiving_) return;
    receiving_ = nullptr;
    // Closing the picture window while keys are awaited leaves the mode (as
    // "q" does): no key could be typed there any more, and the menu would
    // stay greyed for good.
    if (keys_->capturing()) keys_->typed('q');
  });
  return view;
}

void Platform::open_picture_window(const std::string& title) {
  gui_->call([this, title] { open_picture_window_now(QString::fromStdString(title)); });
}

void Platform::open_scratch_window(const std::string& title) {
  gui_->call([this, title] { scratch_title_ = QString::fromStdString(title); });
}

void Platform::focus(int unit) {
  gui_->post([this, unit] {
    // A maximised picture stays in front: the text window would take its
    // place in the area (and the user chose to look at the picture).
    if (unit == kTextUnit && !frame_->registry().picture_maximised())
      frame_->registry().bring_back(text_sub_);
    if (unit == kPictureUnit)
      frame_->registry().bring_back(frame_->registry().current_picture_window());
  });
}

void Platform::show_tiling(int unit, std::shared_ptr<const TilingSnapshot> tiling) {
  if (unit != kPictureUnit || !tiling) return;
  auto bring_front = [this] {
    frame_->registry().bring_back(frame_->registry().current_picture_window());
    frame_->update_actions();
  };
  if (gui_->on_gui_thread()) {
    PictureWindow* p = current_picture();
    if (!p) p = open_picture_window_now("Lozengia");  // the user closed it
    p->set_tiling(std::move(tiling), true);
    frame_->registry().update_titles();
    bring_front();
    return;
  }
  // Drawn here, off the GUI thread, at the window's present size and view.
  PictureWindow::Request r;
  QPointer<PictureWindow> target;
  if (!gui_->call([&] {
        PictureWindow* p = current_picture();
        if (!p) p = open_picture_window_now("Lozengia");
        p->set_tiling(tiling, false);
        frame_->registry().update_titles();
        r = p->request();
        target = p;
      }))
    return;
  // No memory for the picture leaves the window's previous one (it says so).
  QImage image;
  try {
    image = PictureWindow::draw(*tiling, r.size, r.view);
  } catch (const std::bad_alloc&) {
  }
  gui_->call([&] {
    if (target && image.isNull()) target->show_failure(r.id);
    if (target && !image.isNull()) target->show_image(image, r.view, r.id);
    bring_front();
  });
}

void Platform::set_present_tiling(uint64_t version, const HexagonParams& params,
                                  int32_t averaged) {
  gui_->post([=, this] { frame_->registry().set_present(version, params, averaged); });
}

// -------------------------------------------------------- menus and status

void Platform::build_menus(const std::vector<MenuEntry>& commands,
                           const std::vector<MenuEntry>& help) {
  gui_->call([&] { frame_->set_menus(commands, help); });
}

void Platform::set_commands_enabled(bool on) {
  gui_->call([this, on] { frame_->set_commands_enabled(on); });
}

void Platform::set_status(const std::string& text) {
  gui_->post([this, t = QString::fromStdString(text)] { frame_->set_status(t); });
}

void Platform::show_progress(int done, int total, const std::string& text) {
  gui_->post(
      [=, this, t = QString::fromStdString(text)] { frame_->show_progress(done, total, t); });
}

void Platform::end_progress() {
  gui_->post([this] { frame_->end_progress(); });
}

void Platform::set_stop_available(bool on) {
  gui_->post([this, on] { frame_->set_stop_available(on); });
}

// -------------------------------------------------------------------- keys

void Platform::set_key_capture(int unit, bool on) {
  if (unit == kPictureUnit) keys_->set_capturing(on);
}

std::optional<char> Platform::read_key(int unit) {
  if (unit != kPictureUnit) return std::nullopt;
  return keys_->read();
}

void Platform::post_key(int unit, char c) {
  if (unit != kPictureUnit) return;
  gui_->post([this, c] {
    if (PictureWindow* p = current_picture()) {
      const QString text(QChar::fromLatin1(c));
      QKeyEvent press(QEvent::KeyPress, text.isEmpty() ? 0 : QChar(c).toUpper().unicode(),
                      Qt::NoModifier, text);
      QCoreApplication::sendEvent(p, &press);
    } else {
      keys_->typed(c);
    }
  });
}

void Platform::beep() {
  gui_->post([] { QApplication::beep(); });
}

// ------------------------------------------------ dialogs, save and print

void Platform::message_box(const std::string& text, const std::string& caption) {
  frame_->message_box(text, caption);
}

void Platform::post_message_box(const std::string& text, const std::string& caption) {
  gui_->post([this, text, caption] { message_box(text, caption); });
}

HelpPage* Platform::help_page(const QString& title) const {
  for (HelpPage* page : help_pages_)
    if (page->windowTitle() == title) return page;
  return nullptr;
}

void Platform::show_help_page(const QString& title, const std::function<HelpContent()>& make) {
  HelpPage* page = help_page(title);
  if (!page) {
    page = new HelpPage(title, make(), frame_.get());
    help_pages_.push_back(page);
  }
  page->show();
  page->raise();
  page->activateWindow();
}

std::optional<std::string> Platform::ask_save_file_name() {
  if (save_name_source_) return save_name_source_();
  QFileDialog dialog(frame_.get());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter("All files (*)");
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (auto dir = settings_->folder(setting::kExportFolder)) dialog.setDirectory(*dir);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString name = dialog.selectedFiles().first();
  settings_->set(setting::kExportFolder, QFileInfo(name).absolutePath());
  return name.toStdString();
}

void Platform::set_save_file_name_source(std::function<std::optional<std::string>()> source) {
  save_name_source_ = std::move(source);
}

// -------------------------------------------------------------- inspection

QString Platform::window_title(int unit) const {
  if (unit == kTextUnit && text_sub_) return text_sub_->windowTitle();
  if (unit == kPictureUnit && frame_->registry().current_picture_window())
    return frame_->registry().current_picture_window()->windowTitle();
  if (unit == kScratchUnit) return scratch_title_;
  return {};
}

QImage Platform::picture() const { return receiving_ ? receiving_->image() : QImage(); }

}  // namespace lozengia
