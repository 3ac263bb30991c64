// A picture window's client: keeps the tiling it shows (a copy of the paths
// with N, T, S, the style and the colours) and draws it at its own size,
// centred and undistorted, whenever it is resized, zoomed or panned. Drawing
// runs on a thread of the window's own into an image; the previous picture
// stays on screen (moved and scaled to the new view) until the new one is
// ready. Keys typed here are told by keyTyped.
#pragma once

#include <QImage>
#include <QPointF>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "core/hexagon.h"
#include "render/tiling.h"

class QPainter;

namespace lozengia {

class GuiCallQueue;

// What a picture shows; `version` counts the changes of the program's tiling,
// so a window can tell that it shows an older one.
struct TilingSnapshot {
  PathArray paths;
  int32_t N = 0, T = 0, S = 0;
  StyleNumber style = kStyleBorders;
  LozengeColors colors;
  uint64_t version = 0;
  ModelParams model;      // the model the tiling was sampled from
  int32_t averaged = 1;   // the tiling is the average of this many samples

  HexagonParams params() const { return {N, T, S, model}; }
  Tiling tiling() const { return {paths, N, T, S}; }
  PictureStyle picture_style() const { return {style, colors}; }
};

class PictureWindow : public QWidget {
  Q_OBJECT
 public:
  static constexpr double kMaxZoomWidth = 2.0;  // narrowest view, in world units

  explicit PictureWindow(GuiCallQueue& gui, QWidget* parent = nullptr);
  ~PictureWindow() override;

  QSize sizeHint() const override;

  // Shows `tiling` from now on. The zoom is kept when the hexagon and the
  // style are the same, else the whole hexagon is shown. With `draw`, a new
  // picture is drawn off the GUI thread; without, the caller draws it (see
  // request() and show_image()).
  void set_tiling(std::shared_ptr<const TilingSnapshot> tiling, bool draw = true);
  // The same tiling in another style, redrawn; the zoom stays when both
  // styles draw lozenges.
  void set_style(StyleNumber style);
  const TilingSnapshot* tiling() const { return tiling_.get(); }
  // How many tilings the window has been given.
  uint64_t tilings_given() const { return tilings_given_; }

  // What a picture of the present state must show.
  struct Request {
    std::shared_ptr<const TilingSnapshot> tiling;
    QSize size;
    WorldRect view{};
    uint64_t id = 0;
  };
  Request request() const;
  // A picture drawn for a request. Older pictures than the one shown are
  // dropped.
  void show_image(const QImage& image, const WorldRect& view, uint64_t id);
  // The picture for a request could not be drawn (no memory for it): the
  // previous one stays, with a line over it saying so, until one is drawn.
  void show_failure(uint64_t id);
  bool failed() const { return failed_; }

  // The one drawing routine: the tiling's world rectangle `view` on a white
  // `size` image through the tiling picture's own code. Stops early (leaving
  // the image unfinished) when `cancelled` holds. A null image, or
  // std::bad_alloc, when the memory for it could not be had.
  static QImage draw(const TilingSnapshot& tiling, QSize size, const WorldRect& view,
                     const std::function<bool()>& cancelled = {});

  // The world rectangle of the whole picture, centred on what is drawn.
  static WorldRect content_world(const TilingSnapshot& tiling);

  // Zoom: 1 shows the whole hexagon. `at` is a point of the window that stays
  // over the same point of the tiling.
  double zoom() const { return zoom_; }
  void zoom_by(double factor, QPointF at);
  void zoom_by(double factor);  // about the cursor when it is over the window
  void fit();
  void pan(QPointF pixels);
  // The world rectangle the window shows at its present size.
  WorldRect visible_world() const;
  QPointF to_world(QPointF pixel) const;

  const QImage& image() const { return image_; }
  // True while a picture is on its way.
  bool drawing() const { return shown_id_ < latest_id_.load(); }
  // False when the drawing thread could not be started: each picture is then
  // drawn on the GUI thread when asked for (the same picture, made while the
  // window waits).
  bool draws_off_gui_thread() const { return worker_.joinable(); }


 signals:
  // A key typed here: its first character, 0 for one that types nothing,
  // 0x1b for Esc.
  void keyTyped(char key);
  // The right-click menu is asked for, at a point of the screen.
  void contextMenuRequested(QPoint at);
  void imageShown();
  // A picture could not be drawn after the last one was (told once until
  // one is drawn again).
  void drawFailed();
  // The zoom or the part shown changed.
  void viewChanged();

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  WorldRect fit_world() const;
  void reset_view();
  void clamp_centre();
  void redraw();
  void worker_loop();
  void paint_image(QPainter& p);

  GuiCallQueue& gui_;
  std::shared_ptr<const TilingSnapshot> tiling_;
  double zoom_ = 1.0;
  WorldPoint centre_{};
  QImage image_;
  WorldRect image_view_{};
  WorldRect image_content_{};  // content_world() of the tiling the image shows
  uint64_t shown_id_ = 0;
  bool failed_ = false;  // the picture asked for last could not be drawn
  uint64_t tilings_given_ = 0;
  std::optional<QPointF> drag_from_;

  // The drawing thread takes the latest job; a job whose id is no longer the
  // latest is abandoned.
  std::atomic<uint64_t> latest_id_{0};
  std::mutex job_mutex_;
  std::condition_variable job_cv_;
  std::optional<Request> job_;                                  // guarded by job_mutex_
  bool quit_ = false;                                           // guarded by job_mutex_
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // GUI thread only
  std::thread worker_;
};

}  // namespace lozengia
