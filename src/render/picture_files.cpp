#include "render/picture_files.h"

#include <QBuffer>
#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <QSvgGenerator>

#include "render/qpainter_canvas.h"
#include "render/raster_tiling.h"
#include "render/svg_tiling.h"

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
                           int32_t style, const LozengeColors& colors, int width, int height,
                           const WorldRect* view) {
  QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
  if (image.isNull()) return image;
  raster_tiling({reinterpret_cast<uint32_t*>(image.bits()), image.width(), image.height(),
                 image.bytesPerLine() / 4},
                paths, N, T, S, style, colors, view);
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
  return write_svg_picture(path, paths, N, T, S, style, colors, size_px) == WriteStatus::kOk;
}

}  // namespace lozengia
