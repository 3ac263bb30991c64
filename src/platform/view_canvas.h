// A canvas that shows one rectangle of the world instead of the whole world a
// picture asks for: the picture window's zoom. Drawing calls that fall wholly
// outside the rectangle are skipped, so a small view of a large tiling costs
// little more than the loop over its lozenges. Every call is also skipped once
// `cancelled` holds, so a drawing nobody waits for any more ends quickly.
#pragma once

#include <functional>

#include "render/canvas.h"
#include "render/tiling.h"

namespace lozengia {

class ViewCanvas final : public Canvas {
 public:
  // `view` is the world rectangle mapped onto the whole of `inner`.
  ViewCanvas(Canvas& inner, const WorldRect& view, std::function<bool()> cancelled = {});

  void set_world(double x1, double y1, double x2, double y2) override;
  void clear(Rgb background) override;
  void set_color(Rgb color) override;
  void set_line_pattern(uint16_t pattern) override;
  void polygon(const WorldPoint* points, int count, bool filled) override;
  void filled_ellipse(double x1, double y1, double x2, double y2) override;
  void pixel(double x, double y) override;
  void move_to(double x, double y) override;
  void line_to(double x, double y) override;

  // Calls passed on to the inner canvas, for tests.
  long long drawn() const { return drawn_; }

 private:
  bool outside(double x1, double y1, double x2, double y2) const;
  bool stopped();

  Canvas& inner_;
  double left_, bottom_, right_, top_;
  std::function<bool()> cancelled_;
  bool stopped_ = false;
  int calls_ = 0;
  WorldPoint current_;
  long long drawn_ = 0;
};

// `world` widened or heightened about its centre to the aspect ratio of a
// `width` x `height` surface, so that the whole world shows undistorted.
WorldRect fit_to_aspect(const WorldRect& world, double width, double height);

}  // namespace lozengia
