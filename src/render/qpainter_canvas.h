// Canvas on a QPainter: the window picture and PNG files (QImage), SVG files
// (QSvgGenerator) and printer pages all go through here. QtGui only.
#pragma once

#include <QPainter>
#include <QPointF>
#include <QSizeF>
#include <QTransform>

#include "render/canvas.h"

namespace lozengia {

QColor to_qcolor(Rgb c);

class QPainterCanvas final : public Canvas {
 public:
  // `painter` is active on a device whose drawing area is `size` (in the
  // painter's current coordinates); the canvas does not own it.
  QPainterCanvas(QPainter& painter, QSizeF size);

  void set_world(double x1, double y1, double x2, double y2) override;
  void clear(Rgb background) override;
  void set_color(Rgb color) override;
  void set_line_pattern(uint16_t pattern) override;
  void polygon(const WorldPoint* points, int count, bool filled) override;
  void filled_ellipse(double x1, double y1, double x2, double y2) override;
  void pixel(double x, double y) override;
  void move_to(double x, double y) override;
  void line_to(double x, double y) override;

 private:
  QPointF map(double x, double y) const { return world_.map(QPointF(x, y)); }
  QPen pen() const;

  QPainter& p_;
  QSizeF size_;
  QTransform world_;
  QColor color_{Qt::black};
  uint16_t pattern_ = kSolidLine;
  QPointF current_;
};

}  // namespace lozengia
