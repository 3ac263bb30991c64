// Where the frame and its two windows go: the geometry and places the user
// left in the last run, when they still fit the screen, else a layout that
// suits it.
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <optional>

#include "platform/main_window.h"
#include "platform/settings.h"
#include "platform/window_registry.h"

namespace lozengia {

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

}  // namespace lozengia
