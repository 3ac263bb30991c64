#include "render/qpainter_canvas.h"

#include <QPolygonF>
#include <QVector>
#include <algorithm>
#include <cmath>

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

QPen QPainterCanvas::pen() const {
  QPen pen(color_);
  pen.setCosmetic(true);
  pen.setWidth(1);
  if (pattern_ != kSolidLine && pattern_ != 0) {
    // Turn the bit pattern (most significant bit first) into dash lengths in
    // pixels: alternating runs of set and clear bits, starting with a set run.
    QVector<qreal> dashes;
    int bit = 15;
    bool on = true;
    while (bit >= 0 && !((pattern_ >> bit) & 1)) --bit;  // leading gaps go last
    const int first = bit;
    int run = 0;
    for (int n = 0; n < 16; ++n) {
      const int b = (first - n + 16) % 16;
      const bool set = (pattern_ >> b) & 1;
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
    pen.setDashPattern(dashes);
  }
  return pen;
}

void QPainterCanvas::polygon(const WorldPoint* points, int count, bool filled) {
  QPolygonF poly;
  poly.reserve(count);
  for (int k = 0; k < count; ++k) poly << map(points[k].x, points[k].y);
  if (filled) {
    p_.setPen(Qt::NoPen);
    p_.setBrush(color_);
  } else {
    p_.setPen(pen());
    p_.setBrush(Qt::NoBrush);
  }
  p_.drawPolygon(poly);
}

void QPainterCanvas::filled_ellipse(double x1, double y1, double x2, double y2) {
  // The outline in the same colour keeps a dot visible however small the
  // scale makes its box.
  p_.setPen(pen());
  p_.setBrush(color_);
  p_.drawEllipse(QRectF(map(x1, y1), map(x2, y2)).normalized());
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
  p_.setPen(pen());
  p_.drawLine(current_, to);
  current_ = to;
}

}  // namespace lozengia
