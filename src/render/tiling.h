// The tiling picture: the current configuration drawn in one of five styles.
// What is drawn (a Tiling), how (a PictureStyle) and onto what part of the
// world at what size (a PictureFrame) travel as these three values through
// every form of the picture: the canvas drawing here, the rasteriser, the
// merged shapes of the vector files.
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

// The style numbers of the "Show tiling" dialog and the colour file.
enum StyleNumber : int32_t {
  kStyleNoBorders = 1,
  kStyleBorders = 2,
  kStylePaths = 3,
  kStylePathsBorders = 4,
  kStyleZ2 = 5,
};
inline constexpr StyleNumber kAllStyles[] = {kStyleNoBorders, kStyleBorders, kStylePaths,
                                             kStylePathsBorders, kStyleZ2};

// A configuration to draw: `paths` of the hexagon N x (T-S) x S. It refers
// to the caller's paths, which outlive it.
struct Tiling {
  const PathArray& paths;
  int32_t N = 0, T = 0, S = 0;
};

// How the picture looks: its style number (1..5; anything else, as read from
// a file or typed, draws style 2) and the lozenge colours.
struct PictureStyle {
  StyleNumber number = kStyleBorders;
  LozengeColors colors;
};

// The style a picture of `number` is drawn in: style 2 for a number outside
// 1..5.
inline StyleNumber drawn_style(StyleNumber number) {
  return number < kStyleNoBorders || number > kStyleZ2 ? kStyleBorders : number;
}

// World rectangle (x1, y1)-(x2, y2); the corners may come in any order.
struct WorldRect {
  double x1, y1, x2, y2;
};

// What a picture shows: the world rectangle `world` mapped onto the whole of
// a `width` x `height` surface (pixels; points for a PDF page), y growing
// upwards.
struct PictureFrame {
  WorldRect world{0.0, 0.0, 1.0, 1.0};
  int width = 0;
  int height = 0;
};

// The look of the picture's lines where the lattice's unit (a lozenge's
// side; the grid's step in style 5) is `unit_px` pixels. Outlines and path
// segments of one pixel would cover lozenges of two, so they fade from black
// at 5 pixels to nothing at 2 (a large tiling shows its lozenge colours, not
// a black hexagon), and widen with the lozenges from 20 pixels on (a zoomed
// view or a printed page shows them as a drawing would). The paths of style
// 5, which have no colours under them, keep 40% of their darkness however
// small the grid (`sole_lines`): where they crowd, the grid turns grey.
LineLook line_look(double unit_px, bool sole_lines = false);

// Pixels a lattice unit covers in a frame (the smaller scale, should the
// frame distort).
double unit_pixels(const PictureFrame& frame);

// The tiling's shape held to what its array holds (0 <= N, T) and to a
// hexagon (0 <= S <= T): every form of the picture draws this, whatever
// shape a caller claims, and never reads past the array.
Tiling drawable(const Tiling& tiling);

// The world rectangle of what a style draws, with an even margin on every
// side: the hexagon for the lozenge styles, the grid of points for the paths
// in Z^2. The picture window, every file and the printed page show it
// centred.
WorldRect picture_content(const Tiling& tiling, StyleNumber style);

// `world` widened about its centre to the aspect of a `width` x `height`
// surface, so that it shows undistorted and centred on it.
WorldRect fit_to_aspect(const WorldRect& world, double width, double height);

// The long sides a picture file may be given, in pixels (points for PDF):
// lozengia-cli's --size and the desktop program's "Save image as..".
constexpr int kMinLongSide = 16;
constexpr int kMaxLongSide = 20000;

// The picture of the whole tiling: its content centred with an even margin,
// `long_side` pixels on the long side, the other side following the
// content's aspect (at least one pixel; both 0 when `long_side` is below 1).
PictureFrame whole_picture(const Tiling& tiling, StyleNumber style, int long_side);

// The hexagon's six corners in world coordinates, in drawing order.
void hexagon_corners(int32_t N, int32_t T, int32_t S, WorldPoint corners[6]);

// Clears the canvas to white and draws the tiling in `style` onto it, the
// frame's world filling the canvas.
void draw_tiling(Canvas& canvas, const Tiling& tiling, const PictureStyle& style,
                 const PictureFrame& frame);

}  // namespace lozengia
