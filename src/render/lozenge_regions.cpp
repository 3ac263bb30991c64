#include "render/lozenge_regions.h"

#include <algorithm>
#include <vector>

namespace lozengia {

namespace {

constexpr double kHalfSqrt3 = 0.8660254037844386;

// Drops the middle one of three points in a row on one straight line going
// one way, so that straight runs of lattice steps become single sides.
class Chain {
 public:
  void clear() { pts_.clear(); }
  void add(LatticePoint p) {
    const std::size_t n = pts_.size();
    if (n >= 1 && pts_[n - 1] == p) return;
    if (n >= 2) {
      const LatticePoint a = pts_[n - 2], b = pts_[n - 1];
      // In 128 bits: heights far outside the hexagon must not overflow.
      const __int128 ux = b.x - a.x, uy = b.y - a.y, vx = p.x - b.x, vy = p.y - b.y;
      if (ux * vy == uy * vx && ux * vx + uy * vy > 0) {
        pts_[n - 1] = p;
        return;
      }
    }
    pts_.push_back(p);
  }
  std::size_t size() const { return pts_.size(); }
  const LatticePoint* data() const { return pts_.data(); }
  const LatticePoint& back() const { return pts_.back(); }
  std::vector<LatticePoint>& points() { return pts_; }

 private:
  std::vector<LatticePoint> pts_;
};

// A run of lozenges of the traced type in one slice, of consecutive paths
// that touch: its left side spans [lo, hi] at x = t, its right side
// [lo + d, hi + d] at x = t + 1.
struct Strip {
  int64_t lo, hi;
};

// An x-monotone polygon grown slice by slice: the lower and upper chains.
struct Open {
  Chain lower, upper;
  Strip last{};
  int links = 0;  // strips of the next slice overlapping `last`
};

class RegionTracer {
 public:
  RegionTracer(RegionSink& sink, const PathArray& paths, int32_t N, int32_t T, bool flat)
      : sink_(sink), paths_(paths), N_(N), T_(T), flat_(flat) {}

  void run() {
    const int64_t d = flat_ ? -1 : 1;
    std::vector<Strip> strips;
    std::vector<int> strip_links, strip_owner;
    for (int32_t t = 0; t < T_ && sink_.ok(); ++t) {
      strips.clear();
      const int32_t* here = paths_.slice(t);
      const int32_t* next = paths_.slice(t + 1);
      for (int32_t i = 0; i < N_;) {
        const bool f = next[i] == here[i];
        int32_t j = i + 1;
        while (j < N_ && static_cast<int64_t>(here[j]) == static_cast<int64_t>(here[j - 1]) + 1 &&
               (next[j] == here[j]) == f)
          ++j;
        if (f == flat_)
          strips.push_back({2 * static_cast<int64_t>(here[i]) - t,
                            2 * (static_cast<int64_t>(here[j - 1]) + 1) - t});
        i = j;
      }
      // Overlaps of the open polygons' last strips (right sides) with the
      // new strips (left sides); both lists go up the slice.
      strip_links.assign(strips.size(), 0);
      strip_owner.assign(strips.size(), -1);
      for (Open& o : open_) o.links = 0;
      std::vector<std::pair<int, int>> pairs;
      for (std::size_t a = 0, b = 0; a < open_.size() && b < strips.size();) {
        const int64_t alo = open_[a].last.lo + d, ahi = open_[a].last.hi + d;
        const Strip& s = strips[b];
        if (std::max(alo, s.lo) < std::min(ahi, s.hi)) {
          ++open_[a].links;
          ++strip_links[b];
          pairs.emplace_back(static_cast<int>(a), static_cast<int>(b));
        }
        if (ahi < s.hi)
          ++a;
        else
          ++b;
      }
      for (auto [a, b] : pairs)
        if (open_[a].links == 1 && strip_links[b] == 1 && open_[a].lower.size() < kMaxChain &&
            open_[a].upper.size() < kMaxChain)
          strip_owner[b] = a;
      // Polygons that go on keep their place; the others are closed.
      std::vector<Open> kept;
      kept.reserve(strips.size());
      std::vector<char> continued(open_.size(), 0);
      for (std::size_t b = 0; b < strips.size(); ++b)
        if (strip_owner[b] >= 0) continued[strip_owner[b]] = 1;
      for (std::size_t a = 0; a < open_.size(); ++a)
        if (!continued[a]) emit(open_[a], t);
      for (std::size_t b = 0; b < strips.size(); ++b) {
        const Strip& s = strips[b];
        Open o;
        if (strip_owner[b] >= 0) o = std::move(open_[strip_owner[b]]);
        o.lower.add({t, s.lo});
        o.lower.add({t + 1, s.lo + d});
        o.upper.add({t, s.hi});
        o.upper.add({t + 1, s.hi + d});
        o.last = s;
        kept.push_back(std::move(o));
      }
      open_.swap(kept);
    }
    for (Open& o : open_) emit(o, T_);
    open_.clear();
  }

 private:
  void emit(Open& o, int32_t /*t*/) {
    if (!sink_.ok()) return;
    // The lower chain left to right, then the upper chain right to left.
    std::vector<LatticePoint>& up = o.upper.points();
    Chain ring;
    ring.points() = std::move(o.lower.points());
    for (auto it = up.rbegin(); it != up.rend(); ++it) ring.add(*it);
    // The closing side back to the start may continue the first side.
    std::vector<LatticePoint>& r = ring.points();
    if (r.size() >= 3) {
      const LatticePoint a = r[r.size() - 2], b = r.back(), c = r[0];
      if (static_cast<__int128>(b.x - a.x) * (c.y - b.y) ==
          static_cast<__int128>(b.y - a.y) * (c.x - b.x))
        r.pop_back();
    }
    if (r.size() >= 3) sink_.polygon(r.data(), r.size());
  }

  RegionSink& sink_;
  const PathArray& paths_;
  int32_t N_, T_;
  bool flat_;
  std::vector<Open> open_;
};

// Outlines of the path lozenges: each path's lower and upper side as
// polylines (an upper side where the next path lies on it is left to that
// path's lower side), and the vertical sides at every slice merged into runs.
void trace_outlines(RegionSink& sink, const PathArray& paths, int32_t N, int32_t T) {
  Chain line;
  auto flush = [&] {
    if (line.size() >= 2) sink.polyline(line.data(), line.size());
    line.clear();
  };
  for (int32_t i = 0; i < N && sink.ok(); ++i) {
    for (int side = 0; side < 2; ++side) {
      for (int32_t t = 0; t < T; ++t) {
        const int64_t h0 = paths(i + 1, t), h1 = paths(i + 1, t + 1);
        if (side == 1 && i + 1 < N && paths(i + 2, t) == h0 + 1 && paths(i + 2, t + 1) == h1 + 1) {
          flush();
          continue;
        }
        const int64_t lift = side == 1 ? 2 : 0;
        line.add({t, 2 * h0 - t + lift});
        line.add({t + 1, 2 * h1 - t - 1 + lift});
      }
      flush();
    }
  }
  for (int32_t t = 0; t <= T && sink.ok(); ++t) {
    const int32_t* here = paths.slice(t);
    for (int32_t i = 0; i < N;) {
      int32_t j = i + 1;
      while (j < N && static_cast<int64_t>(here[j]) == static_cast<int64_t>(here[j - 1]) + 1) ++j;
      const LatticePoint seg[2] = {{t, 2 * static_cast<int64_t>(here[i]) - t},
                                   {t, 2 * (static_cast<int64_t>(here[j - 1]) + 1) - t}};
      sink.polyline(seg, 2);
      i = j;
    }
  }
}

void trace_lozenges(RegionSink& sink, const PathArray& paths, int32_t N, int32_t T, int32_t S,
                    StyleNumber style, const LozengeColors& colors, const LineLook& look) {
  const bool outlines = ((style - 1) & 1) != 0;
  const bool segments = (style - 1) / 2 == 1 && look.visible();
  const int64_t n = N, t = T, s = S;
  const LatticePoint hexagon[7] = {
      {0, 0},         {0, 2 * n},        {s, 2 * n + s}, {t, 2 * n + 2 * s - t},
      {t, 2 * s - t}, {t - s, -(t - s)}, {0, 0}};
  sink.fill_layer(colors.hexagon);
  sink.polygon(hexagon, 6);
  sink.end_layer();
  if (T >= 1) {
    sink.fill_layer(colors.flat);
    RegionTracer(sink, paths, N, T, true).run();
    sink.end_layer();
    sink.fill_layer(colors.rising);
    RegionTracer(sink, paths, N, T, false).run();
    sink.end_layer();
  }
  if (outlines) {
    // The hexagon's own outline hides nothing: it stays black at every size.
    // Slanted sides first, then the upright ones: lines of one direction
    // follow one another (the SVG gives each direction its own element).
    sink.line_layer(kSolidLine, {look.width, 1.0});
    sink.polyline(hexagon + 1, 3);
    sink.polyline(hexagon + 4, 3);
    sink.polyline(hexagon, 2);
    sink.polyline(hexagon + 3, 2);
    sink.end_layer();
    if (T >= 1 && look.visible()) {
      sink.line_layer(kSolidLine, look);
      trace_outlines(sink, paths, N, T);
      sink.end_layer();
    }
  }
  if (segments && T >= 1) {
    sink.line_layer(outlines ? kDashedLine : kSolidLine, look);
    Chain line;
    for (int32_t i = 1; i <= N && sink.ok(); ++i) {
      line.clear();
      for (int32_t k = 0; k <= T; ++k) line.add({k, 2 * static_cast<int64_t>(paths(i, k)) - k + 1});
      sink.polyline(line.data(), line.size());
    }
    sink.end_layer();
  }
}

void trace_z2(RegionSink& sink, const PathArray& paths, int32_t N, int32_t T, int32_t S,
              const LozengeColors& colors, const LineLook& look) {
  if (N + S >= 1) sink.grid(0, T, 0, static_cast<int64_t>(N) + S - 1, colors.hexagon);
  sink.line_layer(kSolidLine, look);
  Chain line;
  for (int32_t i = 1; i <= N && T >= 1 && sink.ok(); ++i) {
    line.clear();
    for (int32_t x = 0; x <= T; ++x) line.add({x, paths(i, x)});
    sink.polyline(line.data(), line.size());
  }
  sink.end_layer();
  // Dots only where the paths are black (see draw_tiling's style 5).
  if (look.darkness < 1.0) return;
  sink.dot_layer(0.05, look);
  for (int32_t i = 1; i <= N && sink.ok(); ++i)
    for (int32_t x = 0; x <= T; ++x) sink.dot({x, paths(i, x)});
  sink.end_layer();
}

}  // namespace

void trace_tiling(RegionSink& sink, const Tiling& tiling, const PictureStyle& picture,
                  const PictureFrame& frame) {
  const StyleNumber style = drawn_style(picture.number);
  const auto [paths, N, T, S] = drawable(tiling);
  const double unit_px = unit_pixels(frame);
  if (style == kStyleZ2) {
    sink.begin(frame, 1.0, 1.0);
    trace_z2(sink, paths, N, T, S, picture.colors, line_look(unit_px, true));
  } else {
    sink.begin(frame, kHalfSqrt3, 0.5);
    trace_lozenges(sink, paths, N, T, S, style, picture.colors, line_look(unit_px));
  }
}

namespace {

class CanvasSink final : public RegionSink {
 public:
  explicit CanvasSink(Canvas& c) : c_(c) {}
  void begin(const PictureFrame& frame, double ax, double ay) override {
    ax_ = ax;
    ay_ = ay;
    const WorldRect& w = frame.world;
    c_.set_world(w.x1, w.y1, w.x2, w.y2);
    c_.clear(kWhite);
    c_.set_line_pattern(kSolidLine);
  }
  void fill_layer(Rgb color) override { c_.set_color(color); }
  void line_layer(uint16_t pattern, const LineLook& look) override {
    c_.set_color(kBlack);
    c_.set_line_pattern(pattern);
    c_.set_line_look(look);
  }
  void dot_layer(double radius, const LineLook& look) override {
    c_.set_color(kBlack);
    c_.set_line_look(look);
    radius_ = radius;
  }
  void polygon(const LatticePoint* p, std::size_t n) override {
    pts_.resize(n);
    for (std::size_t k = 0; k < n; ++k) pts_[k] = {p[k].x * ax_, p[k].y * ay_};
    c_.polygon(pts_.data(), static_cast<int>(n), true);
  }
  void polyline(const LatticePoint* p, std::size_t n) override {
    if (n == 0) return;
    c_.move_to(p[0].x * ax_, p[0].y * ay_);
    for (std::size_t k = 1; k < n; ++k) c_.line_to(p[k].x * ax_, p[k].y * ay_);
  }
  void dot(LatticePoint p) override {
    const double x = p.x * ax_, y = p.y * ay_;
    c_.filled_ellipse(x - radius_, y - radius_, x + radius_, y + radius_);
  }
  void grid(int64_t x0, int64_t x1, int64_t y0, int64_t y1, Rgb color) override {
    c_.set_color(color);
    for (int64_t x = x0; x <= x1; ++x)
      for (int64_t y = y0; y <= y1; ++y) c_.pixel(x * ax_, y * ay_);
  }
  void end_layer() override { c_.set_line_pattern(kSolidLine); }

 private:
  Canvas& c_;
  double ax_ = 1, ay_ = 1, radius_ = 0;
  std::vector<WorldPoint> pts_;
};

}  // namespace

void draw_tiling_merged(Canvas& canvas, const Tiling& tiling, const PictureStyle& style,
                        const PictureFrame& frame) {
  CanvasSink sink(canvas);
  trace_tiling(sink, tiling, style, frame);
  canvas.finish();
}

}  // namespace lozengia
