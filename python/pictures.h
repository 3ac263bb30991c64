// The tiling picture for the module: the desktop program's drawing code,
// rendered into an RGB array or written as PNG or SVG through the same
// picture-file functions as lozengia-cli.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/hexagon.h"
#include "render/output_file.h"
#include "render/tiling.h"

namespace lozengia::pymod {

// frame.width x frame.height x 3 bytes, row by row from the top, red first.
std::vector<uint8_t> render_rgb(const Tiling& tiling, const PictureStyle& style,
                                const PictureFrame& frame);

// The picture as a PNG or SVG file at `path` (the file system's bytes).
WriteStatus save_picture_file(bool svg, const std::string& path, const Tiling& tiling,
                              const PictureStyle& style, const PictureFrame& frame,
                              const WriteOptions& options);

}  // namespace lozengia::pymod
