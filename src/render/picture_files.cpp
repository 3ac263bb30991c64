#include "render/picture_files.h"

#include <QBuffer>
#include <QByteArray>
#include <QMarginsF>
#include <QPageSize>
#include <QPdfWriter>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <thread>

#include "render/lozenge_regions.h"
#include "render/png_encoder.h"
#include "render/qpainter_canvas.h"
#include "render/raster_tiling.h"
#include "render/svg_tiling.h"

namespace lozengia {

QImage render_tiling_image(const Tiling& tiling, const PictureStyle& style,
                           const PictureFrame& frame) {
  QImage image(std::max(frame.width, 1), std::max(frame.height, 1), QImage::Format_RGB32);
  if (image.isNull()) return image;
  raster_tiling({reinterpret_cast<uint32_t*>(image.bits()), image.width(), image.height(),
                 image.bytesPerLine() / 4},
                tiling, style, frame.world);
  return image;
}

namespace {

// Each picture is made whole in memory, then handed to the file writer.

std::optional<QByteArray> image_bytes(const char* format, const Tiling& tiling,
                                      const PictureStyle& style, const PictureFrame& frame) {
  const QImage image = render_tiling_image(tiling, style, frame);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, format)) return std::nullopt;
  return bytes;
}

// The PNG file, compressed in bands on every core (Qt's encoder works on
// one), with the image's pixel density as Qt's encoder wrote it; empty when
// it could not be made.
std::string png_bytes(const Tiling& tiling, const PictureStyle& style, const PictureFrame& frame) {
  const QImage image = render_tiling_image(tiling, style, frame);
  if (image.isNull()) return {};
  return encode_png({reinterpret_cast<const uint32_t*>(image.constBits()), image.width(),
                     image.height(), image.bytesPerLine() / 4, image.dotsPerMeterX(),
                     image.dotsPerMeterY()});
}

// One page of the frame's size in points, at 72 dots per inch so that a
// pixel of the other formats is a point here; the lozenges stay vector
// shapes.
std::optional<QByteArray> pdf_bytes(const Tiling& tiling, const PictureStyle& style,
                                    const PictureFrame& frame) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter pdf(&buffer);
    pdf.setResolution(72);
    const QSizeF page(frame.width, frame.height);
    pdf.setPageSize(QPageSize(page, QPageSize::Point, QString(), QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle("Lozenge tiling");
    pdf.setCreator("Lozengia");
    QPainter painter;
    if (!painter.begin(&pdf)) return std::nullopt;
    QPainterCanvas canvas(painter, page);
    // The merged shapes of the SVG picture: a page of a large tiling stays
    // small and quick to open.
    draw_tiling_merged(canvas, tiling, style, frame);
    if (!painter.end()) return std::nullopt;
  }
  return bytes;
}

}  // namespace

WriteStatus write_tiling_picture(PictureFormat format, const std::string& path,
                                 const Tiling& tiling, const PictureStyle& style,
                                 const PictureFrame& frame, const WriteOptions& options) {
  // A target that cannot be opened is told before the drawing, which can
  // take a while on a large picture.
  if (const WriteStatus refused = check_output(path, options); refused != WriteStatus::kOk)
    return refused;
  if (frame.width < 1 || frame.height < 1) return WriteStatus::kWriteError;
  std::optional<QByteArray> bytes;
  switch (format) {
    case PictureFormat::kPng: {
      const std::string png = png_bytes(tiling, style, frame);
      if (png.empty()) return {WriteStatus::kWriteError, ENOMEM};
      return write_file_replacing(path, png.data(), png.size(), options);
    }
    case PictureFormat::kBmp:
      bytes = image_bytes("BMP", tiling, style, frame);
      break;
    case PictureFormat::kSvg:
      // Streamed through the writer as it is made, never held whole.
      return write_svg_picture(path, tiling, style, frame, options);
    case PictureFormat::kPdf:
      bytes = pdf_bytes(tiling, style, frame);
      break;
  }
  if (!bytes) return {WriteStatus::kWriteError, ENOMEM};
  return write_file_replacing(path, bytes->constData(), static_cast<std::size_t>(bytes->size()),
                              options);
}

MemoryNeed picture_file_need(PictureFormat format, const Tiling& tiling, const PictureStyle& style,
                             const PictureFrame& frame) {
  const auto w = static_cast<uint64_t>(std::max(frame.width, 0));
  const auto h = static_cast<uint64_t>(std::max(frame.height, 0));
  const uint64_t pixels = times_bytes(times_bytes(w, h), 4);
  // Each band of the rasteriser keeps three floats per row of the picture.
  const uint64_t bands =
      times_bytes(std::max(1u, std::thread::hardware_concurrency()), times_bytes(h, 12));
  switch (format) {
    case PictureFormat::kPng:
      return bytes_only(add_bytes(add_bytes(pixels, bands),
                                  encode_png_bytes(frame.width, frame.height)));
    case PictureFormat::kBmp:
      // Qt's BMP file (at most four bytes a pixel) in a buffer that may
      // double as it grows.
      return bytes_only(add_bytes(add_bytes(pixels, bands), times_bytes(2, add_bytes(pixels, 4096))));
    case PictureFormat::kSvg:
    case PictureFormat::kPdf:
      break;
  }
  return bytes_only(svg_memory_bound(tiling.N, tiling.T, tiling.S, style.number));
}

}  // namespace lozengia
