#include "pictures.h"

#include <QImage>

#include "render/picture_files.h"

namespace lozengia::pymod {

std::vector<uint8_t> render_rgb(const Tiling& tiling, const PictureStyle& style,
                                const PictureFrame& frame) {
  const int width = frame.width, height = frame.height;
  const QImage image =
      render_tiling_image(tiling, style, frame).convertToFormat(QImage::Format_RGB888);
  std::vector<uint8_t> out(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height && y < image.height(); ++y) {
    const uchar* line = image.constScanLine(y);
    std::copy(line, line + row, out.data() + static_cast<std::size_t>(y) * row);
  }
  return out;
}

bool save_png(const std::string& path, const Tiling& tiling, const PictureStyle& style,
              const PictureFrame& frame) {
  return write_tiling_png(path, tiling, style, frame);
}

bool save_svg(const std::string& path, const Tiling& tiling, const PictureStyle& style,
              const PictureFrame& frame) {
  return write_tiling_svg(path, tiling, style, frame);
}

}  // namespace lozengia::pymod
