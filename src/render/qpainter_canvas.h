// Canvas on a QPainter: the window picture and PNG files (QImage), SVG files
// (QSvgGenerator) and printer pages all go through here. QtGui only.
#pragma once

#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QSizeF>
#include <QTransform>
#include <vector>

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
  void set_line_look(const LineLook& look) override;
  void polygon(const WorldPoint* points, int count, bool filled) override;
  void filled_ellipse(double x1, double y1, double x2, double y2) override;
  void pixel(double x, double y) override;
  void move_to(double x, double y) override;
  void line_to(double x, double y) override;
  void finish() override;

 private:
  // Lines lighter than black are held back, one path per colour and
  // pattern, and laid over the picture as one filled shape a colour, so that
  // where they meet or overlap they darken once.
  struct HeldLines {
    QRgb color;
    uint16_t pattern;
    QPainterPath path;
  };

  QPointF map(double x, double y) const { return world_.map(QPointF(x, y)); }
  QPen pen(QColor color, uint16_t pattern) const;
  bool holds_lines() const { return look_.darkness < 1.0; }
  QPainterPath& held_path();
  void draw_held_lines();

  QPainter& p_;
  QSizeF size_;
  QTransform world_;
  QColor color_{Qt::black};
  uint16_t pattern_ = kSolidLine;
  LineLook look_;
  QPointF current_;
  std::vector<HeldLines> held_;
  int held_elements_ = 0;
};

}  // namespace lozengia
