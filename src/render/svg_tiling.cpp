#include "render/svg_tiling.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "render/lozenge_regions.h"

namespace lozengia {

namespace {

constexpr std::size_t kFlushBytes = 1 << 20;

std::string hex_color(Rgb c) {
  char s[8];
  std::snprintf(s, sizeof s, "#%02x%02x%02x", static_cast<unsigned>(c & 0xFF),
                static_cast<unsigned>((c >> 8) & 0xFF), static_cast<unsigned>((c >> 16) & 0xFF));
  return s;
}

std::string number(double v) {
  char s[32];
  std::snprintf(s, sizeof s, "%.10g", v);
  return s;
}

class SvgSink final : public RegionSink {
 public:
  explicit SvgSink(const TextWriter& write) : write_(write) { buf_.reserve(kFlushBytes + 4096); }

  void begin(const PictureFrame& frame, double ax, double ay) override {
    const WorldRect& w = frame.world;
    const double left = std::min(w.x1, w.x2), right = std::max(w.x1, w.x2);
    const double bottom = std::min(w.y1, w.y2), top = std::max(w.y1, w.y2);
    sx_ = frame.width / (right - left > 0.0 ? right - left : 1.0);
    sy_ = frame.height / (top - bottom > 0.0 ? top - bottom : 1.0);
    const std::string wd = std::to_string(frame.width), ht = std::to_string(frame.height);
    put("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
        wd + "\" height=\"" + ht + "\" viewBox=\"0 0 " + wd + " " + ht +
        "\">\n"
        "<title>Lozenge tiling</title>\n"
        "<rect width=\"" +
        wd + "\" height=\"" + ht + "\" fill=\"#ffffff\"/>\n");
    // Lattice point (x, y) is at world (x ax, y ay); the world rectangle
    // fills the picture with y growing upwards.
    put("<g transform=\"matrix(" + number(ax * sx_) + " 0 0 " + number(-ay * sy_) + " " +
        number(-left * sx_) + " " + number(top * sy_) + ")\">\n");
    ax_ = ax;
    ay_ = ay;
  }

  void fill_layer(Rgb color) override {
    put("<path fill=\"" + hex_color(color) + "\" fill-rule=\"evenodd\" d=\"");
    start_path();
  }

  // Lines are stroked in lattice units under the group's transform, which
  // stretches x and y differently (sqrt(3)/2 and 1/2 a unit for the lozenge
  // styles): a stroke as wide in pixels as the look asks is a different
  // number of lattice units across a vertical side than across a slanted
  // one. So each direction of line gets its own path element with its own
  // width (the lozenge styles have two: vertical and slanted), and nothing
  // relies on vector-effect, which renderers other than browsers ignore.
  void line_layer(uint16_t pattern, const LineLook& look) override {
    lines_ = true;
    pattern_ = pattern;
    look_ = look;
    open_attrs_.clear();
  }

  void dot_layer(double radius, const LineLook& look) override {
    // A dot is a round cap on an empty segment: the ellipse's width in
    // pixels plus the pixel its outline adds (the grid of style 5 is
    // square: a lattice unit is as many pixels either way).
    lines_ = true;
    const double px = sx_ * ax_;
    const double width = 2.0 * radius * px + 1.0;
    std::string attrs =
        "stroke=\"#000000\" stroke-width=\"" + number(width / px) + "\" stroke-linecap=\"round\"";
    if (look.darkness < 1.0) attrs += " stroke-opacity=\"" + number(look.darkness) + "\"";
    open_attrs_.clear();
    open_element(attrs);
  }

  void polygon(const LatticePoint* p, std::size_t n) override {
    if (n == 0) return;
    subpath(p, n);
    buf_ += 'z';
    cmd_ = 'z';
    cur_ = p[0];  // a closed subpath ends where it began
    flush_if_full();
  }

  void polyline(const LatticePoint* p, std::size_t n) override {
    if (n == 0) return;
    if (!lines_) {
      subpath(p, n);
      flush_if_full();
      return;
    }
    // Runs of segments of one direction class, each in its class's element
    // (a repeated point stays in the run it is in).
    std::size_t start = 0;
    int run_class = kNoDirection;
    for (std::size_t k = 1; k < n; ++k) {
      const int c = direction_class(p[k - 1], p[k]);
      if (c == kNoDirection) continue;
      if (run_class != kNoDirection && (c != run_class || c == kOtherDirection)) {
        line_run(p + start, k - start);
        start = k - 1;
      }
      run_class = c;
    }
    if (run_class != kNoDirection) line_run(p + start, n - start);
    flush_if_full();
  }

  void dot(LatticePoint p) override {
    move(p);
    buf_ += "h0";
    cmd_ = 'h';
    flush_if_full();
  }

  void grid(int64_t x0, int64_t x1, int64_t y0, int64_t y1, Rgb color) override {
    // One pixel at every lattice point: a tile of one lattice unit holding
    // a pixel-sized square, repeated over the grid.
    const double pw = 1.0 / (sx_ * ax_), ph = 1.0 / (sy_ * ay_);
    put("<defs><pattern id=\"grid\" patternUnits=\"userSpaceOnUse\" x=\"-0.5\" y=\"-0.5\" "
        "width=\"1\" height=\"1\"><rect x=\"" +
        number(0.5 - pw / 2) + "\" y=\"" + number(0.5 - ph / 2) + "\" width=\"" + number(pw) +
        "\" height=\"" + number(ph) + "\" fill=\"" + hex_color(color) + "\"/></pattern></defs>\n");
    put("<rect x=\"" + number(x0 - 0.5) + "\" y=\"" + number(y0 - 0.5) + "\" width=\"" +
        number(static_cast<double>(x1 - x0 + 1)) + "\" height=\"" +
        number(static_cast<double>(y1 - y0 + 1)) + "\" fill=\"url(#grid)\"/>\n");
  }

  void end_layer() override {
    if (!lines_ || !open_attrs_.empty()) put("\"/>\n");
    lines_ = false;
    open_attrs_.clear();
    flush_if_full();
  }

  bool finish() {
    put("</g>\n</svg>\n");
    flush();
    return ok_;
  }

  bool ok() const override { return ok_; }

 private:
  static std::string dashes(uint16_t pattern, double unit) {
    // Runs of set and clear bits, most significant first, from a set bit,
    // `unit` long each.
    std::string out;
    int bit = 15;
    while (bit >= 0 && !((pattern >> bit) & 1)) --bit;
    if (bit < 0) return "0 " + number(unit);
    bool on = true;
    int run = 0;
    for (int n = 0; n < 16; ++n) {
      const int b = (bit - n + 16) % 16;
      const bool set = (pattern >> b) & 1;
      if (set == on) {
        ++run;
      } else {
        out += number(run * unit) + ' ';
        on = set;
        run = 1;
      }
    }
    out += number(run * unit);
    if (!on) return out;
    return out + " 0";
  }

  static constexpr int kNoDirection = -1, kOtherDirection = 3;

  // 0 vertical, 1 horizontal, 2 slanted at +-45 degrees in lattice units
  // (the same width in pixels both ways), 3 any other, -1 no segment.
  static int direction_class(LatticePoint a, LatticePoint b) {
    const int64_t dx = b.x - a.x, dy = b.y - a.y;
    if (dx == 0 && dy == 0) return kNoDirection;
    if (dx == 0) return 0;
    if (dy == 0) return 1;
    if (dx == dy || dx == -dy) return 2;
    return kOtherDirection;
  }

  // The stroke of the layer's look along the segment a-b: its width and
  // dashes in lattice units so that they come out in pixels.
  std::string stroke_attrs(LatticePoint a, LatticePoint b) const {
    const double A = ax_ * sx_, B = ay_ * sy_;  // pixels per lattice unit in x and y
    const double dx = static_cast<double>(b.x - a.x), dy = static_cast<double>(b.y - a.y);
    // Pixels per lattice unit along the segment, and across it.
    const double along = std::hypot(A * dx, B * dy) / std::hypot(dx, dy);
    const double across = A * B / along;
    std::string attrs = "stroke=\"#000000\" stroke-width=\"" + number(look_.width / across) + "\"";
    if (look_.darkness < 1.0) attrs += " stroke-opacity=\"" + number(look_.darkness) + "\"";
    attrs += " stroke-linejoin=\"round\"";
    if (pattern_ == kSolidLine) {
      attrs += " stroke-linecap=\"round\"";
    } else {
      // One bit of the pattern a pixel, or a line width when wider.
      const double bit = std::max(1.0, look_.width) / along;
      attrs += " stroke-linecap=\"butt\" stroke-dasharray=\"" + dashes(pattern_, bit) + "\"";
    }
    return attrs;
  }

  // Points of one direction class as a subpath of their class's element.
  void line_run(const LatticePoint* p, std::size_t n) {
    std::size_t k = 1;
    while (k + 1 < n && p[k] == p[0]) ++k;
    open_element(stroke_attrs(p[0], p[k]));
    subpath(p, n);
  }

  // Continues the open element when its stroke is `attrs`, else closes it
  // and opens one.
  void open_element(const std::string& attrs) {
    if (attrs == open_attrs_) return;
    if (!open_attrs_.empty()) put("\"/>\n");
    put("<path fill=\"none\" " + attrs + " d=\"");
    start_path();
    open_attrs_ = attrs;
  }

  void start_path() {
    cur_ = {0, 0};
    cmd_ = 0;
    first_ = true;
  }

  void put(const std::string& s) { buf_ += s; }

  void num(int64_t v) {
    char s[24];
    const auto r = std::to_chars(s, s + sizeof s, v);
    buf_.append(s, r.ptr);
  }

  // A number pair after a command letter or a previous pair: a space is
  // needed only before a number that does not start with '-'.
  void pair(int64_t a, int64_t b, bool after_letter) {
    if (!after_letter && a >= 0) buf_ += ' ';
    num(a);
    if (b >= 0) buf_ += ' ';
    num(b);
  }

  void move(LatticePoint p) {
    if (first_) {
      buf_ += 'M';
      pair(p.x, p.y, true);
      first_ = false;
    } else {
      buf_ += 'm';
      pair(p.x - cur_.x, p.y - cur_.y, true);
    }
    cur_ = p;
    cmd_ = 'm';
  }

  void subpath(const LatticePoint* p, std::size_t n) {
    move(p[0]);
    for (std::size_t k = 1; k < n; ++k) {
      const int64_t dx = p[k].x - cur_.x, dy = p[k].y - cur_.y;
      if (dx == 0) {
        buf_ += 'v';
        num(dy);
        cmd_ = 'v';
      } else if (dy == 0) {
        buf_ += 'h';
        num(dx);
        cmd_ = 'h';
      } else if (cmd_ == 'l') {
        pair(dx, dy, false);
      } else {
        buf_ += 'l';
        pair(dx, dy, true);
        cmd_ = 'l';
      }
      cur_ = p[k];
    }
  }

  void flush_if_full() {
    if (buf_.size() >= kFlushBytes) flush();
  }
  void flush() {
    if (!buf_.empty() && ok_) ok_ = write_(buf_.data(), buf_.size());
    buf_.clear();
  }

  const TextWriter& write_;
  std::string buf_;
  double sx_ = 1, sy_ = 1, ax_ = 1, ay_ = 1;
  bool lines_ = false;  // in a line or dot layer
  uint16_t pattern_ = kSolidLine;
  LineLook look_;
  std::string open_attrs_;  // the stroke of the open element of a line layer
  LatticePoint cur_;
  char cmd_ = 0;
  bool first_ = true;
  bool ok_ = true;
};

}  // namespace

uint64_t svg_size_bound(int32_t N, int32_t T, int32_t S, StyleNumber style) {
  const uint64_t n = static_cast<uint64_t>(std::max(N, 0)),
                 t = static_cast<uint64_t>(std::max(T, 0));
  const uint64_t s = static_cast<uint64_t>(std::max(S, 0));
  const uint64_t lozenges = n * t;
  // Digits of the largest coordinate or step (lattice y spans 2(N + S) + T).
  uint64_t digits = 1;
  for (uint64_t span = 2 * (n + s) + t; span >= 10; span /= 10) ++digits;
  const uint64_t move = 2 * (digits + 1) + 1;  // "m-1234 -5678"
  // Bytes per path lozenge at worst: a polygon of its own (a move and
  // "v2l1-1v-2z"); its two sides ("l1 1" each) and a vertical run of its
  // own (a move and "v2"); its path segment ("l1 1"). The square grid: a
  // polyline step ("l1 1") and a dot ("m1 0h0"), the dots of a path
  // starting with a long move.
  uint64_t per = 0, per_path = 0;
  const bool outlines = style == kStyleBorders || style == kStylePathsBorders;
  const bool segments = style == kStylePaths || style == kStylePathsBorders;
  if (style == kStyleZ2) {
    per = 4 + 6;
    per_path = 2 * (move + 2);
  } else {
    per = move + 10;
    per_path = move;
    if (outlines) per += 2 * 4 + move + 2, per_path += 2 * move;
    if (segments) per += 4, per_path += move;
  }
  // The header and the layers' elements; in floating point, so that huge
  // shapes cannot wrap around to a small bound.
  const double bound = 4096.0 + static_cast<double>(lozenges) * static_cast<double>(per) +
                       static_cast<double>(n) * static_cast<double>(per_path) +
                       (static_cast<double>(t) + 1.0) * static_cast<double>(move);
  return bound >= 1.8e19 ? UINT64_MAX : static_cast<uint64_t>(bound);
}

uint64_t svg_memory_bound(int32_t N, int32_t T, int32_t S, StyleNumber style) {
  (void)T, (void)S, (void)style;
  // Every strip of a slice may hold an open polygon of two chains of up to
  // kMaxChain lattice points, plus the strips and buffers of a slice.
  const uint64_t n = static_cast<uint64_t>(std::max(N, 0));  // below 2^31: no overflow
  return n * (2 * kMaxChain * sizeof(LatticePoint) + 128) + 2 * kFlushBytes;
}

std::string svg_size_check(int32_t N, int32_t T, int32_t S, StyleNumber style) {
  const uint64_t bytes = svg_size_bound(N, T, S, style);
  const uint64_t memory = svg_memory_bound(N, T, S, style);
  auto mib = [](uint64_t b) { return std::to_string((b + (1u << 20) - 1) >> 20) + " MiB"; };
  if (bytes > kSvgMaxBytes)
    return "SVG picture refused: it could take up to " + mib(bytes) + " (the limit is " +
           mib(kSvgMaxBytes) + "); use PNG for a hexagon this large";
  if (memory > kSvgMaxMemory)
    return "SVG picture refused: writing it could take up to " + mib(memory) +
           " of memory (the limit is " + mib(kSvgMaxMemory) + "); use PNG for a hexagon this large";
  return {};
}

WriteStatus write_svg_picture(const std::string& path, const Tiling& tiling,
                              const PictureStyle& style, const PictureFrame& frame,
                              const WriteOptions& options) {
  if (frame.width < 1 || frame.height < 1) return WriteStatus::kWriteError;
  ReplacingFile file;
  if (const WriteStatus opened = file.open(path, options); opened != WriteStatus::kOk)
    return opened;
  const bool written = stream_svg_picture(tiling, style, frame, [&](const char* data, std::size_t size) {
    return file.write(data, size);
  });
  if (!written) return file.failure();
  return file.commit();
}

bool stream_svg_picture(const Tiling& tiling, const PictureStyle& style, const PictureFrame& frame,
                        const TextWriter& write) {
  if (frame.width < 1 || frame.height < 1) return false;
  SvgSink sink(write);
  trace_tiling(sink, tiling, style, frame);
  return sink.finish();
}

}  // namespace lozengia
