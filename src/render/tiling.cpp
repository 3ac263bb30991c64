#include "render/tiling.h"

#include <algorithm>

namespace lozengia {

namespace {

constexpr double kSqrt3 = 1.7320508075688772;
constexpr double kHalfSqrt3 = 0.8660254037844386;

void draw_lozenges(Canvas& c, const Tiling& tiling, int32_t style, const LozengeColors& colors) {
  const PathArray& paths = tiling.paths;
  const int32_t N = tiling.N, T = tiling.T, S = tiling.S;
  const bool outlines = ((style - 1) & 1) != 0;
  const bool path_segments = (style - 1) / 2 == 1;

  WorldPoint hexagon[6];
  hexagon_corners(N, T, S, hexagon);
  c.set_color(colors.hexagon);
  c.polygon(hexagon, 6, true);
  c.set_color(kBlack);
  if (outlines) c.polygon(hexagon, 6, false);

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

void draw_z2(Canvas& c, const Tiling& tiling, const LozengeColors& colors) {
  const PathArray& paths = tiling.paths;
  const int32_t N = tiling.N, T = tiling.T, S = tiling.S;
  c.set_color(colors.hexagon);
  for (int32_t x = 0; x <= T; ++x)
    for (int32_t y = 0; y <= N + S - 1; ++y) c.pixel(x, y);
  c.set_color(kBlack);
  for (int32_t x = 0; x < T; ++x) {
    for (int32_t i = 1; i <= N; ++i) {
      const int32_t h = paths(i, x);
      c.move_to(x, h);
      dot(c, x, h);
      c.line_to(x + 1, paths(i, x + 1));
    }
  }
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

WorldRect tiling_world(int32_t N, int32_t T, int32_t S, int32_t style) {
  if (style == kStyleZ2)
    return {-5.0, -5.0, static_cast<double>(N) + T + 5, static_cast<double>(N) + S + 5};
  const double H = N + S * 0.5 + (T - S) * 0.5;
  const double D = std::max(T * kHalfSqrt3, H);
  // A degenerate hexagon (no paths) still gets a non-empty window.
  const double Hs = H > 0.0 ? H : 1.0;
  return {-10.0, -D * (T - S) * 0.5 / Hs - 20.0, D + 20.0, (N + S * 0.5) * D / Hs + 10.0};
}

PictureFrame whole_picture(const Tiling& tiling, int32_t style, int long_side) {
  return {tiling_world(tiling.N, tiling.T, tiling.S, style), long_side, long_side};
}

void draw_tiling(Canvas& canvas, const Tiling& tiling, const PictureStyle& style,
                 const PictureFrame& frame) {
  int32_t number = style.number;
  if (number < kStyleNoBorders || number > kStyleZ2) number = kStyleBorders;
  const WorldRect& w = frame.world;
  canvas.set_world(w.x1, w.y1, w.x2, w.y2);
  canvas.clear(kWhite);
  canvas.set_line_pattern(kSolidLine);
  if (number == kStyleZ2)
    draw_z2(canvas, tiling, style.colors);
  else
    draw_lozenges(canvas, tiling, number, style.colors);
}

}  // namespace lozengia
