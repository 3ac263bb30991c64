#include "render/picture_files.h"

#include <QBuffer>
#include <QByteArray>
#include <QMarginsF>
#include <QPageSize>
#include <QPdfWriter>
#include <QString>
#include <optional>
#include <string>

#include "render/lozenge_regions.h"
#include "render/png_encoder.h"
#include "render/qpainter_canvas.h"
#include "render/raster_tiling.h"
#include "render/svg_tiling.h"

namespace lozengia {

QImage render_tiling_image(const PathArray& paths, int32_t N, int32_t T, int32_t S, int32_t style,
                           const LozengeColors& colors, int width, int height,
                           const WorldRect* view) {
  QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
  if (image.isNull()) return image;
  raster_tiling({reinterpret_cast<uint32_t*>(image.bits()), image.width(), image.height(),
                 image.bytesPerLine() / 4},
                paths, N, T, S, style, colors, view);
  return image;
}

namespace {

// Each picture is made whole in memory, then handed to the file writer.

std::optional<QByteArray> image_bytes(const char* format, const PathArray& paths, int32_t N,
                                      int32_t T, int32_t S, int32_t style,
                                      const LozengeColors& colors, int size_px) {
  const QImage image = render_tiling_image(paths, N, T, S, style, colors, size_px, size_px);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, format)) return std::nullopt;
  return bytes;
}

// The PNG file, compressed in bands on every core (Qt's encoder works on
// one), with the image's pixel density as Qt's encoder wrote it; empty when
// it could not be made.
std::string png_bytes(const PathArray& paths, int32_t N, int32_t T, int32_t S, int32_t style,
                      const LozengeColors& colors, int size_px) {
  const QImage image = render_tiling_image(paths, N, T, S, style, colors, size_px, size_px);
  if (image.isNull()) return {};
  return encode_png({reinterpret_cast<const uint32_t*>(image.constBits()), image.width(),
                     image.height(), image.bytesPerLine() / 4, image.dotsPerMeterX(),
                     image.dotsPerMeterY()});
}

// One page of `size_px` points square, at 72 dots per inch so that a pixel of
// the other formats is a point here; the lozenges stay vector shapes.
std::optional<QByteArray> pdf_bytes(const PathArray& paths, int32_t N, int32_t T, int32_t S,
                                    int32_t style, const LozengeColors& colors, int size_px) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter pdf(&buffer);
    pdf.setResolution(72);
    pdf.setPageSize(
        QPageSize(QSizeF(size_px, size_px), QPageSize::Point, QString(), QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle("Lozenge tiling");
    pdf.setCreator("Lozengia");
    QPainter painter;
    if (!painter.begin(&pdf)) return std::nullopt;
    QPainterCanvas canvas(painter, QSizeF(size_px, size_px));
    // The merged shapes of the SVG picture: a page of a large tiling stays
    // small and quick to open.
    draw_tiling_merged(canvas, paths, N, T, S, style, colors);
    if (!painter.end()) return std::nullopt;
  }
  return bytes;
}

}  // namespace

WriteStatus write_tiling_picture(PictureFormat format, const std::string& path,
                                 const PathArray& paths, int32_t N, int32_t T, int32_t S,
                                 int32_t style, const LozengeColors& colors, int size_px,
                                 const WriteOptions& options) {
  // A target that cannot be opened is told before the drawing, which can
  // take a while on a large picture.
  if (const WriteStatus refused = check_output(path, options); refused != WriteStatus::kOk)
    return refused;
  if (size_px < 1) return WriteStatus::kWriteError;
  std::optional<QByteArray> bytes;
  switch (format) {
    case PictureFormat::kPng: {
      const std::string png = png_bytes(paths, N, T, S, style, colors, size_px);
      if (png.empty()) return WriteStatus::kWriteError;
      return write_file_replacing(path, png.data(), png.size(), options);
    }
    case PictureFormat::kBmp:
      bytes = image_bytes("BMP", paths, N, T, S, style, colors, size_px);
      break;
    case PictureFormat::kSvg:
      // Streamed through the writer as it is made, never held whole.
      return write_svg_picture(path, paths, N, T, S, style, colors, size_px, options);
    case PictureFormat::kPdf:
      bytes = pdf_bytes(paths, N, T, S, style, colors, size_px);
      break;
  }
  if (!bytes) return WriteStatus::kWriteError;
  return write_file_replacing(path, bytes->constData(), static_cast<std::size_t>(bytes->size()),
                              options);
}

bool write_tiling_png(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px) {
  return write_tiling_picture(PictureFormat::kPng, path, paths, N, T, S, style, colors, size_px) ==
         WriteStatus::kOk;
}

bool write_tiling_bmp(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px) {
  return write_tiling_picture(PictureFormat::kBmp, path, paths, N, T, S, style, colors, size_px) ==
         WriteStatus::kOk;
}

bool write_tiling_svg(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px) {
  return write_tiling_picture(PictureFormat::kSvg, path, paths, N, T, S, style, colors, size_px) ==
         WriteStatus::kOk;
}

bool write_tiling_pdf(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px) {
  return write_tiling_picture(PictureFormat::kPdf, path, paths, N, T, S, style, colors, size_px) ==
         WriteStatus::kOk;
}

}  // namespace lozengia
