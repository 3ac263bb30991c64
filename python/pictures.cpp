#include "pictures.h"

#include <QImage>
#include <algorithm>

#include "render/picture_files.h"

namespace lozengia::pymod {

std::vector<uint8_t> render_rgb(const Tiling& tiling, const PictureStyle& style,
                                const PictureFrame& frame) {
  const int width = frame.width, height = frame.height;
  // 0xffRRGGBB pixels, unpacked here: Qt's own conversion of a large image
  // waits for threads of its pool, and would wait for ever where none can be
  // started.
  const QImage image = render_tiling_image(tiling, style, frame);
  std::vector<uint8_t> out(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  const int w = std::min(width, image.width());
  for (int y = 0; y < height && y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
    uint8_t* o = out.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3;
    for (int x = 0; x < w; ++x, o += 3) {
      o[0] = static_cast<uint8_t>(line[x] >> 16);
      o[1] = static_cast<uint8_t>(line[x] >> 8);
      o[2] = static_cast<uint8_t>(line[x]);
    }
  }
  return out;
}

WriteStatus save_picture_file(bool svg, const std::string& path, const Tiling& tiling,
                              const PictureStyle& style, const PictureFrame& frame,
                              const WriteOptions& options) {
  return write_tiling_picture(svg ? PictureFormat::kSvg : PictureFormat::kPng, path, tiling, style,
                              frame, options);
}

}  // namespace lozengia::pymod
