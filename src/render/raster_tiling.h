// The tiling picture rasterised straight into a pixel buffer: the picture that
// draw_tiling paints on a canvas of the same size, made column by column from
// the path heights instead of one polygon per lozenge, on every core.
//
// Where a lozenge is at least a few pixels wide every pixel takes the colour
// of the lozenge under its centre, as an aliased polygon fill does. Smaller
// lozenges cannot be shown one by one, so a pixel then takes the mean colour
// of what it covers (exact in y, four samples in x): a block of pixels shows
// the area fractions of the three lozenge types. Outlines, path segments and
// the square-grid style's paths are drawn as line_look() says for the scale:
// one-pixel lines, lighter ones (each pixel darkened once) where lozenges
// are small, wider ones where they are large.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/hexagon.h"
#include "render/tiling.h"

namespace lozengia {

// A 32-bit pixel buffer, 0xFFRRGGBB per pixel (QImage::Format_RGB32), rows
// `stride` pixels apart.
struct RasterTarget {
  uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;
};

// Pixels per lattice unit from which lozenges are drawn crisp, one colour per
// pixel (a lozenge is then about 2.6 pixels wide).
constexpr double kCrispScale = 3.0;

// Draws the tiling in `style` onto the whole target, showing the world
// rectangle `view` (the frame's world; the target is its surface).
// `threads` 0 means one per core. The result does not depend on the number
// of threads.
void raster_tiling(const RasterTarget& target, const Tiling& tiling, const PictureStyle& style,
                   const WorldRect& view, unsigned threads = 0);

}  // namespace lozengia
