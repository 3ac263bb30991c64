#include "platform/picture_actions.h"

#include <QActionGroup>
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <string>

#include "platform/picture_window.h"
#include "render/png_encoder.h"
#include "render/svg_tiling.h"

namespace lozengia {

const char* const kStyleLabels[6] = {
    "",
    "Lozenge tiling without borders",
    "Lozenge tiling with borders",
    "Nonintersecting paths on hexagonal lattice",
    "Nonintersecting paths on hexagonal lattice with borders",
    "Nonintersecting paths in Z^2",
};

QImage view_image(const PictureWindow& w) {
  const TilingSnapshot* t = w.tiling();
  if (!t) return {};
  const double ratio = std::max(1.0, w.devicePixelRatioF());
  const QSize size(std::max(1, static_cast<int>(std::lround(w.width() * ratio))),
                   std::max(1, static_cast<int>(std::lround(w.height() * ratio))));
  return PictureWindow::draw(*t, size, w.visible_world());
}

namespace {

// The whole picture as an SVG drawing, the size of the image beside it;
// empty when it would be too large or could not be made. The SVG writer
// writes files only, so it goes through a private temporary folder.
QByteArray svg_of(const TilingSnapshot& t, int size_px) {
  if (!svg_size_check(t.N, t.T, t.S, t.style).empty() ||
      svg_size_bound(t.N, t.T, t.S, t.style) > kClipboardSvgMaxBytes)
    return {};
  QTemporaryDir dir;
  if (!dir.isValid()) return {};
  const QString path = dir.filePath("picture.svg");
  if (write_svg_picture(path.toStdString(), t.tiling(), t.picture_style(),
                        whole_picture(t.tiling(), t.style, size_px)) != WriteStatus::kOk)
    return {};
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

}  // namespace

std::unique_ptr<QMimeData> picture_mime_data(const PictureWindow& w) {
  const QImage image = view_image(w);
  if (image.isNull()) return nullptr;
  auto data = std::make_unique<QMimeData>();
  data->setImageData(image);
  // A vector copy only of the whole hexagon: the SVG picture cannot show a
  // zoomed part, and two forms of one copy must show the same.
  if (w.zoom() == 1.0) {
    const QByteArray svg = svg_of(*w.tiling(), std::max(image.width(), image.height()));
    if (!svg.isEmpty()) data->setData("image/svg+xml", svg);
  }
  return data;
}

QStringList view_filters() { return {"PNG image (*.png)", "BMP image (*.bmp)"}; }

QString view_path(const QString& name, const QString& chosen_filter) {
  if (name.endsWith(".png", Qt::CaseInsensitive) || name.endsWith(".bmp", Qt::CaseInsensitive))
    return name;
  return name + (chosen_filter == view_filters().at(1) ? ".bmp" : ".png");
}

WriteStatus save_view(const PictureWindow& w, const QString& path) {
  const std::string target = path.toStdString();
  // A target that cannot be opened is told before the drawing, with the
  // system's reason.
  if (const WriteStatus refused = check_output(target); refused != WriteStatus::kOk)
    return refused;
  const QImage image = view_image(w);
  if (image.isNull()) return WriteStatus::kWriteError;
  if (path.endsWith(".bmp", Qt::CaseInsensitive)) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "BMP")) return WriteStatus::kWriteError;
    return write_file_replacing(target, bytes.constData(), static_cast<std::size_t>(bytes.size()));
  }
  const std::string png = encode_png(
      {reinterpret_cast<const uint32_t*>(image.constBits()), image.width(), image.height(),
       image.bytesPerLine() / 4, image.dotsPerMeterX(), image.dotsPerMeterY()});
  if (png.empty()) return WriteStatus::kWriteError;
  return write_file_replacing(target, png.data(), png.size());
}

void fill_picture_menu(QMenu& menu, PictureWindow* w, const PictureMenuHandlers& h) {
  const bool has = w->tiling() != nullptr;
  QAction* save = menu.addAction("Save view as..", [w, h] {
    if (h.save_view) h.save_view(w);
  });
  QAction* copy = menu.addAction("Copy", [w, h] {
    if (h.copy) h.copy(w);
  });
  menu.addSeparator();
  QAction* fit = menu.addAction("Fit", [w] { w->fit(); });
  QAction* in = menu.addAction("Zoom in", [w] { w->zoom_by(1.5); });
  QAction* out = menu.addAction("Zoom out", [w] { w->zoom_by(1.0 / 1.5); });
  for (QAction* a : {save, copy, fit, in, out}) a->setEnabled(has);
  menu.addSeparator();
  auto* styles = new QActionGroup(&menu);
  for (int32_t k = kStyleNoBorders; k <= kStyleZ2; ++k) {
    QAction* a = menu.addAction(kStyleLabels[k], [w, h, k] {
      if (h.choose_style) h.choose_style(w, static_cast<StyleNumber>(k));
    });
    a->setCheckable(true);
    a->setChecked(has && w->tiling()->style == k);
    a->setEnabled(has && h.styles_enabled);
    styles->addAction(a);
  }
}

}  // namespace lozengia
