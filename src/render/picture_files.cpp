#include "render/picture_files.h"

#include <QBuffer>
#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <QSvgGenerator>

#include "render/qpainter_canvas.h"

namespace lozengia {

namespace {

bool save_bytes(const std::string& path, const QByteArray& bytes) {
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

}  // namespace

QImage render_tiling_image(const PathArray& paths, int32_t N, int32_t T, int32_t S,
                           int32_t style, const LozengeColors& colors, int width, int height) {
  QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  QPainterCanvas canvas(painter, QSizeF(image.width(), image.height()));
  draw_tiling(canvas, paths, N, T, S, style, colors);
  painter.end();
  return image;
}

bool write_tiling_png(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px) {
  if (size_px < 1) return false;
  const QImage image = render_tiling_image(paths, N, T, S, style, colors, size_px, size_px);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return false;
  return save_bytes(path, bytes);
}

bool write_tiling_svg(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px) {
  if (size_px < 1) return false;
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(QSize(size_px, size_px));
  svg.setViewBox(QRect(0, 0, size_px, size_px));
  svg.setTitle("Lozenge tiling");
  {
    QPainter painter;
    if (!painter.begin(&svg)) return false;
    QPainterCanvas canvas(painter, QSizeF(size_px, size_px));
    draw_tiling(canvas, paths, N, T, S, style, colors);
    painter.end();
  }
  return save_bytes(path, bytes);
}

}  // namespace lozengia

// Minimal BMP and PDF writers with the same parameters (the desktop program's
// "Save image as.."); to be replaced by the safe-writer versions.
#include <QPdfWriter>
namespace lozengia {
bool write_tiling_bmp(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px) {
  if (size_px < 1) return false;
  const QImage image = render_tiling_image(paths, N, T, S, style, colors, size_px, size_px);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "BMP")) return false;
  return save_bytes(path, bytes);
}

bool write_tiling_pdf(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px) {
  if (size_px < 1) return false;
  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&buffer);
    pdf.setResolution(72);
    pdf.setPageSize(QPageSize(QSizeF(size_px, size_px), QPageSize::Point));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle("Lozenge tiling");
    QPainter painter;
    if (!painter.begin(&pdf)) return false;
    const QRect area = painter.viewport();
    QPainterCanvas canvas(painter, QSizeF(area.width(), area.height()));
    draw_tiling(canvas, paths, N, T, S, style, colors);
    painter.end();
  }
  return save_bytes(path, bytes);
}
}  // namespace lozengia
