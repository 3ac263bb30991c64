#include "render/qpainter_canvas.h"

#include <QPainterPathStroker>
#include <QPolygonF>
#include <QVector>
#include <algorithm>
#include <cmath>
#include <utility>

namespace lozengia {

QColor to_qcolor(Rgb c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

QPainterCanvas::QPainterCanvas(QPainter& painter, QSizeF size) : p_(painter), size_(size) {
  // Crisp edges: every lozenge is exactly its colour, and neighbours meet
  // without blended seams.
  p_.setRenderHint(QPainter::Antialiasing, false);
  set_world(0.0, 0.0, size.width(), size.height());
}

void QPainterCanvas::set_world(double x1, double y1, double x2, double y2) {
  const double left = std::min(x1, x2), right = std::max(x1, x2);
  const double bottom = std::min(y1, y2), top = std::max(y1, y2);
  const double w = right - left > 0.0 ? right - left : 1.0;
  const double h = top - bottom > 0.0 ? top - bottom : 1.0;
  const double sx = size_.width() / w;
  const double sy = size_.height() / h;
  // Device x = (x - left) * sx; device y = (top - y) * sy.
  world_ = QTransform(sx, 0.0, 0.0, -sy, -left * sx, top * sy);
}

void QPainterCanvas::clear(Rgb background) {
  p_.fillRect(QRectF(QPointF(0, 0), size_), to_qcolor(background));
}

void QPainterCanvas::set_color(Rgb color) { color_ = to_qcolor(color); }

void QPainterCanvas::set_line_pattern(uint16_t pattern) { pattern_ = pattern; }

void QPainterCanvas::set_line_look(const LineLook& look) {
  if (look == look_) return;
  draw_held_lines();
  look_ = look;
}

namespace {

// The bit pattern (most significant bit first) as dash lengths in line
// widths: alternating runs of set and clear bits, starting with a set run.
QVector<qreal> dash_lengths(uint16_t pattern) {
  QVector<qreal> dashes;
  int bit = 15;
  bool on = true;
  while (bit >= 0 && !((pattern >> bit) & 1)) --bit;  // leading gaps go last
  const int first = bit;
  int run = 0;
  for (int n = 0; n < 16; ++n) {
    const int b = (first - n + 16) % 16;
    const bool set = (pattern >> b) & 1;
    if (set == on) {
      ++run;
    } else {
      dashes << run;
      on = set;
      run = 1;
    }
  }
  dashes << run;
  if (dashes.size() % 2) dashes << 0;
  return dashes;
}

bool dashed(uint16_t pattern) { return pattern != kSolidLine && pattern != 0; }

}  // namespace

QPen QPainterCanvas::pen(QColor color, uint16_t pattern) const {
  QPen pen(color);
  // Up to a pixel and a half: the one-pixel line of the picture's own
  // rasteriser. Wider: a stroke of that width, round where lines meet.
  if (look_.width >= 1.5) {
    pen.setWidthF(look_.width);
    pen.setCapStyle(dashed(pattern) ? Qt::FlatCap : Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
  } else {
    pen.setCosmetic(true);
    pen.setWidth(1);
  }
  if (dashed(pattern)) pen.setDashPattern(dash_lengths(pattern));
  return pen;
}

QPainterPath& QPainterCanvas::held_path() {
  // At most some quarter million lines are drawn at once, so that memory
  // stays small on the largest tilings; only lines on either side of that
  // cut may darken twice where they meet.
  constexpr int kMostHeld = 1 << 18;
  if (held_elements_ >= kMostHeld) draw_held_lines();
  for (HeldLines& h : held_)
    if (h.color == color_.rgb() && h.pattern == pattern_) return h.path;
  held_.push_back({color_.rgb(), pattern_, QPainterPath()});
  return held_.back().path;
}

void QPainterCanvas::draw_held_lines() {
  // The lines' outlines, filled as one shape a colour: a filled shape
  // covers each pixel once on every device (the outlines all wind the same
  // way), where strokes on an image blend each segment on its own, and twice
  // where two cross.
  std::vector<std::pair<QRgb, QPainterPath>> shapes;
  for (const HeldLines& h : held_) {
    QPainterPathStroker stroker;
    stroker.setWidth(std::max(1.0, look_.width));
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::MiterJoin);
    if (dashed(h.pattern)) stroker.setDashPattern(dash_lengths(h.pattern));
    const QPainterPath shape = stroker.createStroke(h.path);
    auto it = std::find_if(shapes.begin(), shapes.end(),
                           [&](const auto& s) { return s.first == h.color; });
    if (it == shapes.end())
      shapes.emplace_back(h.color, shape);
    else
      it->second.addPath(shape);
  }
  for (auto& [color, shape] : shapes) {
    QColor c = QColor::fromRgb(color);
    c.setAlphaF(std::clamp(look_.darkness, 0.0, 1.0));
    shape.setFillRule(Qt::WindingFill);
    p_.fillPath(shape, c);
  }
  held_.clear();
  held_elements_ = 0;
}

void QPainterCanvas::finish() { draw_held_lines(); }

void QPainterCanvas::polygon(const WorldPoint* points, int count, bool filled) {
  QPolygonF poly;
  poly.reserve(count);
  for (int k = 0; k < count; ++k) poly << map(points[k].x, points[k].y);
  if (filled) {
    p_.setPen(Qt::NoPen);
    p_.setBrush(color_);
    p_.drawPolygon(poly);
  } else if (!look_.visible()) {
    return;
  } else if (holds_lines()) {
    QPainterPath& path = held_path();
    path.addPolygon(poly);
    path.closeSubpath();
    held_elements_ += count;
  } else {
    p_.setPen(pen(color_, pattern_));
    p_.setBrush(Qt::NoBrush);
    p_.drawPolygon(poly);
  }
}

void QPainterCanvas::filled_ellipse(double x1, double y1, double x2, double y2) {
  if (!look_.visible()) return;
  const QRectF box = QRectF(map(x1, y1), map(x2, y2)).normalized();
  if (holds_lines()) {
    QColor c = color_;
    c.setAlphaF(std::clamp(look_.darkness, 0.0, 1.0));
    p_.setPen(Qt::NoPen);
    p_.setBrush(c);
    p_.drawEllipse(box);
    return;
  }
  // The outline in the same colour keeps a dot visible however small the
  // scale makes its box.
  QPen outline(color_);
  outline.setCosmetic(true);
  p_.setPen(outline);
  p_.setBrush(color_);
  p_.drawEllipse(box);
}

void QPainterCanvas::pixel(double x, double y) {
  p_.setPen(QPen(color_, 0));
  const QPointF d = map(x, y);
  // Aliased points land on the pixel of their integer coordinates.
  p_.drawPoint(QPoint(static_cast<int>(std::floor(d.x())), static_cast<int>(std::floor(d.y()))));
}

void QPainterCanvas::move_to(double x, double y) { current_ = map(x, y); }

void QPainterCanvas::line_to(double x, double y) {
  const QPointF to = map(x, y);
  if (!look_.visible()) {
  } else if (holds_lines()) {
    QPainterPath& path = held_path();
    // A polyline stays one subpath, so that its joints are not darkened twice.
    if (path.elementCount() == 0 || path.currentPosition() != current_) path.moveTo(current_);
    path.lineTo(to);
    ++held_elements_;
  } else {
    p_.setPen(pen(color_, pattern_));
    p_.drawLine(current_, to);
  }
  current_ = to;
}

}  // namespace lozengia
