// The tiling picture as a file: PNG through QImage, SVG through QSvgGenerator.
// Needs QtGui and QtSvg but no running application object.
#pragma once

#include <cstdint>
#include <string>

#include <QImage>

#include "core/hexagon.h"
#include "render/tiling.h"

namespace lozengia {

// The picture on a white `width` x `height` image.
QImage render_tiling_image(const PathArray& paths, int32_t N, int32_t T, int32_t S,
                           int32_t style, const LozengeColors& colors, int width, int height);

// A square picture of `size_px` pixels written to `path`. False when the file
// could not be written (an existing file is then left as it was).
bool write_tiling_png(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px);
bool write_tiling_svg(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px);

}  // namespace lozengia

// Minimal BMP and PDF writers with the same parameters (the desktop program's
// "Save image as.."); to be replaced by the safe-writer versions.
namespace lozengia {
bool write_tiling_bmp(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px);
bool write_tiling_pdf(const std::string& path, const PathArray& paths, int32_t N, int32_t T,
                      int32_t S, int32_t style, const LozengeColors& colors, int size_px);
}  // namespace lozengia
