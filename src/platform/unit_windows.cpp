#include "platform/unit_windows.h"

#include <algorithm>
#include <new>

#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStatusBar>

#include "platform/gui_call_queue.h"
#include "platform/main_window.h"
#include "platform/picture_window.h"
#include "platform/text_window.h"
#include "platform/window_registry.h"

namespace lozengia {

UnitWindows::UnitWindows(GuiCallQueue& gui, MainWindow& frame) : gui_(gui), frame_(frame) {}

void UnitWindows::open_text_window(const std::string& title) {
  gui_.call([this, title] {
    if (text_sub_) return;
    text_ = new TextWindow(gui_);
    text_sub_ = frame_.mdi()->addSubWindow(text_);
    text_sub_->setWindowTitle(QString::fromStdString(title));
    // Closing the text window only hides it: its messages, and those that
    // come while it is closed, are kept, and the Window menu brings it back.
    text_sub_->setAttribute(Qt::WA_DeleteOnClose, false);
    frame_.registry().set_text_window(text_sub_);
    text_sub_->show();
    frame_.place_windows();
    connect(text_, &TextWindow::unseenLinesChanged, &frame_, [this](int count) {
      if (count == 0)
        frame_.statusBar()->clearMessage();
      else
        frame_.statusBar()->showMessage(
            QString("%1 new line(s) in \"Information and help\": Window menu to show it")
                .arg(count));
    });
    connect(frame_.mdi(), &QMdiArea::subWindowActivated, text_, [this](QMdiSubWindow* w) {
      if (w == text_sub_) text_->mark_seen();
    });
  });
}

void UnitWindows::write_line(int unit, const std::string& text) {
  // Set once, in a call the program thread waited for, before any line.
  if (unit == kTextUnit && text_) text_->write_line(text);
}

void UnitWindows::clear_window(int unit) {
  gui_.call([this, unit] {
    if (unit == kTextUnit && text_) text_->clear();
  });
}

PictureWindow* UnitWindows::open_picture_window_now(const QString& title) {
  auto* view = new PictureWindow(gui_);
  if (!view->draws_off_gui_thread())
    write_line(kTextUnit,
               "No thread could be started to draw the picture window; it is drawn while the "
               "program waits (the same picture).");
  QMdiSubWindow* sub = frame_.mdi()->addSubWindow(view);
  sub->setWindowTitle(title);
  sub->setAttribute(Qt::WA_DeleteOnClose, true);
  WindowRegistry& registry = frame_.registry();
  const bool first = registry.picture_windows().isEmpty();
  const int offset = static_cast<int>(registry.picture_windows().size()) * 24;
  sub->show();
  registry.add_picture_window(sub);
  if (first) {
    frame_.place_windows();
  } else {
    // A new window is square, the size of the first one's client, offset.
    const QSize extra = sub->size() - view->size();
    const QSize area = frame_.mdi()->size();
    const int side = std::max(200, std::min(area.height(), area.width() * 60 / 100) - 40);
    sub->resize(QSize(side, side) + extra);
    sub->move(std::max(0, area.width() - sub->width() - offset), offset);
  }
  receiving_ = view;
  connect(view, &PictureWindow::drawFailed, this, [this] {
    write_line(kTextUnit,
               "Not enough memory to draw the picture: its window keeps the previous one.");
  });
  connect(view, &PictureWindow::contextMenuRequested, &frame_,
          [this, view](QPoint at) { frame_.show_picture_menu(view, at); });
  connect(view, &PictureWindow::keyTyped, this, [this, view](char c) {
    if (view == receiving_) emit keyTyped(c);
  });
  connect(view, &QObject::destroyed, this, [this, view] {
    if (view != receiving_) return;
    receiving_ = nullptr;
    emit receivingPictureClosed();
  });
  return view;
}

void UnitWindows::open_picture_window(const std::string& title) {
  gui_.call([this, title] { open_picture_window_now(QString::fromStdString(title)); });
}

void UnitWindows::open_scratch_window(const std::string& title) {
  gui_.call([this, title] { scratch_title_ = QString::fromStdString(title); });
}

void UnitWindows::focus(int unit) {
  gui_.post([this, unit] {
    // A maximised picture stays in front: the text window would take its
    // place in the area (and the user chose to look at the picture).
    WindowRegistry& registry = frame_.registry();
    if (unit == kTextUnit && !registry.picture_maximised()) registry.bring_back(text_sub_);
    if (unit == kPictureUnit) registry.bring_back(registry.current_picture_window());
  });
}

void UnitWindows::show_tiling(int unit, std::shared_ptr<const TilingSnapshot> tiling) {
  if (unit != kPictureUnit || !tiling) return;
  auto bring_front = [this] {
    frame_.registry().bring_back(frame_.registry().current_picture_window());
    frame_.update_actions();
  };
  if (gui_.on_gui_thread()) {
    PictureWindow* p = current_picture();
    if (!p) p = open_picture_window_now("Lozengia");  // the user closed it
    p->set_tiling(std::move(tiling), true);
    frame_.registry().update_titles();
    bring_front();
    return;
  }
  // Drawn here, off the GUI thread, at the window's present size and view.
  PictureWindow::Request r;
  QPointer<PictureWindow> target;
  if (!gui_.call([&] {
        PictureWindow* p = current_picture();
        if (!p) p = open_picture_window_now("Lozengia");
        p->set_tiling(tiling, false);
        frame_.registry().update_titles();
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
  gui_.call([&] {
    if (target && image.isNull()) target->show_failure(r.id);
    if (target && !image.isNull()) target->show_image(image, r.view, r.id);
    bring_front();
  });
}

void UnitWindows::set_present_tiling(uint64_t version, const HexagonParams& params,
                                     int32_t averaged) {
  gui_.post([=, this] { frame_.registry().set_present(version, params, averaged); });
}

QString UnitWindows::window_title(int unit) const {
  QMdiSubWindow* picture = frame_.registry().current_picture_window();
  if (unit == kTextUnit && text_sub_) return text_sub_->windowTitle();
  if (unit == kPictureUnit && picture) return picture->windowTitle();
  if (unit == kScratchUnit) return scratch_title_;
  return {};
}

}  // namespace lozengia
