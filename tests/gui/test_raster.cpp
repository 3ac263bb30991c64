// The rasterised picture against the canvas drawing that defines it: the same
// pixels where lozenges are large, the right mean colours where they are
// smaller than a pixel, the same image on any number of threads, and zoomed
// views.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <set>
#include <vector>

#include "../support/picture_margins.h"
#include "core/fast_sweep.h"
#include "core/hexagon.h"
#include "core/message_sink.h"
#include "render/lozenge_regions.h"
#include "render/picture_files.h"
#include "render/qpainter_canvas.h"
#include "render/raster_tiling.h"
#include "render/svg_tiling.h"
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
QImage canvas_picture(const Tiling& tiling, StyleNumber style, const PictureFrame& frame,
                      bool merged = false) {
  QImage image(frame.width, frame.height, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  QPainterCanvas canvas(painter, QSizeF(frame.width, frame.height));
  if (merged)
    draw_tiling_merged(canvas, tiling, {style, kColors}, frame);
  else
    draw_tiling(canvas, tiling, {style, kColors}, frame);
  painter.end();
  return image;
}

// The whole picture, `size` pixels on its long side, in both forms.
QImage canvas_picture(const Tiling& tiling, StyleNumber style, int size, bool merged = false) {
  return canvas_picture(tiling, style, whole_picture(tiling, style, size), merged);
}
QImage raster_picture(const Tiling& tiling, StyleNumber style, int size) {
  return render_tiling_image(tiling, {style, kColors}, whole_picture(tiling, style, size));
}

struct Difference {
  int pixels = 0;       // pixels that differ at all
  int off_edge = 0;     // of which no neighbour of the reference differs in colour
  int edge_pixels = 0;  // pixels of the reference next to another colour
};

// An edge pixel of the reference has a neighbour (8-neighbourhood) of another
// colour: there a line or a lozenge side passes, and an aliased rasteriser
// may put it one pixel either way.
Difference compare(const QImage& ref, const QImage& img, int radius = 1) {
  Difference d;
  const int w = ref.width(), h = ref.height();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const QRgb c = ref.pixel(x, y);
      bool edge = false;
      for (int dy = -radius; dy <= radius && !edge; ++dy)
        for (int dx = -radius; dx <= radius && !edge; ++dx) {
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

int count_colors(const QImage& img) {
  std::set<QRgb> seen;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) seen.insert(img.pixel(x, y));
  return static_cast<int>(seen.size());
}

// Mean colour of each `block` x `block` square of pixels.
std::vector<double> block_means(const QImage& img, int block) {
  std::vector<double> out;
  for (int by = 0; by + block <= img.height(); by += block)
    for (int bx = 0; bx + block <= img.width(); bx += block) {
      double sum[3] = {0, 0, 0};
      for (int y = by; y < by + block; ++y)
        for (int x = bx; x < bx + block; ++x) {
          const QRgb c = img.pixel(x, y);
          sum[0] += qRed(c), sum[1] += qGreen(c), sum[2] += qBlue(c);
        }
      for (double v : sum) out.push_back(v / (block * block));
    }
  return out;
}

// The filled area per colour of an SVG's fill paths, in lattice units, from
// the path data (M, m, l, h, v, z; integers only).
std::map<QString, double> svg_fill_areas(const QString& svg) {
  std::map<QString, double> areas;
  const QRegularExpression path("<path fill=\"(#[0-9a-f]{6})\"[^>]* d=\"([^\"]*)\"");
  for (auto it = path.globalMatch(svg); it.hasNext();) {
    const auto m = it.next();
    const QString d = m.captured(2);
    const QRegularExpression tok("[MmlhvZz]|-?\\d+");
    std::vector<QString> t;
    for (auto k = tok.globalMatch(d); k.hasNext();) t.push_back(k.next().captured(0));
    double area = 0;
    long x = 0, y = 0, sx = 0, sy = 0;
    QChar cmd;
    auto to = [&](long nx, long ny) {
      area += static_cast<double>(x) * ny - static_cast<double>(nx) * y;
      x = nx, y = ny;
    };
    for (std::size_t i = 0; i < t.size();) {
      if (t[i][0].isLetter()) {
        cmd = t[i][0];
        ++i;
        if (cmd == 'z' || cmd == 'Z') to(sx, sy);
        continue;
      }
      if (cmd == 'M' || cmd == 'm') {
        const long a = t[i].toLong(), b = t[i + 1].toLong();
        i += 2;
        x = cmd == 'M' ? a : x + a;
        y = cmd == 'M' ? b : y + b;
        sx = x, sy = y;
      } else if (cmd == 'l') {
        to(x + t[i].toLong(), y + t[i + 1].toLong());
        i += 2;
      } else if (cmd == 'h') {
        to(x + t[i].toLong(), y);
        ++i;
      } else if (cmd == 'v') {
        to(x, y + t[i].toLong());
        ++i;
      } else {
        ++i;
      }
    }
    areas[m.captured(1)] += std::fabs(area) / 2;  // polygons of one colour never overlap
  }
  return areas;
}

QString hex(Rgb c) {
  return QString::asprintf("#%02x%02x%02x", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

}  // namespace

class RasterTest : public QObject {
  Q_OBJECT

 private slots:
  // Where lozenges are many pixels wide (N = 50 at 1000 pixels: 13 pixels a
  // lattice unit) the picture is the canvas drawing's, pixel for pixel, but
  // on edges: a pixel may differ only where the reference itself changes
  // colour within one pixel of it. There a lozenge side whose pixel centre
  // it passes within a rounding error (the canvas rounds to 1/64 pixel), a
  // line end, or a polygon outline's corner pixel may fall one pixel
  // either way; at most 4% of the edge pixels do (0.3-0.5% for styles 1-4,
  // about 3% for style 5, whose tiny dots are all edge).
  void same_picture_as_the_canvas_where_lozenges_are_large_data() {
    QTest::addColumn<int>("style_number");
    for (int s = 1; s <= 5; ++s) QTest::newRow(qPrintable(QString("style %1").arg(s))) << s;
  }
  void same_picture_as_the_canvas_where_lozenges_are_large() {
    QFETCH(int, style_number);
    const auto style = static_cast<StyleNumber>(style_number);
    const PathArray paths = uniform_sample(50, 7);
    const Tiling tiling{paths, 50, 100, 50};
    const QImage ref = canvas_picture(tiling, style, 1000);
    const QImage img = raster_picture(tiling, style, 1000);
    const Difference d = compare(ref, img);
    QCOMPARE(d.off_edge, 0);
    QVERIFY2(d.pixels * 25 <= d.edge_pixels,
             qPrintable(QString("%1 of %2 edge pixels differ").arg(d.pixels).arg(d.edge_pixels)));
  }

  // Where lozenges are smaller than a pixel, each block of pixels shows the
  // mean colour of what it covers: compared with the same tiling drawn 8
  // times larger (crisp, checked above) and averaged over blocks 8 times
  // larger. The x direction is sampled 4 times a pixel, so a block's mean
  // may be off by a few levels of 255.
  void mean_colours_where_lozenges_are_smaller_than_a_pixel() {
    const PathArray paths = uniform_sample(300, 11);
    const Tiling tiling{paths, 300, 600, 300};
    const PictureFrame small =
        whole_picture(tiling, kStyleNoBorders, 200);  // 0.3 pixels per lattice unit
    const QImage img = render_tiling_image(tiling, {kStyleNoBorders, kColors}, small);
    const QImage big = render_tiling_image(tiling, {kStyleNoBorders, kColors},
                                           {small.world, small.width * 8, small.height * 8});
    const std::vector<double> a = block_means(img, 5), b = block_means(big, 40);
    QCOMPARE(a.size(), b.size());
    double worst = 0, sum = 0;
    for (std::size_t k = 0; k < a.size(); ++k) {
      worst = std::max(worst, std::fabs(a[k] - b[k]));
      sum += std::fabs(a[k] - b[k]);
    }
    qInfo("block means: worst %.2f, mean %.3f of 255", worst, sum / a.size());
    QVERIFY2(worst < 12.0, qPrintable(QString("worst block mean off by %1").arg(worst)));
    QVERIFY2(sum / a.size() < 1.0, qPrintable(QString("mean error %1").arg(sum / a.size())));
    // Not a flat colour: the liquid region's mixture differs from the frozen
    // corners' pure colours.
    QVERIFY(count_colors(img) > 100);
  }

  // The bands are drawn on threads; the picture does not depend on them.
  void same_image_on_any_number_of_threads_data() {
    QTest::addColumn<int>("style_number");
    QTest::addColumn<int>("size");
    for (int s = 1; s <= 5; ++s) {
      QTest::newRow(qPrintable(QString("style %1 small").arg(s))) << s << 301;
      QTest::newRow(qPrintable(QString("style %1 large").arg(s))) << s << 1203;
    }
  }
  void same_image_on_any_number_of_threads() {
    QFETCH(int, style_number);
    const auto style = static_cast<StyleNumber>(style_number);
    QFETCH(int, size);
    const PathArray paths = uniform_sample(120, 5);
    const Tiling tiling{paths, 120, 240, 120};
    const PictureFrame frame = whole_picture(tiling, style, size);
    QImage one(frame.width, frame.height, QImage::Format_RGB32);
    auto draw = [&](QImage& img, unsigned threads) {
      raster_tiling({reinterpret_cast<uint32_t*>(img.bits()), img.width(), img.height(),
                     img.bytesPerLine() / 4},
                    tiling, {style, kColors}, frame.world, threads);
    };
    draw(one, 1);
    for (unsigned threads : {2u, 3u, 7u}) {
      QImage many(frame.width, frame.height, QImage::Format_RGB32);
      many.fill(Qt::blue);  // every pixel must be drawn over
      draw(many, threads);
      QCOMPARE(many, one);
    }
  }

  // A view shows part of the world at its own scale, as the canvas drawing
  // of the whole picture magnified onto it would: 25 lattice units across
  // (one-pixel lines), and 6 (lines 5 pixels wide, their dashes 5 pixels a
  // bit).
  void a_view_is_drawn_sharply_at_its_zoom_data() {
    QTest::addColumn<int>("style_number");
    QTest::addColumn<double>("across");
    for (double across : {25.0, 6.0})
      for (int s = 1; s <= 5; ++s)
        QTest::newRow(qPrintable(QString("style %1, %2 units").arg(s).arg(across))) << s << across;
  }
  void a_view_is_drawn_sharply_at_its_zoom() {
    QFETCH(int, style_number);
    const auto style = static_cast<StyleNumber>(style_number);
    QFETCH(double, across);
    const int32_t n = across > 10 ? 150 : 30;
    const PathArray paths = uniform_sample(n, 9);
    const Tiling tiling{paths, n, 2 * n, n};
    const int size = 600;
    // Near the centre of the hexagon.
    const WorldRect whole = whole_picture(tiling, style, 1000).world;
    const double cx = (whole.x1 + whole.x2) / 2, cy = (whole.y1 + whole.y2) / 2;
    const WorldRect view{cx - across / 2, cy - across / 2, cx + across / 2, cy + across / 2};
    const QImage img = render_tiling_image(tiling, {style, kColors}, {view, size, size});
    // Reference: the canvas drawing of the whole world on a canvas so large
    // that the view covers `size` pixels, shifted so that the view is at the
    // image's corner.
    const double scale = size / across;
    const double full_w = (whole.x2 - whole.x1) * scale, full_h = (whole.y2 - whole.y1) * scale;
    QImage ref(size, size, QImage::Format_RGB32);
    ref.fill(Qt::white);
    {
      QPainter painter(&ref);
      painter.translate(-(view.x1 - whole.x1) * scale, -(whole.y2 - view.y2) * scale);
      QPainterCanvas canvas(painter, QSizeF(full_w, full_h));
      draw_tiling(canvas, tiling, {style, kColors},
                  {whole, static_cast<int>(full_w), static_cast<int>(full_h)});
    }
    const Difference d = compare(ref, img);
    QCOMPARE(d.off_edge, 0);
    QVERIFY2(d.pixels * 25 <= d.edge_pixels,
             qPrintable(QString("%1 of %2 edge pixels differ").arg(d.pixels).arg(d.edge_pixels)));
  }

  // The merged shapes drawn on a canvas (as a PDF page is) give the picture
  // of one polygon per lozenge, up to edge pixels: long outlines are drawn
  // as polylines, whose pixels at the corners may differ.
  void merged_shapes_draw_the_same_picture_data() {
    QTest::addColumn<int>("style_number");
    for (int s = 1; s <= 5; ++s) QTest::newRow(qPrintable(QString("style %1").arg(s))) << s;
  }
  void merged_shapes_draw_the_same_picture() {
    QFETCH(int, style_number);
    const auto style = static_cast<StyleNumber>(style_number);
    const PathArray paths = uniform_sample(30, 3);
    const Tiling tiling{paths, 30, 60, 30};
    const QImage ref = canvas_picture(tiling, style, 800);
    const QImage img = canvas_picture(tiling, style, 800, true);
    const Difference d = compare(ref, img);
    QCOMPARE(d.off_edge, 0);
    QVERIFY2(d.pixels * 10 <= d.edge_pixels,
             qPrintable(QString("%1 of %2 edge pixels differ").arg(d.pixels).arg(d.edge_pixels)));
  }

  // The SVG: one path element per colour and per line type and direction,
  // integer coordinates only, the area of each lozenge colour that of its lozenges,
  // and drawn by an SVG renderer it shows the canvas picture (its edges are
  // smoothed, so they may differ).
  void svg_is_merged_and_shows_the_same_picture_data() {
    QTest::addColumn<int>("style_number");
    QTest::addColumn<int>("paths");
    // Fills: the hexagon and two lozenge colours; lines: the hexagon's
    // outline and the lozenges' (slanted, upright), the path segments.
    QTest::newRow("style 1") << 1 << 3;
    QTest::newRow("style 2") << 2 << 7;
    QTest::newRow("style 3") << 3 << 4;
    QTest::newRow("style 4") << 4 << 8;
  }
  void svg_is_merged_and_shows_the_same_picture() {
    QFETCH(int, style_number);
    const auto style = static_cast<StyleNumber>(style_number);
    QFETCH(int, paths);
    const int32_t n = 20;
    const PathArray config = uniform_sample(n, 4);
    const Tiling tiling{config, n, 2 * n, n};
    const PictureFrame frame = whole_picture(tiling, style, 600);
    QTemporaryDir dir;
    const QString file = dir.filePath("t.svg");
    QVERIFY((write_tiling_picture(PictureFormat::kSvg, file.toStdString(), tiling, {style, kColors},
                                  frame) == WriteStatus::kOk));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    QCOMPARE(static_cast<int>(text.count("<path")), paths);
    const QRegularExpression data(" d=\"([^\"]*)\"");
    for (auto it = data.globalMatch(text); it.hasNext();)
      QVERIFY(!it.next().captured(1).contains('.'));

    int flat = 0, rising = 0;
    for (int32_t t = 0; t < 2 * n; ++t)
      for (int32_t i = 1; i <= n; ++i) (config(i, t + 1) == config(i, t) ? flat : rising)++;
    const auto areas = svg_fill_areas(text);
    // A lozenge has area 2 in lattice units (x one slice, y two units a height).
    QCOMPARE(areas.at(hex(kColors.flat)), 2.0 * flat);
    QCOMPARE(areas.at(hex(kColors.rising)), 2.0 * rising);
    // The hexagon: 2 (N(T-S) + NS + S(T-S)) for N = T-S = S = n.
    QCOMPARE(areas.at(hex(kColors.hexagon)), 2.0 * 3 * n * n);
    // Far fewer polygons than lozenges: regions are merged.
    QVERIFY(text.count('z') < (flat + rising) / 2);

    QSvgRenderer svg(file);
    QVERIFY(svg.isValid());
    QImage img(frame.width, frame.height, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter painter(&img);
    svg.render(&painter);
    painter.end();
    const QImage ref = canvas_picture(tiling, style, frame);
    // The dashes of style 4 run on along each path instead of starting
    // afresh at every lozenge, so a dash may sit two pixels from the
    // reference's.
    const Difference d = compare(ref, img, style == 4 ? 2 : 1);
    QCOMPARE(d.off_edge, 0);
  }

  void svg_of_the_square_grid_style() {
    const PathArray config = uniform_sample(6, 2);
    QTemporaryDir dir;
    const QString file = dir.filePath("t.svg");
    const Tiling tiling{config, 6, 12, 6};
    QVERIFY(
        (write_tiling_picture(PictureFormat::kSvg, file.toStdString(), tiling, {kStyleZ2, kColors},
                              whole_picture(tiling, kStyleZ2, 300)) == WriteStatus::kOk));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    // The grid as one repeated pattern, the paths as one path element, the
    // dots as another: one "h0" per path point.
    QCOMPARE(static_cast<int>(text.count("<pattern")), 1);
    QCOMPARE(static_cast<int>(text.count("<path")), 2);
    QCOMPARE(static_cast<int>(text.count("h0")), 6 * 13);
  }

  // A write that fails half way (a full device) is reported, and a refused
  // file leaves the one it would replace as it was.
  void failed_svg_write_is_reported() {
    const PathArray config = uniform_sample(30, 1);
    const Tiling tiling{config, 30, 60, 30};
    if (QFileInfo::exists("/dev/full"))
      QVERIFY(!(
          write_tiling_picture(PictureFormat::kSvg, "/dev/full", tiling, {kStyleNoBorders, kColors},
                               whole_picture(tiling, kStyleNoBorders, 400)) == WriteStatus::kOk));
    QTemporaryDir dir;
    const QString file = dir.filePath("x.svg");
    {
      QFile f(file);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("old");
    }
    QVERIFY(!(write_tiling_picture(PictureFormat::kSvg, file.toStdString(), tiling,
                                   {kStyleNoBorders, kColors},
                                   whole_picture(tiling, kStyleNoBorders, 0)) == WriteStatus::kOk));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("old"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);  // no temporary left
  }

  // Large SVGs are refused by an upper bound of their size, known before
  // sampling; the n = 1000 uniform hexagon passes in every style.
  void svg_size_limit() {
    for (StyleNumber style : kAllStyles) {
      QVERIFY(svg_size_check(1000, 2000, 1000, style).empty());
      QVERIFY(svg_size_bound(1000, 2000, 1000, style) <= kSvgMaxBytes);
      QVERIFY(svg_memory_bound(1000, 2000, 1000, style) <= kSvgMaxMemory);
      // The square grid's file is the smallest: it passes at n = 2000.
      const std::string why = svg_size_check(style == 5 ? 3000 : 2000, style == 5 ? 6000 : 4000,
                                             style == 5 ? 3000 : 2000, style);
      QVERIFY2(why.find("SVG picture refused") == 0, why.c_str());
    }
    QVERIFY(!svg_size_check(100000, 200000, 100000, kStyleNoBorders).empty());
    QVERIFY(!svg_size_check(2147483647, 2147483647, 0, kStyleNoBorders).empty());
    QCOMPARE(svg_size_bound(2147483647, 2147483647, 2147483647, kStylePathsBorders), UINT64_MAX);
    QVERIFY(svg_size_check(0, 0, 0, kStyleNoBorders).empty());
  }

  // The real file of a small tiling is far below its bound (the bound is
  // for the worst case, every lozenge a polygon of its own).
  void svg_bound_holds() {
    const PathArray config = uniform_sample(40, 8);
    const Tiling tiling{config, 40, 80, 40};
    QTemporaryDir dir;
    for (StyleNumber style : kAllStyles) {
      const QString file = dir.filePath(QString("t%1.svg").arg(style));
      QVERIFY(
          (write_tiling_picture(PictureFormat::kSvg, file.toStdString(), tiling, {style, kColors},
                                whole_picture(tiling, style, 800)) == WriteStatus::kOk));
      QVERIFY(static_cast<uint64_t>(QFileInfo(file).size()) <= svg_size_bound(40, 80, 40, style));
    }
  }

  // A large tiling is no dark hexagon in any form or style: where its
  // lozenges are a pixel or two, the outlines and path segments have faded
  // and the picture's mean grey is that of the lozenge colours alone
  // (style 1's); the paths of style 5 stay as grey as their crowding makes
  // them, never black. Lozenges of 5 pixels keep black outlines.
  void a_large_tiling_is_no_dark_hexagon_data() {
    QTest::addColumn<int>("form");  // 0 raster (PNG, window), 1 merged canvas (PDF, print), 2 SVG
    QTest::addColumn<int>("style_number");
    const char* forms[] = {"raster", "canvas", "svg"};
    for (int form = 0; form < 3; ++form)
      for (int s = 2; s <= 5; ++s)
        QTest::newRow(qPrintable(QString("%1 style %2").arg(forms[form]).arg(s))) << form << s;
  }
  void a_large_tiling_is_no_dark_hexagon() {
    QFETCH(int, form);
    QFETCH(int, style_number);
    const auto style = static_cast<StyleNumber>(style_number);
    // 120 paths (Qt's SVG reader truncates the paths of larger ones).
    static const PathArray paths = uniform_sample(120, 2);
    const Tiling tiling{paths, 120, 240, 120};
    QTemporaryDir dir;
    auto picture = [&](StyleNumber s, int size) {
      const PictureFrame frame = whole_picture(tiling, s, size);
      if (form == 0) return render_tiling_image(tiling, {s, kColors}, frame);
      if (form == 1) return canvas_picture(tiling, s, frame, true);
      const QString file = dir.filePath("t.svg");
      if (!(write_tiling_picture(PictureFormat::kSvg, file.toStdString(), tiling, {s, kColors},
                                 frame) == WriteStatus::kOk))
        return QImage();
      QImage img(frame.width, frame.height, QImage::Format_RGB32);
      img.fill(Qt::white);
      QPainter painter(&img);
      QSvgRenderer(file).render(&painter);
      return img;
    };
    auto mean_grey = [](const QImage& img) {
      double sum = 0;
      int dark = 0;
      for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
          const int g = qGray(img.pixel(x, y));
          sum += g;
          dark += g < 64;
        }
      return std::make_pair(sum / (255.0 * img.width() * img.height()),
                            static_cast<double>(dark) / (img.width() * img.height()));
    };
    // 320 pixels for 260 lattice units: 1.2 pixels a lozenge side.
    const auto [grey, dark] = mean_grey(picture(style, 320));
    const QString why = QString("mean grey %1, %2 of the pixels dark").arg(grey).arg(dark);
    QVERIFY2(dark < 0.01, qPrintable(why));
    if (style != kStyleZ2) {
      const double plain = mean_grey(picture(kStyleNoBorders, 320)).first;
      QVERIFY2(std::fabs(grey - plain) < 0.01,
               qPrintable(why + QString(", style 1 %1").arg(plain)));
      // 1600 pixels: 6 pixels a side, outlines black again.
      if (style == kStyleBorders && form == 0) {
        const double black = mean_grey(picture(style, 1600)).second;
        QVERIFY2(black > 0.15, qPrintable(QString("%1 of the pixels dark").arg(black)));
      }
    }
    // The rule itself: lines fade in as lozenges grow and widen only past
    // 20 pixels.
    LineLook last{1.0, 0.0};
    for (double unit = 0.5; unit < 200; unit *= 1.1) {
      const LineLook look = line_look(unit);
      QVERIFY(look.darkness >= last.darkness && look.width >= last.width);
      QCOMPARE(look.darkness == 0.0, unit <= 2.0);
      QCOMPARE(look.darkness == 1.0, unit >= 5.0);
      QCOMPARE(look.width == 1.0, unit <= 20.0);
      QVERIFY(line_look(unit, true).darkness >= 0.4);
      last = look;
    }
  }

  // Lines lighter than black darken the pixels under them once: where
  // outlines meet, cross or run side by side the picture holds only the
  // lozenge colours, each either as it is or darkened by the lines' one
  // share. The raster (PNG, window), the canvas on an image, and a PDF
  // page (as poppler draws it without smoothing), with outlines and dashed
  // path segments.
  void light_lines_darken_a_pixel_once_data() {
    QTest::addColumn<int>("form");  // 0 raster, 1 canvas on an image, 2 PDF
    QTest::addColumn<int>("style_number");
    QTest::newRow("raster") << 0 << 4;
    QTest::newRow("canvas") << 1 << 4;
    QTest::newRow("pdf") << 2 << 4;
  }
  void light_lines_darken_a_pixel_once() {
    QFETCH(int, form);
    QFETCH(int, style_number);
    const auto style = static_cast<StyleNumber>(style_number);
    const PathArray paths = uniform_sample(60, 5);
    const Tiling tiling{paths, 60, 120, 60};
    // 3.5 pixels a lozenge side: outlines at about half their darkness,
    // lozenges still crisp (one colour a pixel).
    const PictureFrame frame = whole_picture(tiling, style, 454);
    const double keep = 1.0 - line_look(unit_pixels(frame)).darkness;
    QVERIFY(keep > 0.3 && keep < 0.7);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("t.pdf");
    if (form == 2)
      QVERIFY((write_tiling_picture(PictureFormat::kPdf, pdf.toStdString(), tiling,
                                    {style, kColors}, frame) == WriteStatus::kOk));
    const QImage img = form == 0   ? render_tiling_image(tiling, {style, kColors}, frame)
                       : form == 1 ? canvas_picture(tiling, style, frame, true)
                                   : lozengia::testing::pdf_page(pdf, 72, false);
    QVERIFY2(!img.isNull(), "no picture (is pdftoppm, poppler-utils, there?)");
    std::vector<QRgb> allowed;
    for (Rgb c : {kColors.flat, kColors.rising, kColors.hexagon, kWhite}) {
      const QColor q(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
      allowed.push_back(q.rgb());
      allowed.push_back(
          qRgb(qRound(q.red() * keep), qRound(q.green() * keep), qRound(q.blue() * keep)));
    }
    allowed.push_back(qRgb(0, 0, 0));  // the hexagon's own outline
    int stray = 0, darkened = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const QRgb c = img.pixel(x, y);
        const auto near = [&](QRgb a) {
          return std::abs(qRed(a) - qRed(c)) <= 2 && std::abs(qGreen(a) - qGreen(c)) <= 2 &&
                 std::abs(qBlue(a) - qBlue(c)) <= 2;
        };
        const auto it = std::find_if(allowed.begin(), allowed.end(), near);
        if (it == allowed.end())
          ++stray;
        else if ((it - allowed.begin()) % 2 == 1)
          ++darkened;
      }
    QVERIFY2(stray == 0, qPrintable(QString("%1 pixels of another colour").arg(stray)));
    QVERIFY(darkened > img.width() * img.height() / 10);  // the outlines are there
  }

  // Heights no sampler makes (out of order, far outside the hexagon, the
  // extremes of the type) and shapes larger than the array: drawn without
  // reading or writing out of bounds (the sanitizer build checks this).
  void hostile_heights_draw_safely() {
    PathArray paths(7, 9);
    uint32_t x = 12345;
    for (int32_t t = 0; t <= 9; ++t)
      for (int32_t i = 1; i <= 7; ++i) {
        x = x * 1103515245u + 12345u;
        const int pick = static_cast<int>(x >> 28);
        paths(i, t) = pick == 0   ? INT32_MAX
                      : pick == 1 ? INT32_MIN
                                  : static_cast<int32_t>(x >> 20) - 2048;
      }
    QTemporaryDir dir;
    const Tiling small{paths, 7, 9, 4}, large{paths, 70, 90, 4};
    for (int number = 0; number <= 6; ++number) {
      const auto style = static_cast<StyleNumber>(number);  // 0 and 6 draw style 2
      for (int size : {17, 300}) {
        const PictureFrame frame = whole_picture(small, style, size);
        const QImage img = render_tiling_image(small, {style, kColors}, frame);
        QCOMPARE(img.size(), QSize(frame.width, frame.height));
      }
      const QImage big =
          render_tiling_image(large, {style, kColors}, whole_picture(large, style, 64));
      QVERIFY(!big.isNull());
      const QString file = dir.filePath("h.svg");
      QVERIFY(
          (write_tiling_picture(PictureFormat::kSvg, file.toStdString(), small, {style, kColors},
                                whole_picture(small, style, 100)) == WriteStatus::kOk));
      QVERIFY(
          (write_tiling_picture(PictureFormat::kSvg, file.toStdString(), large, {style, kColors},
                                whole_picture(large, style, 100)) == WriteStatus::kOk));
    }
    // A side S far outside 0..T: no endless loop over grid rows.
    const Tiling wide{paths, 7, 9, INT32_MAX}, negative{paths, 7, 9, INT32_MIN};
    for (StyleNumber style : kAllStyles) {
      QVERIFY(
          !render_tiling_image(wide, {style, kColors}, whole_picture(wide, style, 40)).isNull());
      QVERIFY((write_tiling_picture(PictureFormat::kSvg, dir.filePath("s.svg").toStdString(),
                                    negative, {style, kColors},
                                    whole_picture(negative, style, 40)) == WriteStatus::kOk));
    }
    // A view 6 units across: lines 2.5 pixels wide (solid and dashed).
    for (StyleNumber style : kAllStyles)
      QVERIFY(!render_tiling_image(small, {style, kColors}, {{0.0, -3.0, 6.0, 3.0}, 300, 300})
                   .isNull());
    const WorldRect inverted{5.0, 5.0, -5.0, -5.0}, empty{1.0, 1.0, 1.0, 1.0};
    QVERIFY(!render_tiling_image(small, {kStyleNoBorders, kColors}, {inverted, 50, 50}).isNull());
    QVERIFY(!render_tiling_image(small, {kStyleNoBorders, kColors}, {empty, 50, 50}).isNull());
  }
};

QTEST_GUILESS_MAIN(RasterTest)
#include "test_raster.moc"
