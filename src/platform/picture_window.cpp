#include "platform/picture_window.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <new>

#include "core/worker_threads.h"
#include "platform/gui_call_queue.h"
#include "render/picture_files.h"

namespace lozengia {

namespace {
constexpr int kDefaultPixels = 600;

double width_of(const WorldRect& r) { return std::abs(r.x2 - r.x1); }
double height_of(const WorldRect& r) { return std::abs(r.y2 - r.y1); }

}  // namespace

PictureWindow::PictureWindow(GuiCallQueue& gui, QWidget* parent) : QWidget(parent), gui_(gui) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(false);
  // Without a thread of its own, redraw() draws on this thread instead.
  worker_ = try_start_thread([this] { worker_loop(); });
}

PictureWindow::~PictureWindow() {
  *alive_ = false;          // pictures still queued for this window are dropped
  latest_id_.fetch_add(1);  // and one being drawn stops early
  {
    std::lock_guard<std::mutex> lock(job_mutex_);
    quit_ = true;
  }
  job_cv_.notify_all();
  if (worker_.joinable()) worker_.join();
}

QSize PictureWindow::sizeHint() const { return {kDefaultPixels, kDefaultPixels}; }

QImage PictureWindow::draw(const TilingSnapshot& t, QSize size, const WorldRect& view,
                           const std::function<bool()>& cancelled) {
  // The rasteriser draws only what the view shows, from the path heights, on
  // every core: even the whole of a large tiling takes a fraction of a second,
  // so a drawing is not cut short; one made stale meanwhile is dropped.
  if (cancelled && cancelled()) return {};
  return render_tiling_image(t.tiling(), t.picture_style(), {view, size.width(), size.height()});
}

void PictureWindow::set_tiling(std::shared_ptr<const TilingSnapshot> tiling, bool draw_now) {
  // The four lozenge styles show the same rectangle; Z^2 another.
  const bool same_view = tiling_ && tiling && tiling_->N == tiling->N && tiling_->T == tiling->T &&
                         tiling_->S == tiling->S &&
                         (tiling_->style == kStyleZ2) == (tiling->style == kStyleZ2);
  tiling_ = std::move(tiling);
  ++tilings_given_;
  if (!same_view) reset_view();
  if (draw_now)
    redraw();
  else
    latest_id_.fetch_add(1);
  emit viewChanged();
}

void PictureWindow::set_style(StyleNumber style) {
  if (!tiling_ || tiling_->style == style) return;
  auto copy = std::make_shared<TilingSnapshot>(*tiling_);
  copy->style = style;
  set_tiling(std::move(copy), true);
}

WorldRect PictureWindow::content_world(const TilingSnapshot& t) {
  // The rule every picture file and the printed page follow too.
  return picture_content(t.tiling(), t.style);
}

WorldRect PictureWindow::fit_world() const {
  if (!tiling_) return {0.0, 0.0, 1.0, 1.0};
  return fit_to_aspect(content_world(*tiling_), std::max(width(), 1), std::max(height(), 1));
}

WorldRect PictureWindow::visible_world() const {
  const WorldRect f = fit_world();
  const double w = width_of(f) / zoom_, h = height_of(f) / zoom_;
  return {centre_.x - w / 2.0, centre_.y - h / 2.0, centre_.x + w / 2.0, centre_.y + h / 2.0};
}

QPointF PictureWindow::to_world(QPointF p) const {
  const WorldRect v = visible_world();
  return {v.x1 + p.x() / std::max(width(), 1) * width_of(v),
          v.y2 - p.y() / std::max(height(), 1) * height_of(v)};
}

void PictureWindow::clamp_centre() {
  // The centre stays over the hexagon's own rectangle: the picture can never
  // be panned out of sight.
  const WorldRect f = fit_world();
  centre_.x = std::clamp(centre_.x, std::min(f.x1, f.x2), std::max(f.x1, f.x2));
  centre_.y = std::clamp(centre_.y, std::min(f.y1, f.y2), std::max(f.y1, f.y2));
}

void PictureWindow::reset_view() {
  zoom_ = 1.0;
  const WorldRect f = fit_world();
  centre_ = {(f.x1 + f.x2) / 2.0, (f.y1 + f.y2) / 2.0};
}

void PictureWindow::fit() {
  reset_view();
  redraw();
  emit viewChanged();
}

void PictureWindow::zoom_by(double factor, QPointF at) {
  if (!tiling_ || !(factor > 0.0)) return;
  const double max_zoom = std::max(1.0, width_of(fit_world()) / kMaxZoomWidth);
  const double z = std::clamp(zoom_ * factor, 1.0, max_zoom);
  if (z == zoom_) return;
  const QPointF p = to_world(at);
  // The point under `at` stays where it is.
  centre_.x = p.x() + (centre_.x - p.x()) * zoom_ / z;
  centre_.y = p.y() + (centre_.y - p.y()) * zoom_ / z;
  zoom_ = z;
  clamp_centre();
  redraw();
  emit viewChanged();
}

void PictureWindow::zoom_by(double factor) {
  const QPointF cursor = mapFromGlobal(QCursor::pos());
  const bool over = rect().contains(cursor.toPoint());
  zoom_by(factor, over ? cursor : QPointF(width() / 2.0, height() / 2.0));
}

void PictureWindow::pan(QPointF pixels) {
  if (!tiling_) return;
  const WorldRect v = visible_world();
  centre_.x -= pixels.x() / std::max(width(), 1) * width_of(v);
  centre_.y += pixels.y() / std::max(height(), 1) * height_of(v);
  clamp_centre();
  redraw();
}

PictureWindow::Request PictureWindow::request() const {
  return {tiling_, size(), visible_world(), latest_id_.load()};
}

void PictureWindow::redraw() {
  update();  // the old picture, moved to the new view, until the new one comes
  if (!tiling_) return;
  Request r = request();
  r.id = latest_id_.fetch_add(1) + 1;
  if (!worker_.joinable()) {
    QImage image;
    try {
      image = draw(*r.tiling, r.size, r.view);
    } catch (const std::bad_alloc&) {
    }
    if (image.isNull())
      show_failure(r.id);
    else
      show_image(image, r.view, r.id);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(job_mutex_);
    job_ = std::move(r);
  }
  job_cv_.notify_all();
}

void PictureWindow::worker_loop() {
  for (;;) {
    Request job;
    {
      std::unique_lock<std::mutex> lock(job_mutex_);
      job_cv_.wait(lock, [this] { return quit_ || job_.has_value(); });
      if (quit_) return;
      job = std::move(*job_);
      job_.reset();
    }
    const uint64_t id = job.id;
    // No memory for the picture must not end the program from this thread:
    // the window keeps its previous picture and says so.
    QImage image;
    try {
      image =
          draw(*job.tiling, job.size, job.view, [this, id] { return latest_id_.load() != id; });
    } catch (const std::bad_alloc&) {
    }
    if (latest_id_.load() != id) continue;  // unfinished, and nobody wants it
    try {
      gui_.post([this, alive = alive_, image = std::move(image), view = job.view, id] {
        if (!*alive) return;
        if (image.isNull())
          show_failure(id);
        else
          show_image(image, view, id);
      });
    } catch (const std::bad_alloc&) {
      // Not even the message could be queued; the next picture will tell.
    }
  }
}

void PictureWindow::show_failure(uint64_t id) {
  if (id < shown_id_) return;
  shown_id_ = id;
  update();
  if (failed_) return;
  failed_ = true;
  emit drawFailed();
}

void PictureWindow::show_image(const QImage& image, const WorldRect& view, uint64_t id) {
  if (id < shown_id_) return;
  image_ = image;
  failed_ = false;
  image_view_ = view;
  if (tiling_) image_content_ = content_world(*tiling_);
  shown_id_ = id;
  update();
  emit imageShown();
}

void PictureWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  paint_image(p);
  if (!failed_) return;
  // Over the previous picture, on a band of its own so that it reads on any
  // picture.
  const QString text = "Not enough memory to draw this picture: the previous one is shown.";
  const int h = p.fontMetrics().height() + 6;
  const QRect band(0, height() - h, width(), h);
  p.fillRect(band, QColor(255, 255, 224));
  p.setPen(Qt::black);
  p.drawText(band.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
}

void PictureWindow::paint_image(QPainter& p) {
  if (image_.isNull()) return;
  // A picture of a hexagon of another shape stays as it was until the new
  // one comes; one of the same shape follows the zoom and the pan at once.
  const WorldRect c = tiling_ ? content_world(*tiling_) : image_content_;
  if (c.x1 != image_content_.x1 || c.y1 != image_content_.y1 || c.x2 != image_content_.x2 ||
      c.y2 != image_content_.y2) {
    p.drawImage(0, 0, image_);
    return;
  }
  const WorldRect v = visible_world();
  const double sx = width() / std::max(width_of(v), 1e-12);
  const double sy = height() / std::max(height_of(v), 1e-12);
  // Where the picture's own view lies in the present one.
  const QRectF target((image_view_.x1 - v.x1) * sx, (v.y2 - image_view_.y2) * sy,
                      width_of(image_view_) * sx, height_of(image_view_) * sy);
  if (std::abs(target.x()) < 0.5 && std::abs(target.y()) < 0.5 &&
      std::abs(target.width() - image_.width()) < 0.5 &&
      std::abs(target.height() - image_.height()) < 0.5)
    p.drawImage(0, 0, image_);
  else
    p.drawImage(target, image_);
}

void PictureWindow::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  clamp_centre();
  redraw();
}

void PictureWindow::wheelEvent(QWheelEvent* e) {
  const double steps = e->angleDelta().y() / 120.0;
  if (steps != 0.0) zoom_by(std::pow(1.25, steps), e->position());
  e->accept();
}

void PictureWindow::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) {
    drag_from_ = e->position();
    setCursor(Qt::ClosedHandCursor);
  }
  QWidget::mousePressEvent(e);
}

void PictureWindow::mouseMoveEvent(QMouseEvent* e) {
  if (drag_from_) {
    pan(e->position() - *drag_from_);
    drag_from_ = e->position();
  }
}

void PictureWindow::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) {
    drag_from_.reset();
    unsetCursor();
  }
}

void PictureWindow::contextMenuEvent(QContextMenuEvent* e) {
  emit contextMenuRequested(e->globalPos());
  e->accept();
}

void PictureWindow::keyPressEvent(QKeyEvent* e) {
  // A key is its first character; a key that types nothing (an arrow, a
  // function key) still counts as a key, as 0. Modifiers alone do not, and
  // neither do shortcuts with Ctrl.
  if (e->modifiers() & Qt::ControlModifier) {
    QWidget::keyPressEvent(e);
    return;
  }
  const QString text = e->text();
  char c = 0;
  if (!text.isEmpty()) {
    const char16_t u = text.at(0).unicode();
    c = u < 128 ? static_cast<char>(u) : '?';
  } else {
    switch (e->key()) {
      case Qt::Key_Shift:
      case Qt::Key_Control:
      case Qt::Key_Alt:
      case Qt::Key_Meta:
      case Qt::Key_AltGr:
      case Qt::Key_CapsLock:
      case Qt::Key_NumLock:
      case Qt::Key_unknown:
        QWidget::keyPressEvent(e);
        return;
      case Qt::Key_Escape:
        c = 0x1b;
        break;
      default:
        break;
    }
  }
  emit keyTyped(c);
  e->accept();
}

}  // namespace lozengia
