// The tiling picture as few large shapes, for vector files: regions of
// lozenges of one type merged into polygons, outlines and paths as long
// polylines, all on integer lattice points. The SVG writer and the canvas
// (PDF, print) drawing take the same shapes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/hexagon.h"
#include "render/canvas.h"
#include "render/tiling.h"

namespace lozengia {

// A point of the lattice. World coordinates are (x * ax, y * ay) with the
// frame's factors: for the lozenge styles x is the slice t and y = 2h - t
// (ax = sqrt(3)/2, ay = 1/2); for the square grid x and y are the grid's.
struct LatticePoint {
  int64_t x = 0;
  int64_t y = 0;
  bool operator==(const LatticePoint& o) const { return x == o.x && y == o.y; }
};

// Receives the picture in drawing order: layers, each with its shapes.
class RegionSink {
 public:
  virtual ~RegionSink() = default;
  // The picture's frame and the lattice's factors.
  virtual void begin(const PictureFrame& frame, double ax, double ay) = 0;
  // Filled polygons of one colour (closed, simple, not overlapping).
  virtual void fill_layer(Rgb color) = 0;
  // Black lines of `look` with a 16-bit pattern (see Canvas).
  virtual void line_layer(uint16_t pattern, const LineLook& look) = 0;
  // Black filled dots of `radius` world units, at least a pixel, as dark as
  // `look` says.
  virtual void dot_layer(double radius, const LineLook& look) = 0;
  virtual void polygon(const LatticePoint* points, std::size_t count) = 0;
  virtual void polyline(const LatticePoint* points, std::size_t count) = 0;
  virtual void dot(LatticePoint p) = 0;
  // One pixel of `color` at every lattice point (x, y), x0 <= x <= x1,
  // y0 <= y <= y1; a layer of its own.
  virtual void grid(int64_t x0, int64_t x1, int64_t y0, int64_t y1, Rgb color) = 0;
  virtual void end_layer() = 0;
  // False once the sink has failed (a write error): the tracing stops.
  virtual bool ok() const { return true; }
};

// Longest chain of one polygon side before it is cut in two, which bounds
// the memory of the open polygons by about 32 * N * this many bytes.
constexpr std::size_t kMaxChain = 512;

// Sends the picture draw_tiling draws of the frame to `sink`.
void trace_tiling(RegionSink& sink, const Tiling& tiling, const PictureStyle& style,
                  const PictureFrame& frame);

// The same picture on a canvas from the merged shapes (a PDF or a printer
// page, where one polygon per lozenge would make a huge document).
void draw_tiling_merged(Canvas& canvas, const Tiling& tiling, const PictureStyle& style,
                        const PictureFrame& frame);

}  // namespace lozengia
