#include "pictures.h"

#include <QImage>

#include "render/picture_files.h"

namespace lozengia::pymod {

std::vector<uint8_t> render_rgb(const PathArray& paths, int32_t N, int32_t T, int32_t S,
                                int32_t style, const LozengeColors& colors, int width, int height) {
  const QImage image = render_tiling_image(paths, N, T, S, style, colors, width, height)
                           .convertToFormat(QImage::Format_RGB888);
  std::vector<uint8_t> out(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height && y < image.height(); ++y) {
    const uchar* line = image.constScanLine(y);
    std::copy(line, line + row, out.data() + static_cast<std::size_t>(y) * row);
  }
  return out;
}

WriteStatus save_picture_file(bool svg, const std::string& path, const PathArray& paths, int32_t N,
                              int32_t T, int32_t S, int32_t style, const LozengeColors& colors,
                              int size, const WriteOptions& options) {
  return write_tiling_picture(svg ? PictureFormat::kSvg : PictureFormat::kPng, path, paths, N, T, S,
                              style, colors, size, options);
}

}  // namespace lozengia::pymod
