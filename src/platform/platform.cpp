#include "platform/platform.h"

#include <algorithm>
#include <new>

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QStatusBar>

#include "platform/gui_call_queue.h"
#include "platform/image_dialog.h"
#include "platform/image_saving.h"
#include "platform/key_capture.h"
#include "platform/picture_actions.h"
#include "platform/settings.h"
#include "platform/window_registry.h"
#include "render/lozenge_regions.h"
#include "render/qpainter_canvas.h"

namespace lozengia {

namespace {
// Pixels of the longer side of a saved picture at least.
constexpr int kMinSavedPixels = 600;
constexpr int kMaxTextLines = 200000;
}  // namespace

Platform::Platform(PlatformOptions options)
    : settings_(std::make_unique<Settings>(options.settings_path)),
      gui_(std::make_unique<GuiCallQueue>()),
      keys_(std::make_unique<KeyCapture>()),
      frame_(std::make_unique<MainWindow>(*settings_)) {
  frame_->setAttribute(Qt::WA_DeleteOnClose, false);
  frame_->restore_geometry();
  redraw_after_ = settings_->flag(setting::kRedrawAfterCommand).value_or(false);
  {
    const QSignalBlocker block(frame_->redraw_action());
    frame_->redraw_action()->setChecked(redraw_after_.load());
  }
  frame_->on_redraw_after_toggled = [this](bool on) {
    redraw_after_ = on;
    settings_->set_flag(setting::kRedrawAfterCommand, on);
  };
  frame_->on_save_image = [this] { save_image_dialog(); };
  frame_->on_save_view = [this] { save_view_dialog(registry().looked_at()); };
  frame_->on_copy = [this] { copy(); };
  frame_->on_print = [this] { print_picture_dialog(); };
  frame_->on_restore_defaults = [this] { restore_defaults(); };
  frame_->on_out_of_memory = [this] {
    const std::string text = "Not enough memory for this command: the tiling is kept as it was.";
    write_line(kTextUnit, text);
    message_box(text, "Error!");
  };
  frame_->on_stop = [this] {
    if (stop_handler_) stop_handler_();
  };
  connect(frame_.get(), &MainWindow::commandsEnabledChanged, this,
          &Platform::commandsEnabledChanged);
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

WindowRegistry& Platform::registry() const { return frame_->registry(); }

// ----------------------------------------------------------------- windows

void Platform::open_text_window(const std::string& title) {
  gui_->call([this, title] {
    if (text_sub_) return;
    text_ = new QPlainTextEdit;
    text_->setReadOnly(true);
    // No text cursor: the window is for reading only.
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text_->setCursorWidth(0);
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // A long step command writes a line per step; the oldest lines beyond
    // this many go, so that a run of millions of steps cannot fill memory.
    text_->setMaximumBlockCount(kMaxTextLines);
    QPalette pal = text_->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    text_->setPalette(pal);
    QFont mono("Monospace");
    mono.setStyleHint(QFont::TypeWriter);
    text_->setFont(mono);
    text_sub_ = frame_->mdi()->addSubWindow(text_);
    text_sub_->setWindowTitle(QString::fromStdString(title));
    // Closing the text window only hides it: its messages, and those that
    // come while it is closed, are kept, and the Window menu brings it back.
    text_sub_->setAttribute(Qt::WA_DeleteOnClose, false);
    registry().set_text_window(text_sub_);
    text_sub_->show();
    frame_->place_windows();
    connect(frame_->mdi(), &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
      if (w == text_sub_ && unseen_lines_ > 0) {
        unseen_lines_ = 0;
        frame_->statusBar()->clearMessage();
      }
    });
  });
}

void Platform::write_line(int unit, const std::string& text) {
  if (unit != kTextUnit) return;
  if (gui_->on_gui_thread()) {
    // After the lines other threads wrote before it.
    QStringList lines;
    {
      std::lock_guard<std::mutex> lock(lines_mutex_);
      lines.swap(pending_lines_);
    }
    lines.append(QString::fromStdString(text));
    append_lines(lines.join('\n'), static_cast<int>(lines.size()));
    return;
  }
  // Lines that come faster than the window takes them are appended together,
  // in one call, in the order they were written.
  bool first;
  {
    std::lock_guard<std::mutex> lock(lines_mutex_);
    first = pending_lines_.isEmpty();
    pending_lines_.append(QString::fromStdString(text));
  }
  if (!first) return;
  gui_->post([this] {
    QStringList lines;
    {
      std::lock_guard<std::mutex> lock(lines_mutex_);
      lines.swap(pending_lines_);
    }
    // None when a line written on the GUI thread took them first.
    if (!lines.isEmpty()) append_lines(lines.join('\n'), static_cast<int>(lines.size()));
  });
}

void Platform::append_lines(const QString& text, int count) {
  if (!text_) return;
  // The newest line stays in sight, also while the window is closed, unless
  // the user has scrolled back to read.
  QScrollBar* bar = text_->verticalScrollBar();
  const bool follow = !text_->isVisible() || bar->value() >= bar->maximum() - 2;
  text_->appendPlainText(text);
  if (follow) bar->setValue(bar->maximum());
  if (!text_sub_->isVisible()) {
    unseen_lines_ += count;
    frame_->statusBar()->showMessage(
        QString("%1 new line(s) in \"Information and help\": Window menu to show it")
            .arg(unseen_lines_));
  }
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
  const bool first = registry().picture_windows().isEmpty();
  const int offset = static_cast<int>(registry().picture_windows().size()) * 24;
  sub->show();
  registry().add_picture_window(sub);
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
  view->on_context_menu = [this](PictureWindow* w, QPoint at) { picture_menu(w, at); };
  view->on_key = [this, view](char c) {
    if (view == receiving_) keys_->typed(c);
  };
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

void Platform::open_scratch_window(const std::string& title, int size_state) {
  // The scratch window is the off-screen image pictures are drawn into; the
  // size state (1) asks for it to stay out of the user's way.
  (void)size_state;
  gui_->call([this, title] { scratch_title_ = QString::fromStdString(title); });
}

void Platform::focus(int unit) {
  gui_->post([this, unit] {
    // A maximised picture stays in front: the text window would take its
    // place in the area (and the user chose to look at the picture).
    if (unit == kTextUnit && !registry().picture_maximised()) registry().bring_back(text_sub_);
    if (unit == kPictureUnit) registry().bring_back(registry().current_picture_window());
  });
}

void Platform::show_tiling(int unit, std::shared_ptr<const TilingSnapshot> tiling) {
  if (unit != kPictureUnit || !tiling) return;
  auto bring_front = [this] {
    registry().bring_back(registry().current_picture_window());
    frame_->update_actions();
  };
  if (gui_->on_gui_thread()) {
    PictureWindow* p = current_picture();
    if (!p) p = open_picture_window_now("Lozengia");  // the user closed it
    p->set_tiling(std::move(tiling), true);
    registry().update_titles();
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
        registry().update_titles();
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
    if (!image.isNull()) scratch_ = image;
    if (target && image.isNull()) target->show_failure(r.id);
    if (target && !image.isNull()) target->show_image(image, r.view, r.id);
    bring_front();
  });
}

void Platform::set_present_tiling(uint64_t version, const HexagonParams& params,
                                  int32_t averaged) {
  gui_->post([=, this] { registry().set_present(version, params, averaged); });
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

void Platform::set_stop_handler(std::function<void()> handler) {
  gui_->call([&] { stop_handler_ = std::move(handler); });
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
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok, frame_.get());
  box.exec();
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
  QFileDialog dlg(frame_.get());
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setNameFilter("All files (*)");
  dlg.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (auto dir = settings_->folder(setting::kExportFolder)) dlg.setDirectory(*dir);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  const QString name = dlg.selectedFiles().first();
  settings_->set(setting::kExportFolder, QFileInfo(name).absolutePath());
  return name.toStdString();
}

void Platform::set_save_file_name_source(std::function<std::optional<std::string>()> source) {
  save_name_source_ = std::move(source);
}

void Platform::set_image_name_source(ImageNameSource source) {
  image_name_source_ = std::move(source);
}

PictureWindow* Platform::current_picture() const { return receiving_; }


void Platform::save_image_dialog() {
  QPointer<PictureWindow> shown = registry().looked_at();  // the dialog lets it go meanwhile
  if (!shown || !shown->tiling()) return;
  // The long side last typed, else the window's, at least kMinSavedPixels.
  const int window_side = std::max({kMinSavedPixels, shown->width(), shown->height()});
  ImageChoice choice{{}, {}, std::min(window_side, kMaxLongSide)};
  if (auto last = settings_->integer(setting::kSaveLongSide, kMinLongSide, kMaxLongSide))
    choice.long_side = *last;
  if (image_name_source_) {
    auto chosen = image_name_source_();
    if (!chosen) return;
    std::tie(choice.name, choice.filter) = *chosen;
  } else {
    auto asked = ask_image_file(frame_.get(), settings_->folder(setting::kSaveFolder),
                                choice.long_side);
    if (!asked) return;
    choice = *asked;
    settings_->set(setting::kSaveLongSide, choice.long_side);
  }
  if (choice.name.isEmpty() || !shown || !shown->tiling()) return;
  const TilingSnapshot& tiling = *shown->tiling();
  const ImageTarget target = image_target(choice.name, choice.filter);
  const std::string why = image_refusal(target, tiling, choice.long_side);
  if (!why.empty()) return message_box(why, "Error!");
  WriteStatus status;
  try {
    status = save_tiling_image(target, tiling, choice.long_side);
  } catch (const std::bad_alloc&) {
    // Counted before, and short all the same: the old file is as it was.
    return message_box("Not enough memory for this picture: " + target.path.toStdString() +
                           " is not written.",
                       "Error!");
  }
  if (status == WriteStatus::kOk) {
    settings_->set(setting::kSaveFolder, QFileInfo(target.path).absolutePath());
    frame_->statusBar()->showMessage("Image saved as " + target.path, 5000);
  } else {
    message_box(save_failure_text(status, target.path.toStdString()), "Error!");
  }
}

void Platform::set_view_name_source(ImageNameSource source) {
  view_name_source_ = std::move(source);
}

void Platform::save_view_dialog(PictureWindow* window) {
  if (!window || !window->tiling()) return;
  QPointer<PictureWindow> target = window;  // the dialog lets the window go meanwhile
  QString name, filter;
  if (view_name_source_) {
    auto chosen = view_name_source_();
    if (!chosen) return;
    std::tie(name, filter) = *chosen;
  } else {
    QFileDialog dlg(frame_.get(), "Save view as..");
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setNameFilters(view_filters());
    if (auto dir = settings_->folder(setting::kSaveFolder)) dlg.setDirectory(*dir);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
    name = dlg.selectedFiles().first();
    filter = dlg.selectedNameFilter();
  }
  if (name.isEmpty() || !target) return;
  if (name.endsWith(".svg", Qt::CaseInsensitive) || name.endsWith(".pdf", Qt::CaseInsensitive)) {
    message_box("A view is saved as a PNG or BMP picture; \"Save image as..\" draws the whole "
                "hexagon as SVG or PDF.",
                "Error!");
    return;
  }
  const QString path = view_path(name, filter);
  WriteStatus status;
  try {
    status = save_view(*target, path);
  } catch (const std::bad_alloc&) {
    return message_box("Not enough memory for this picture: " + path.toStdString() +
                           " is not written.",
                       "Error!");
  }
  if (status == WriteStatus::kOk) {
    settings_->set(setting::kSaveFolder, QFileInfo(path).absolutePath());
    frame_->statusBar()->showMessage("View saved as " + path, 5000);
  } else {
    message_box(save_failure_text(status, path.toStdString()), "Error!");
  }
}

void Platform::copy(PictureWindow* window) {
  if (!window && text_ && frame_->mdi()->activeSubWindow() == text_sub_ &&
      text_->textCursor().hasSelection()) {
    text_->copy();
    return;
  }
  if (!window) window = registry().looked_at();
  if (!window) return;
  std::unique_ptr<QMimeData> data;
  try {
    data = picture_mime_data(*window);
  } catch (const std::bad_alloc&) {
    frame_->statusBar()->showMessage("Not enough memory to copy the picture", 5000);
    return;
  }
  if (!data) return;
  const bool svg = data->hasFormat("image/svg+xml");
  QGuiApplication::clipboard()->setMimeData(data.release());
  frame_->statusBar()->showMessage(
      svg ? "Picture copied (image and SVG drawing)" : "Picture copied (image)", 5000);
}

void Platform::set_style_handler(std::function<void(int32_t)> handler) {
  gui_->call([&] { style_handler_ = std::move(handler); });
}

void Platform::picture_menu(PictureWindow* window, QPoint at) {
  QMenu menu(frame_.get());
  PictureMenuHandlers h;
  h.save_view = [this](PictureWindow* w) { save_view_dialog(w); };
  h.copy = [this](PictureWindow* w) { copy(w); };
  h.choose_style = [this](PictureWindow* w, int32_t style) {
    // This picture in the new style, and the pictures to come.
    w->set_style(style);
    if (style_handler_) style_handler_(style);
  };
  h.styles_enabled = frame_->commands_enabled();
  fill_picture_menu(menu, window, h);
  menu.exec(at);
}

bool Platform::print_picture(QPrinter& printer) const {
  const PictureWindow* view = registry().looked_at();
  if (!view || !view->tiling()) return false;
  const TilingSnapshot& tiling = *view->tiling();
  QPainter p;
  if (!p.begin(&printer)) return false;
  // The lozenges as vector shapes (the merged ones of the PDF picture),
  // sharp at the printer's resolution whatever the window's size, centred
  // on the sheet: in the largest rectangle about the sheet's centre that
  // the printable area holds (its margins need not be even).
  const QRectF page = printer.pageRect(QPrinter::DevicePixel);
  const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
  const QPointF centre = paper.center() - page.topLeft();  // in the painter's coordinates
  const double half_w = std::min(centre.x(), page.width() - centre.x());
  const double half_h = std::min(centre.y(), page.height() - centre.y());
  if (!(half_w > 0.0 && half_h > 0.0)) {
    p.end();
    return false;
  }
  const QRectF area(centre.x() - half_w, centre.y() - half_h, 2 * half_w, 2 * half_h);
  p.translate(area.topLeft());
  const int width = static_cast<int>(area.width()), height = static_cast<int>(area.height());
  QPainterCanvas canvas(p, QSizeF(area.width(), area.height()));
  const WorldRect world =
      fit_to_aspect(picture_content(tiling.tiling(), tiling.style), area.width(), area.height());
  draw_tiling_merged(canvas, tiling.tiling(), tiling.picture_style(), {world, width, height});
  return p.end();
}

void Platform::print_picture_dialog() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dlg(&printer, frame_.get());
  dlg.setWindowTitle("Print image");
  if (dlg.exec() != QDialog::Accepted) return;
  if (!print_picture(printer)) message_box("The image could not be printed.", "Error!");
}

void Platform::restore_defaults() {
  settings_->clear();
  redraw_after_ = false;
  {
    const QSignalBlocker block(frame_->redraw_action());
    frame_->redraw_action()->setChecked(false);
  }
  // The window takes its first size and places again.
  frame_->restore_geometry();
  frame_->place_windows();
  frame_->statusBar()->showMessage("Settings restored to their defaults.", 5000);
}

// -------------------------------------------------------------- inspection

QStringList Platform::text_lines() const {
  if (!text_) return {};
  return text_->toPlainText().split('\n');
}

QString Platform::window_title(int unit) const {
  if (unit == kTextUnit && text_sub_) return text_sub_->windowTitle();
  if (unit == kPictureUnit && registry().current_picture_window())
    return registry().current_picture_window()->windowTitle();
  if (unit == kScratchUnit) return scratch_title_;
  return {};
}

QImage Platform::picture(int unit) const {
  if (unit == kPictureUnit) {
    const PictureWindow* p = current_picture();
    return p ? p->image() : QImage();
  }
  if (unit == kScratchUnit) return scratch_;
  return {};
}

QList<QMdiSubWindow*> Platform::picture_windows() const { return registry().picture_windows(); }

QImage Platform::picture_in(const QMdiSubWindow* window) {
  const PictureWindow* p = WindowRegistry::picture_in(window);
  return p ? p->image() : QImage();
}

}  // namespace lozengia
