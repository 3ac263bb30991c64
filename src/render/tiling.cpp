#include "render/tiling.h"

#include <algorithm>
#include <cmath>

namespace lozengia {

namespace {

constexpr double kSqrt3 = 1.7320508075688772;
constexpr double kHalfSqrt3 = 0.8660254037844386;

void draw_lozenges(Canvas& c, const Tiling& tiling, StyleNumber style, const LozengeColors& colors,
                   double unit_px) {
  const PathArray& paths = tiling.paths;
  const int32_t N = tiling.N, T = tiling.T, S = tiling.S;
  const LineLook look = line_look(unit_px);
  const bool outlines = ((style - 1) & 1) != 0 && look.visible();
  const bool path_segments = (style - 1) / 2 == 1 && look.visible();

  WorldPoint hexagon[6];
  hexagon_corners(N, T, S, hexagon);
  c.set_color(colors.hexagon);
  c.polygon(hexagon, 6, true);
  c.set_color(kBlack);
  // The hexagon's own outline hides nothing: it stays black at every size.
  if (((style - 1) & 1) != 0) {
    c.set_line_look({look.width, 1.0});
    c.polygon(hexagon, 6, false);
  }
  c.set_line_look(look);

  for (int32_t t = 0; t < T; ++t) {
    for (int32_t i = 1; i <= N; ++i) {
      const int32_t h = paths(i, t);
      WorldPoint p[4];
      p[0] = {t * kHalfSqrt3, h - t / 2.0};
      p[1] = {p[0].x, h + 1 - t / 2.0};
      p[2].x = p[3].x = p[0].x + kHalfSqrt3;
      Rgb fill;
      if (paths(i, t + 1) == h) {
        p[2].y = p[1].y - 0.5;
        p[3].y = p[0].y - 0.5;
        fill = colors.flat;
      } else {
        p[2].y = p[1].y + 0.5;
        p[3].y = p[0].y + 0.5;
        fill = colors.rising;
      }
      c.set_color(fill);
      c.polygon(p, 4, true);
      if (outlines) {
        c.set_color(kBlack);
        c.polygon(p, 4, false);
      }
      if (path_segments) {
        c.set_color(kBlack);
        if (outlines) c.set_line_pattern(kDashedLine);
        c.move_to(p[0].x, (p[0].y + p[1].y) / 2.0);
        c.line_to(p[2].x, (p[2].y + p[3].y) / 2.0);
        c.set_line_pattern(kSolidLine);
      }
    }
  }
}

void dot(Canvas& c, double x, double y) {
  c.filled_ellipse(x - 0.05, y - 0.05, x + 0.05, y + 0.05);
}

void draw_z2(Canvas& c, const Tiling& tiling, const LozengeColors& colors, double unit_px) {
  const PathArray& paths = tiling.paths;
  const int32_t N = tiling.N, T = tiling.T, S = tiling.S;
  c.set_color(colors.hexagon);
  for (int32_t x = 0; x <= T; ++x)
    for (int32_t y = 0; y <= N + S - 1; ++y) c.pixel(x, y);
  c.set_color(kBlack);
  const LineLook look = line_look(unit_px, true);
  c.set_line_look(look);
  // Where the paths are lighter than black the grid is under 5 pixels and
  // a dot (a tenth of it) under a pixel: the paths through the points mark
  // them, and dots over them would only darken them twice.
  const bool dots = look.darkness >= 1.0;
  for (int32_t x = 0; x < T; ++x) {
    for (int32_t i = 1; i <= N; ++i) {
      const int32_t h = paths(i, x);
      c.move_to(x, h);
      if (dots) dot(c, x, h);
      c.line_to(x + 1, paths(i, x + 1));
    }
  }
  if (dots)
    for (int32_t i = 1; i <= N; ++i) dot(c, T, paths(i, T));
}

}  // namespace

void hexagon_corners(int32_t N, int32_t T, int32_t S, WorldPoint corners[6]) {
  const WorldPoint hexagon[6] = {
      {0.0, 0.0},
      {0.0, static_cast<double>(N)},
      {S * kSqrt3 / 2.0, N + S / 2.0},
      {T * kSqrt3 / 2.0, N + (2.0 * S - T) / 2.0},
      {T * kSqrt3 / 2.0, (2.0 * S - T) / 2.0},
      {(T - S) * kSqrt3 / 2.0, -(T - S) / 2.0},
  };
  std::copy(hexagon, hexagon + 6, corners);
}

Tiling drawable(const Tiling& t) {
  const int32_t N = std::clamp(t.N, 0, std::max(t.paths.n(), 0));
  const int32_t T = std::clamp(t.T, 0, std::max(t.paths.t(), 0));
  return {t.paths, N, T, std::clamp(t.S, 0, T)};
}

WorldRect picture_content(const Tiling& tiling, StyleNumber style) {
  const Tiling t = drawable(tiling);
  WorldRect r;
  if (style == kStyleZ2)
    r = {0.0, 0.0, static_cast<double>(t.T), static_cast<double>(t.N) + t.S - 1};
  else
    r = {0.0, -(t.T - t.S) / 2.0, t.T * kHalfSqrt3, t.N + t.S / 2.0};
  const double m = 0.04 * std::max({r.x2 - r.x1, r.y2 - r.y1, 1.0});
  return {std::min(r.x1, r.x2) - m, std::min(r.y1, r.y2) - m, std::max(r.x1, r.x2) + m,
          std::max(r.y1, r.y2) + m};
}

WorldRect fit_to_aspect(const WorldRect& world, double width, double height) {
  const double x1 = std::min(world.x1, world.x2), x2 = std::max(world.x1, world.x2);
  const double y1 = std::min(world.y1, world.y2), y2 = std::max(world.y1, world.y2);
  double w = x2 - x1 > 0.0 ? x2 - x1 : 1.0;
  double h = y2 - y1 > 0.0 ? y2 - y1 : 1.0;
  const double cx = (x1 + x2) / 2.0, cy = (y1 + y2) / 2.0;
  const double aspect = width > 0.0 && height > 0.0 ? width / height : 1.0;
  if (w / h < aspect)
    w = h * aspect;
  else
    h = w / aspect;
  return {cx - w / 2.0, cy - h / 2.0, cx + w / 2.0, cy + h / 2.0};
}

PictureFrame whole_picture(const Tiling& tiling, StyleNumber style, int long_side) {
  const WorldRect c = picture_content(tiling, style);
  if (long_side < 1) return {c, 0, 0};
  const double w = c.x2 - c.x1, h = c.y2 - c.y1;
  // The short side rounded to whole pixels; the world is then widened to
  // the picture's exact aspect, so that the content stays centred and
  // undistorted.
  auto short_side = [&](double ratio) {
    return static_cast<int>(std::clamp(std::lround(long_side * ratio), 1L, long{long_side}));
  };
  const int width = w >= h ? long_side : short_side(w / h);
  const int height = w >= h ? short_side(h / w) : long_side;
  return {fit_to_aspect(c, width, height), width, height};
}

LineLook line_look(double unit_px, bool sole_lines) {
  // Black from kFull pixels a unit, gone at kGone, a smooth step between.
  constexpr double kFull = 5.0, kGone = 2.0, kSoleFloor = 0.4;
  // Past kWiden pixels a unit, lines are this share of it wide.
  constexpr double kWiden = 20.0;
  LineLook look;
  look.width = std::max(1.0, unit_px / kWiden);
  const double t = std::clamp((unit_px - kGone) / (kFull - kGone), 0.0, 1.0);
  look.darkness = t * t * (3.0 - 2.0 * t);
  if (sole_lines) look.darkness = kSoleFloor + (1.0 - kSoleFloor) * look.darkness;
  if (!(unit_px > 0.0)) look.darkness = sole_lines ? kSoleFloor : 0.0;  // NaN, or no picture
  return look;
}

double unit_pixels(const PictureFrame& frame) {
  const double w = std::abs(frame.world.x2 - frame.world.x1);
  const double h = std::abs(frame.world.y2 - frame.world.y1);
  return std::min(w > 0.0 ? frame.width / w : 0.0, h > 0.0 ? frame.height / h : 0.0);
}

void draw_tiling(Canvas& canvas, const Tiling& tiling, const PictureStyle& style,
                 const PictureFrame& frame) {
  const StyleNumber number = drawn_style(style.number);
  const WorldRect& w = frame.world;
  canvas.set_world(w.x1, w.y1, w.x2, w.y2);
  canvas.clear(kWhite);
  canvas.set_line_pattern(kSolidLine);
  if (number == kStyleZ2)
    draw_z2(canvas, tiling, style.colors, unit_pixels(frame));
  else
    draw_lozenges(canvas, tiling, number, style.colors, unit_pixels(frame));
  canvas.finish();
}

}  // namespace lozengia
