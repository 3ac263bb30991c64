#include "platform/view_canvas.h"

#include <algorithm>

namespace lozengia {

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

ViewCanvas::ViewCanvas(Canvas& inner, const WorldRect& view, std::function<bool()> cancelled)
    : inner_(inner),
      left_(std::min(view.x1, view.x2)),
      bottom_(std::min(view.y1, view.y2)),
      right_(std::max(view.x1, view.x2)),
      top_(std::max(view.y1, view.y2)),
      cancelled_(std::move(cancelled)) {
  inner_.set_world(left_, bottom_, right_, top_);
}

bool ViewCanvas::stopped() {
  // Asked every few thousand calls: the question itself costs an atomic load.
  if (!stopped_ && cancelled_ && ++calls_ % 4096 == 0) stopped_ = cancelled_();
  return stopped_;
}

bool ViewCanvas::outside(double x1, double y1, double x2, double y2) const {
  // A margin of a hundredth of the view keeps outlines on the border drawn.
  const double mx = (right_ - left_) * 0.01, my = (top_ - bottom_) * 0.01;
  return x2 < left_ - mx || x1 > right_ + mx || y2 < bottom_ - my || y1 > top_ + my;
}

void ViewCanvas::set_world(double, double, double, double) {
  // The picture's own world is replaced by the view.
  inner_.set_world(left_, bottom_, right_, top_);
}

void ViewCanvas::clear(Rgb background) { inner_.clear(background); }
void ViewCanvas::set_color(Rgb color) { inner_.set_color(color); }
void ViewCanvas::set_line_pattern(uint16_t pattern) { inner_.set_line_pattern(pattern); }

void ViewCanvas::polygon(const WorldPoint* points, int count, bool filled) {
  if (count <= 0 || stopped()) return;
  double x1 = points[0].x, x2 = x1, y1 = points[0].y, y2 = y1;
  for (int k = 1; k < count; ++k) {
    x1 = std::min(x1, points[k].x);
    x2 = std::max(x2, points[k].x);
    y1 = std::min(y1, points[k].y);
    y2 = std::max(y2, points[k].y);
  }
  if (outside(x1, y1, x2, y2)) return;
  ++drawn_;
  inner_.polygon(points, count, filled);
}

void ViewCanvas::filled_ellipse(double x1, double y1, double x2, double y2) {
  if (stopped() || outside(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)))
    return;
  ++drawn_;
  inner_.filled_ellipse(x1, y1, x2, y2);
}

void ViewCanvas::pixel(double x, double y) {
  if (stopped() || outside(x, y, x, y)) return;
  ++drawn_;
  inner_.pixel(x, y);
}

void ViewCanvas::move_to(double x, double y) { current_ = {x, y}; }

void ViewCanvas::line_to(double x, double y) {
  const WorldPoint from = current_;
  current_ = {x, y};
  if (stopped() || outside(std::min(from.x, x), std::min(from.y, y), std::max(from.x, x),
                           std::max(from.y, y)))
    return;
  ++drawn_;
  inner_.move_to(from.x, from.y);
  inner_.line_to(x, y);
}

}  // namespace lozengia
