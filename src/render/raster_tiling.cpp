#include "render/raster_tiling.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#include "render/bands.h"

namespace lozengia {

namespace {

constexpr double kHalfSqrt3 = 0.8660254037844386;
constexpr uint32_t kBlackPx = 0xFF000000u;
constexpr uint32_t kWhitePx = 0xFFFFFFFFu;
// Sub-columns per pixel column where lozenges are smaller than a few pixels.
constexpr int kSubColumns = 4;

// A device coordinate as a pixel index, held to a range where the
// arithmetic on it cannot overflow (heights far outside the picture).
int pix(double v) {
  constexpr double kFar = 1 << 30;
  if (!(v > -kFar)) return -(1 << 30);
  if (v > kFar) return 1 << 30;
  return static_cast<int>(std::floor(v));
}
int pix_ceil(double v) { return -pix(-v); }

uint32_t to_pixel(Rgb c) {
  return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

// World to device, as the canvas maps a world rectangle onto the surface.
struct Mapping {
  double left = 0, top = 0, sx = 1, sy = 1;
  double dx(double x) const { return (x - left) * sx; }
  double dy(double y) const { return (top - y) * sy; }
  double wx(double px) const { return left + px / sx; }
};

Mapping make_mapping(const WorldRect& w, int width, int height) {
  const double left = std::min(w.x1, w.x2), right = std::max(w.x1, w.x2);
  const double bottom = std::min(w.y1, w.y2), top = std::max(w.y1, w.y2);
  const double ww = right - left > 0.0 ? right - left : 1.0;
  const double hh = top - bottom > 0.0 ? top - bottom : 1.0;
  return {left, top, width / ww, height / hh};
}

// One band of columns [c0, c1) of the target, drawn by one thread. Every pixel
// of the band is written by this band only, and what it gets depends on its
// own position, so the bands can be drawn in any order.
class Band {
 public:
  Band(const RasterTarget& t, const Mapping& m, int c0, int c1) : t_(t), m_(m), c0_(c0), c1_(c1) {}

  void fill_column(int c, uint32_t color) {
    uint32_t* p = t_.pixels + c;
    for (int r = 0; r < t_.height; ++r, p += t_.stride) *p = color;
  }

  // Rows whose centres lie in the world interval [ylo, yhi) of column c.
  void fill_span(int c, double ylo, double yhi, uint32_t color) {
    const double a = m_.dy(yhi), b = m_.dy(ylo);
    int r0 = pix_ceil(a - 0.5);
    int r1 = pix_ceil(b - 0.5);
    r0 = std::max(r0, 0);
    r1 = std::min(r1, t_.height);
    uint32_t* p = t_.pixels + c + static_cast<std::ptrdiff_t>(r0) * t_.stride;
    for (int r = r0; r < r1; ++r, p += t_.stride) *p = color;
  }

  void set(int c, int r, uint32_t color) {
    if (c >= c0_ && c < c1_ && r >= 0 && r < t_.height)
      t_.pixels[c + static_cast<std::ptrdiff_t>(r) * t_.stride] = color;
  }

  // Lines and dots drawn from now on look so (black while not set).
  void set_look(const LineLook& look) {
    look_ = look;
    const double keep = 1.0 - std::clamp(look.darkness, 0.0, 1.0);
    keep256_ = static_cast<uint32_t>(std::lround(keep * 256.0));
  }

  // A pixel of a line: black, or darkened by the look's share. A darkened
  // pixel is marked (its unused top byte 0xFE) so that another line over it
  // leaves it as it is: lighter lines darken a pixel once, however many
  // cross it. unmark() gives the band back its opaque pixels.
  void plot(int c, int r) {
    if (c < c0_ || c >= c1_ || r < 0 || r >= t_.height) return;
    uint32_t& px = t_.pixels[c + static_cast<std::ptrdiff_t>(r) * t_.stride];
    if (keep256_ == 0) {
      px = kBlackPx;
    } else if ((px >> 24) == 0xFFu) {
      uint32_t out = 0xFE000000u;
      for (int shift = 0; shift <= 16; shift += 8)
        out |= ((((px >> shift) & 0xFFu) * keep256_ + 128u) >> 8) << shift;
      px = out;
      marked_ = true;
    }
  }

  void unmark() {
    if (!marked_) return;
    for (int r = 0; r < t_.height; ++r) {
      uint32_t* p = t_.pixels + static_cast<std::ptrdiff_t>(r) * t_.stride;
      for (int c = c0_; c < c1_; ++c) p[c] |= 0xFF000000u;
    }
    marked_ = false;
  }

  // A one-pixel line between two device points, as a cosmetic pen steps it:
  // one pixel per column (per row for steep lines) from the rounded start to
  // the rounded end, the end excluded, `caps` widening both ends by half a
  // pixel (a lone line; the sides of a polygon have none); the other
  // coordinate is taken at the pixel's centre on rising lines and at its
  // leading edge on falling ones. Clipped to the band. `pattern` is read most
  // significant bit first, one bit per pixel step from the first point, and
  // restarts with every line.
  void line(double x0, double y0, double x1, double y1, bool caps, uint16_t pattern) {
    if (look_.width >= 1.5) {
      wide_line(x0, y0, x1, y1, pattern);
      return;
    }
    const double dx = x1 - x0, dy = y1 - y0;
    const bool solid = pattern == kSolidLine;
    const bool x_major = std::fabs(dx) >= std::fabs(dy);
    if (dx == 0.0 && dy == 0.0) {  // a point
      plot(pix(x0), pix(y0));
      return;
    }
    // Major and minor axes, whichever they are.
    const double m0 = x_major ? x0 : y0, m1 = x_major ? x1 : y1;
    const double n0 = x_major ? y0 : x0;
    const double slope = x_major ? dy / dx : dx / dy;
    const double lo = std::min(m0, m1), hi = std::max(m0, m1), cap = caps ? 0.5 : 0.0;
    const int a = pix(lo - cap + 0.5);
    const int b = pix(hi + cap + 0.5) - 1;
    if (b < a) return;
    const int first = m1 > m0 ? a : b, step = m1 > m0 ? 1 : -1;
    const double off = slope > 0 ? 0.5 : 0.0;
    int ka = a, kb = b;
    if (x_major) {
      ka = std::max(a, c0_), kb = std::min(b, c1_ - 1);
    } else {
      if (std::max(x0, x1) < c0_ - 1 || std::min(x0, x1) >= c1_ + 1) return;
      ka = std::max(a, 0), kb = std::min(b, t_.height - 1);
    }
    for (int k = ka; k <= kb; ++k) {
      if (!solid) {
        const int n = (k - first) * step;
        if (!((pattern >> (15 - (n & 15))) & 1)) continue;
      }
      const int m = pix(n0 + (k + off - m0) * slope);
      if (x_major)
        plot(k, m);
      else
        plot(m, k);
    }
  }

  // A line wider than a pixel and a half: the pixels whose centres lie
  // within half its width of it, with round ends where it is solid (so that
  // lines meet without notches) and square-cut dashes, one bit of the
  // pattern per line width along it.
  void wide_line(double x0, double y0, double x1, double y1, uint16_t pattern) {
    const double r = look_.width / 2.0;
    if (pattern == kSolidLine) {
      stroke(x0, y0, x1, y1, r, true);
      return;
    }
    const double len = std::hypot(x1 - x0, y1 - y0);
    if (!(len > 0.0) || len > 1e6) return;  // nothing, or far outside any picture
    const double ux = (x1 - x0) / len, uy = (y1 - y0) / len, unit = look_.width;
    for (int k = 0; k * unit < len; ++k)
      if ((pattern >> (15 - (k & 15))) & 1) {
        const double a = k * unit, b = std::min((k + 1) * unit, len);
        stroke(x0 + ux * a, y0 + uy * a, x0 + ux * b, y0 + uy * b, r, false);
      }
  }

  // Pixels whose centres lie within `r` of the segment (round ends) or of
  // its stretch between the ends (square-cut ends). The centres are taken a
  // hair above and left of the middle, so that a stroke edge through a row
  // of centres takes them on one side only, as Qt's polygon fill does (a
  // line 5 pixels wide covers 5 rows, not 6).
  void stroke(double x0, double y0, double x1, double y1, double r, bool round) {
    constexpr double kHair = 1.0 / 4096;
    x0 += kHair, x1 += kHair, y0 += kHair, y1 += kHair;
    const double xa = std::min(x0, x1) - r, xb = std::max(x0, x1) + r;
    const double ya = std::min(y0, y1) - r, yb = std::max(y0, y1) + r;
    const int ca = std::max(pix(xa), c0_), cb = std::min(pix_ceil(xb), c1_ - 1);
    const int ra = std::max(pix(ya), 0), rb = std::min(pix_ceil(yb), t_.height - 1);
    const double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    for (int row = ra; row <= rb; ++row)
      for (int c = ca; c <= cb; ++c) {
        const double px = c + 0.5 - x0, py = row + 0.5 - y0;
        double t = len2 > 0.0 ? (px * dx + py * dy) / len2 : 0.0;
        if (!round && (t < 0.0 || t > 1.0)) continue;
        t = std::clamp(t, 0.0, 1.0);
        const double ex = px - t * dx, ey = py - t * dy;
        if (ex * ex + ey * ey <= r * r) plot(c, row);
      }
  }

  void world_line(double x0, double y0, double x1, double y1, bool caps, uint16_t pattern) {
    line(m_.dx(x0), m_.dy(y0), m_.dx(x1), m_.dy(y1), caps, pattern);
  }

  // A filled dot: the pixels whose centres lie within the ellipse, and at
  // least the pixel under its centre, so that it shows at any scale.
  void dot(double wx, double wy, double wr) {
    const double cx = m_.dx(wx), cy = m_.dy(wy);
    const double rx = wr * m_.sx, ry = wr * m_.sy;
    const int xa = pix(cx - rx), xb = pix_ceil(cx + rx);
    if (xb < c0_ || xa >= c1_) return;
    const int ya = pix(cy - ry), yb = pix_ceil(cy + ry);
    for (int r = std::max(ya, 0); r <= std::min(yb, t_.height - 1); ++r)
      for (int c = std::max(xa, c0_); c <= std::min(xb, c1_ - 1); ++c) {
        const double u = (c + 0.5 - cx) / rx, v = (r + 0.5 - cy) / ry;
        if (u * u + v * v <= 1.0) plot(c, r);
      }
    plot(pix(cx), pix(cy));
  }

  // World x range of what may draw into the band: a pixel wider on each
  // side, and a line's width (a dot's radius is no more) beyond that.
  double world_left() const { return m_.wx(c0_ - 1.0 - look_.width); }
  double world_right() const { return m_.wx(c1_ + 1.0 + look_.width); }
  int c0() const { return c0_; }
  int height() const { return t_.height; }
  int c1() const { return c1_; }

 private:
  const RasterTarget& t_;
  const Mapping& m_;
  int c0_, c1_;
  LineLook look_;
  uint32_t keep256_ = 0;  // what a line leaves of a pixel's colour, in 256ths
  bool marked_ = false;
};

struct Picture {
  const PathArray& paths;
  int32_t N, T, S, style;
  LozengeColors colors;
  Mapping m;
  bool crisp;
  double unit_px;  // pixels a lattice unit
  WorldPoint hexagon[6];
};

// The vertical extent [lo, hi] of the hexagon at world x; false outside it.
bool hexagon_span(const WorldPoint* h, double x, double& lo, double& hi) {
  bool any = false;
  for (int k = 0; k < 6; ++k) {
    const WorldPoint a = h[k], b = h[(k + 1) % 6];
    const double xa = std::min(a.x, b.x), xb = std::max(a.x, b.x);
    if (x < xa || x > xb) continue;
    double y0, y1;
    if (xb == xa) {
      y0 = std::min(a.y, b.y);
      y1 = std::max(a.y, b.y);
    } else {
      y0 = y1 = a.y + (x - a.x) * (b.y - a.y) / (b.x - a.x);
    }
    lo = any ? std::min(lo, y0) : y0;
    hi = any ? std::max(hi, y1) : y1;
    any = true;
  }
  return any && hi > lo;
}

// Calls f(flat, lo, hi) for each run of same-type lozenges of consecutive
// paths that touch one another, crossing world x in slice t at fraction u.
template <class F>
void lozenge_runs(const Picture& p, int32_t t, double u, F&& f) {
  const int32_t* here = p.paths.slice(t);
  const int32_t* next = p.paths.slice(t + 1);
  const double base = -t * 0.5, shift = u * 0.5;
  int32_t i = 0;
  while (i < p.N) {
    const int32_t h0 = here[i];
    const bool flat = next[i] == h0;
    int32_t h = h0;
    int32_t j = i + 1;
    while (j < p.N && static_cast<int64_t>(here[j]) == static_cast<int64_t>(h) + 1 &&
           (next[j] == here[j]) == flat) {
      h = here[j];
      ++j;
    }
    const double off = base + (flat ? -shift : shift);
    f(flat, static_cast<double>(h0) + off, static_cast<double>(h) + 1.0 + off);
    i = j;
  }
}

void slice_at(const Picture& p, double x, int32_t& t, double& u) {
  const double k = x / kHalfSqrt3;
  t = -1;
  if (!(k >= 0.0) || k >= p.T) return;
  t = static_cast<int32_t>(k);
  u = k - t;
}

void fills_crisp(const Picture& p, Band& band) {
  const uint32_t hex = to_pixel(p.colors.hexagon), flat = to_pixel(p.colors.flat),
                 rising = to_pixel(p.colors.rising);
  for (int c = band.c0(); c < band.c1(); ++c) {
    band.fill_column(c, kWhitePx);
    const double x = p.m.wx(c + 0.5);
    double lo, hi;
    if (hexagon_span(p.hexagon, x, lo, hi)) band.fill_span(c, lo, hi, hex);
    int32_t t;
    double u;
    slice_at(p, x, t, u);
    if (t < 0) continue;
    lozenge_runs(p, t, u,
                 [&](bool f, double a, double b) { band.fill_span(c, a, b, f ? flat : rising); });
  }
}

// Mean colours: coverage of the three colours per row of one pixel column,
// summed over the sub-columns.
void fills_smooth(const Picture& p, const RasterTarget& target, Band& band) {
  const int H = target.height;
  std::vector<float> cov(static_cast<std::size_t>(H) * 3);
  auto add = [&](int kind, double ylo, double yhi) {
    double a = std::max(p.m.dy(yhi), 0.0), b = std::min(p.m.dy(ylo), static_cast<double>(H));
    if (!(b > a)) return;
    float* v = cov.data() + kind;
    const int r0 = static_cast<int>(a), r1 = static_cast<int>(b);
    if (r0 == r1) {
      v[3 * r0] += static_cast<float>(b - a);
      return;
    }
    v[3 * r0] += static_cast<float>(r0 + 1 - a);
    for (int r = r0 + 1; r < r1; ++r) v[3 * r] += 1.0f;
    if (r1 < H) v[3 * r1] += static_cast<float>(b - r1);
  };
  const float cf[3] = {static_cast<float>(p.colors.flat & 0xFF),
                       static_cast<float>((p.colors.flat >> 8) & 0xFF),
                       static_cast<float>((p.colors.flat >> 16) & 0xFF)};
  const float cr[3] = {static_cast<float>(p.colors.rising & 0xFF),
                       static_cast<float>((p.colors.rising >> 8) & 0xFF),
                       static_cast<float>((p.colors.rising >> 16) & 0xFF)};
  const float ch[3] = {static_cast<float>(p.colors.hexagon & 0xFF),
                       static_cast<float>((p.colors.hexagon >> 8) & 0xFF),
                       static_cast<float>((p.colors.hexagon >> 16) & 0xFF)};
  for (int c = band.c0(); c < band.c1(); ++c) {
    std::fill(cov.begin(), cov.end(), 0.0f);
    for (int s = 0; s < kSubColumns; ++s) {
      const double x = p.m.wx(c + (s + 0.5) / kSubColumns);
      double lo, hi;
      if (hexagon_span(p.hexagon, x, lo, hi)) add(0, lo, hi);
      int32_t t;
      double u;
      slice_at(p, x, t, u);
      if (t < 0) continue;
      lozenge_runs(p, t, u, [&](bool f, double a, double b) { add(f ? 1 : 2, a, b); });
    }
    uint32_t* px = target.pixels + c;
    for (int r = 0; r < H; ++r, px += target.stride) {
      const float* v = cov.data() + 3 * r;
      // The lozenges lie inside the hexagon: what they leave of it is the
      // third lozenge type. Bad input may overlap; it is scaled back.
      float f = v[1], g = v[2], h = std::max(0.0f, v[0] - f - g);
      float sum = f + g + h;
      if (sum > kSubColumns) {
        const float k = kSubColumns / sum;
        f *= k, g *= k, h *= k, sum = kSubColumns;
      }
      const float w = (kSubColumns - sum) * 255.0f;
      uint32_t out = 0xFF000000u;
      for (int ch_i = 0; ch_i < 3; ++ch_i) {
        const float val = (f * cf[ch_i] + g * cr[ch_i] + h * ch[ch_i] + w) / kSubColumns;
        const uint32_t byte = static_cast<uint32_t>(std::clamp(val + 0.5f, 0.0f, 255.0f));
        out |= byte << (16 - 8 * ch_i);  // red, green, blue
      }
      *px = out;
    }
  }
}

// Slices 0..last whose lozenges may reach into the band.
void slice_range(const Band& band, int32_t last, int32_t& t0, int32_t& t1) {
  const double a = std::floor(band.world_left() / kHalfSqrt3) - 1.0;
  const double b = std::ceil(band.world_right() / kHalfSqrt3) + 1.0;
  t0 = static_cast<int32_t>(std::clamp(a, 0.0, static_cast<double>(last) + 1.0));
  t1 = static_cast<int32_t>(std::clamp(b, -1.0, static_cast<double>(last)));
}

void lines(const Picture& p, Band& band) {
  const LineLook look = line_look(p.unit_px);
  const bool outlines = ((p.style - 1) & 1) != 0;
  const bool segments = (p.style - 1) / 2 == 1;
  if (outlines) {
    // The hexagon's own outline hides nothing: it stays black at every size.
    band.set_look({look.width, 1.0});
    for (int k = 0; k < 6; ++k) {
      const WorldPoint a = p.hexagon[k], b = p.hexagon[(k + 1) % 6];
      band.world_line(a.x, a.y, b.x, b.y, false, kSolidLine);
    }
  }
  if (!outlines && !segments) return;
  if (p.T < 1 || !look.visible()) return;
  band.set_look(look);
  int32_t t0, t1;
  slice_range(band, p.T, t0, t1);
  const uint16_t pattern = outlines ? kDashedLine : kSolidLine;
  for (int32_t t = t0; t <= t1; ++t) {
    const int32_t* here = p.paths.slice(t);
    const double x = t * kHalfSqrt3, base = -t * 0.5;
    if (outlines)  // the left sides; slice T's are the right sides of the last lozenges
      for (int32_t i = 0; i < p.N; ++i)
        band.world_line(x, here[i] + base, x, here[i] + 1.0 + base, false, kSolidLine);
    if (t == p.T) break;
    const int32_t* next = p.paths.slice(t + 1);
    const double x1 = x + kHalfSqrt3;
    for (int32_t i = 0; i < p.N; ++i) {
      const double y1 = here[i] + base, y2 = y1 + 1.0;
      const double d = next[i] == here[i] ? -0.5 : 0.5;
      if (outlines) {
        band.world_line(x, y1, x1, y1 + d, false, kSolidLine);
        band.world_line(x, y2, x1, y2 + d, false, kSolidLine);
      }
      if (segments) band.world_line(x, y1 + 0.5, x1, y1 + 0.5 + d, true, pattern);
    }
  }
}

void z2(const Picture& p, Band& band) {
  for (int c = band.c0(); c < band.c1(); ++c) band.fill_column(c, kWhitePx);
  const LineLook look = line_look(p.unit_px, true);
  band.set_look(look);
  const bool dots = look.darkness >= 1.0;  // as draw_tiling's style 5
  const uint32_t hex = to_pixel(p.colors.hexagon);
  const double xa = band.world_left(), xb = band.world_right();
  const int32_t x0 = static_cast<int32_t>(std::clamp(std::floor(xa), 0.0, p.T + 1.0));
  const int32_t x1 =
      static_cast<int32_t>(std::clamp(std::ceil(xb), -1.0, static_cast<double>(p.T)));
  // The grid rows 0..N+S-1 that fall inside the picture (a view may show
  // a few of them).
  const double top = p.m.top, bottom = p.m.top - band.height() / p.m.sy;
  const int64_t y0 = std::max<int64_t>(0, static_cast<int64_t>(std::floor(bottom)) - 1);
  const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(p.N) + p.S - 1,
                                       static_cast<int64_t>(std::ceil(top)) + 1);
  for (int32_t x = x0; x <= x1; ++x) {
    const int c = pix(p.m.dx(x));
    if (c < band.c0() || c >= band.c1()) continue;
    for (int64_t y = y0; y <= y1; ++y) band.set(c, pix(p.m.dy(static_cast<double>(y))), hex);
  }
  const int32_t last = std::min(x1, p.T);
  for (int32_t x = std::max(x0 - 1, 0); x <= last; ++x) {
    const int32_t* here = p.paths.slice(x);
    for (int32_t i = 0; i < p.N; ++i) {
      if (dots) band.dot(x, here[i], 0.05);
      if (x < p.T) band.world_line(x, here[i], x + 1.0, p.paths.slice(x + 1)[i], true, kSolidLine);
    }
  }
}

}  // namespace

void raster_tiling(const RasterTarget& target, const Tiling& tiling, const PictureStyle& picture,
                   const WorldRect& view, unsigned threads) {
  if (target.pixels == nullptr || target.width < 1 || target.height < 1) return;
  const StyleNumber style = drawn_style(picture.number);
  const auto [paths, N, T, S] = drawable(tiling);
  Picture p{
      paths, N,   T, S, style, picture.colors, make_mapping(view, target.width, target.height),
      true,  0.0, {}};
  p.crisp = std::min(p.m.sx * kHalfSqrt3, p.m.sy) >= kCrispScale;
  p.unit_px = std::min(p.m.sx, p.m.sy);
  hexagon_corners(N, T, S, p.hexagon);

  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  // Bands of whole cache lines (16 pixels), at least 64 columns each.
  const int units = (target.width + 15) / 16;
  const int bands = std::clamp(static_cast<int>(threads), 1, std::max(1, units / 4));
  auto draw_band = [&](int k) {
    const int c0 = std::min(target.width, units * k / bands * 16);
    const int c1 = std::min(target.width, units * (k + 1) / bands * 16);
    Band band(target, p.m, c0, c1);
    if (style == kStyleZ2) {
      z2(p, band);
    } else {
      if (p.crisp)
        fills_crisp(p, band);
      else
        fills_smooth(p, target, band);
      lines(p, band);
    }
    band.unmark();
  };
  run_bands(bands, draw_band);
}

}  // namespace lozengia
