// The tiling picture: the current configuration drawn in one of five styles.
#pragma once

#include <cstdint>

#include "core/hexagon.h"
#include "render/canvas.h"

namespace lozengia {

// The three lozenge colours in the order the colour file lists them.
struct LozengeColors {
  Rgb flat = 0xD0FFD0;     // first colour: flat steps of a path
  Rgb rising = 0xD0D0FF;   // second colour: rising steps
  Rgb hexagon = 0xDDB0B0;  // third colour: the hexagon, showing through as the
                           // lozenges that no path crosses
};

enum PictureStyle : int32_t {
  kStyleNoBorders = 1,
  kStyleBorders = 2,
  kStylePaths = 3,
  kStylePathsBorders = 4,
  kStyleZ2 = 5,
};

// World rectangle (x1, y1)-(x2, y2) a style uses for this hexagon.
struct WorldRect {
  double x1, y1, x2, y2;
};
WorldRect tiling_world(int32_t N, int32_t T, int32_t S, int32_t style);

// The hexagon's six corners in world coordinates, in drawing order.
void hexagon_corners(int32_t N, int32_t T, int32_t S, WorldPoint corners[6]);

// Clears the canvas to white and draws the configuration `paths` of the
// hexagon N x (T-S) x S in `style` (1..5; anything else draws style 2).
void draw_tiling(Canvas& canvas, const PathArray& paths, int32_t N, int32_t T, int32_t S,
                 int32_t style, const LozengeColors& colors);

}  // namespace lozengia
