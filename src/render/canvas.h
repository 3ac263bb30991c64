// A small drawing surface in world coordinates. The tiling picture is written
// once against this interface and then painted on screen, into PNG and SVG
// files and onto a printer page by the implementations behind it.
#pragma once

#include <cstdint>

namespace lozengia {

// Colours are packed as 0x00BBGGRR: red in the low byte.
using Rgb = uint32_t;
constexpr Rgb kBlack = 0x000000;
constexpr Rgb kWhite = 0xFFFFFF;

constexpr uint16_t kSolidLine = 0xFFFF;
constexpr uint16_t kDashedLine = 0xECCC;

struct WorldPoint {
  double x = 0.0;
  double y = 0.0;
};

// How lines look: their width in device pixels (at least one) and how dark
// they are, from 0 (not drawn) to 1 (black). A line darker than 0 and
// lighter than 1 darkens what lies under it by that share, once, however
// many such lines cross a pixel: where lines meet or run side by side they
// do not add up to black.
struct LineLook {
  double width = 1.0;
  double darkness = 1.0;
  bool visible() const { return darkness > 0.0; }
  bool operator==(const LineLook&) const = default;
};

class Canvas {
 public:
  virtual ~Canvas() = default;
  // Maps the rectangle (x1, y1)-(x2, y2) onto the whole surface with y growing
  // upwards; the corners may come in any order.
  virtual void set_world(double x1, double y1, double x2, double y2) = 0;
  // Fills the whole surface with `background`.
  virtual void clear(Rgb background) = 0;
  virtual void set_color(Rgb color) = 0;
  // 16-bit pattern, most significant bit first, one bit per pixel (per line
  // width, for lines wider than a pixel).
  virtual void set_line_pattern(uint16_t pattern) = 0;
  // The look of the lines, polygon outlines and dots drawn from now on
  // (black lines one pixel wide at first).
  virtual void set_line_look(const LineLook& look) = 0;
  virtual void polygon(const WorldPoint* points, int count, bool filled) = 0;
  virtual void filled_ellipse(double x1, double y1, double x2, double y2) = 0;
  virtual void pixel(double x, double y) = 0;
  virtual void move_to(double x, double y) = 0;
  virtual void line_to(double x, double y) = 0;
  // Ends the drawing: what a canvas holds back (lighter lines, laid over the
  // picture together) is drawn now.
  virtual void finish() {}
};

}  // namespace lozengia
