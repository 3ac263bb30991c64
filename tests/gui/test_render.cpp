// Pictures as files and the colour file: pixel colours of known small
// configurations in every style, the SVG's lozenges, and the parsing of
// config.cfg in its good and bad forms.
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

#include "../support/files.h"
#include "../support/picture_margins.h"
#include "../support/temp_dir.h"
#include "core/hexagon.h"
#include "render/picture_files.h"
#include "render/tiling.h"

using namespace lozengia;

namespace {

constexpr Rgb kFlat = 0x20C040;  // distinct from the defaults on purpose
constexpr Rgb kRising = 0x4020E0;
constexpr Rgb kHexagon = 0xA0A0A0;
const LozengeColors kColors{kFlat, kRising, kHexagon};
constexpr int kSize = 1200;

QRgb qrgb(Rgb c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// The whole picture of the hexagon, `size` pixels on its long side.
PictureFrame frame_of(const PathArray& p, int32_t N, int32_t T, int32_t S, StyleNumber style,
                      int size = kSize) {
  return whole_picture(Tiling{p, N, T, S}, style, size);
}

// Pixel of world point (x, y) in the frame's picture, y growing upwards.
QPoint to_pixel(double x, double y, const PictureFrame& f) {
  const WorldRect& w = f.world;
  return {static_cast<int>((x - w.x1) / (w.x2 - w.x1) * f.width),
          static_cast<int>((w.y2 - y) / (w.y2 - w.y1) * f.height)};
}

QImage png_of(const PathArray& p, int32_t N, int32_t T, int32_t S, StyleNumber style,
              int size = kSize) {
  QTemporaryDir dir;
  const QString path = dir.filePath("t.png");
  const Tiling tiling{p, N, T, S};
  if (!(write_tiling_picture(PictureFormat::kPng, path.toStdString(), tiling, {style, kColors},
                             whole_picture(tiling, style, size)) == WriteStatus::kOk))
    return {};
  QImage img(path);
  return img.convertToFormat(QImage::Format_RGB32);
}

int count_color(const QImage& img, QRgb c) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if ((img.pixel(x, y) & 0xFFFFFF) == (c & 0xFFFFFF)) ++n;
  return n;
}

bool black_near(const QImage& img, QPoint p, int r = 1) {
  for (int dy = -r; dy <= r; ++dy)
    for (int dx = -r; dx <= r; ++dx)
      if ((img.pixel(p.x() + dx, p.y() + dy) & 0xFFFFFF) == 0) return true;
  return false;
}

// Black pixels within 2 pixels of the path segment across the flat lozenge of
// the N=1, T=2, S=1 picture (frame f), away from the segment's ends.
int segment_pixels(const QImage& img, const PictureFrame& f) {
  const int x0 = to_pixel(0.1, 0, f).x(), x1 = to_pixel(0.77, 0, f).x();
  int n = 0;
  for (int px = x0; px <= x1; ++px) {
    const double x = f.world.x1 + (px + 0.5) / f.width * (f.world.x2 - f.world.x1);
    const int py = to_pixel(x, 0.5 - x / std::sqrt(3.0), f).y();
    for (int dy = -2; dy <= 2; ++dy)
      if ((img.pixel(px, py + dy) & 0xFFFFFF) == 0) ++n;
  }
  return n;
}

}  // namespace

class RenderTest : public QObject {
  Q_OBJECT

 private slots:
  // N=1, T=2, S=1 in its minimal configuration: path heights 0, 0, 1, so one
  // flat lozenge (slice 0), one rising lozenge (slice 1) and the third lozenge
  // on top that only the hexagon colour fills.
  void lozenge_styles_show_their_colours_data() {
    QTest::addColumn<int>("style_number");
    for (int s = 1; s <= 4; ++s) QTest::newRow(qPrintable(QString("style %1").arg(s))) << s;
  }
  void lozenge_styles_show_their_colours() {
    QFETCH(int, style_number);
    const auto style = static_cast<StyleNumber>(style_number);
    Hexagon h;
    QVERIFY(set_hexagon(h, HexagonParams{1, 2, 1, {}}).empty());
    const QImage img = png_of(h.paths, 1, 2, 1, style);
    const PictureFrame f = frame_of(h.paths, 1, 2, 1, style);
    QCOMPARE(img.size(), QSize(f.width, f.height));
    auto at = [&](double x, double y) { return img.pixel(to_pixel(x, y, f)) & 0xFFFFFF; };
    // Inside each lozenge, away from its edges and from the path segment.
    QCOMPARE(at(0.25, 0.7), qrgb(kFlat) & 0xFFFFFF);
    QCOMPARE(at(1.3, 0.6), qrgb(kRising) & 0xFFFFFF);
    QCOMPARE(at(0.866, 1.1), qrgb(kHexagon) & 0xFFFFFF);
    QCOMPARE(at(-0.05, 0.5), qRgb(255, 255, 255) & 0xFFFFFF);

    const bool outlines = style == 2 || style == 4;
    const bool segments = style == 3 || style == 4;
    // Left side of the hexagon at x = 0.
    QCOMPARE(black_near(img, to_pixel(0.0, 0.3, f)), outlines);
    // The path crosses the flat lozenge from (0, 0.5) to (0.866, 0).
    QCOMPARE(segment_pixels(img, f) > 0, segments);
  }

  void dashed_segments_have_gaps() {
    Hexagon h;
    QVERIFY(set_hexagon(h, HexagonParams{1, 2, 1, {}}).empty());
    const int solid = segment_pixels(png_of(h.paths, 1, 2, 1, kStylePaths),
                                     frame_of(h.paths, 1, 2, 1, kStylePaths));
    const int dashed = segment_pixels(png_of(h.paths, 1, 2, 1, kStylePathsBorders),
                                      frame_of(h.paths, 1, 2, 1, kStylePathsBorders));
    // 0xECCC sets 9 of its 16 bits.
    QVERIFY2(solid > 20, qPrintable(QString::number(solid)));
    QVERIFY2(dashed > solid * 4 / 10 && dashed < solid * 8 / 10,
             qPrintable(QString("%1 of %2").arg(dashed).arg(solid)));
  }

  void minimal_configuration_at_s0_is_all_flat_data() {
    QTest::addColumn<int>("style_number");
    for (int s = 1; s <= 4; ++s) QTest::newRow(qPrintable(QString("style %1").arg(s))) << s;
  }
  void minimal_configuration_at_s0_is_all_flat() {
    QFETCH(int, style_number);
    const auto style = static_cast<StyleNumber>(style_number);
    Hexagon h;
    QVERIFY(set_hexagon(h, HexagonParams{6, 9, 0, {}}).empty());
    const QImage img = png_of(h.paths, 6, 9, 0, style, 400);
    QCOMPARE(count_color(img, qrgb(kRising)), 0);
    QVERIFY(count_color(img, qrgb(kFlat)) > 1000);
    // Inside the parallelogram the flat lozenges cover the hexagon colour.
    QCOMPARE(img.pixel(to_pixel(2.1, 2.55, frame_of(h.paths, 6, 9, 0, style, 400))) & 0xFFFFFF,
             qrgb(kFlat) & 0xFFFFFF);
  }

  void z2_style_draws_grid_dots_and_paths() {
    Hexagon h;
    QVERIFY(set_hexagon(h, HexagonParams{1, 2, 1, {}}).empty());
    const int size = 800;
    const QImage img = png_of(h.paths, 1, 2, 1, kStyleZ2, size);
    const PictureFrame f = frame_of(h.paths, 1, 2, 1, kStyleZ2, size);
    auto px = [&](double x, double y) { return to_pixel(x, y, f); };
    // Grid point (0, 1) is off the path: a hexagon-coloured pixel.
    QCOMPARE(img.pixel(px(0.0, 1.0)) & 0xFFFFFF, qrgb(kHexagon) & 0xFFFFFF);
    // The path goes (0,0) -> (1,0) -> (2,1), with dots at its points.
    QVERIFY(black_near(img, px(0.5, 0.0)));
    QVERIFY(black_near(img, px(1.5, 0.5)));
    QVERIFY(black_near(img, px(2.0, 1.0)));
    QVERIFY(!black_near(img, px(0.5, 1.0), 2));
    QCOMPARE(count_color(img, qrgb(kFlat)), 0);
  }

  void svg_holds_one_path_per_colour() {
    Hexagon h;
    QVERIFY(set_hexagon(h, HexagonParams{3, 5, 2, {}}).empty());
    QTemporaryDir dir;
    const QString path = dir.filePath("t.svg");
    const Tiling tiling{h.paths, 3, 5, 2};
    QVERIFY((write_tiling_picture(
                 PictureFormat::kSvg, path.toStdString(), tiling, {kStyleNoBorders, kColors},
                 whole_picture(tiling, kStyleNoBorders, 300)) == WriteStatus::kOk));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString svg = QString::fromUtf8(f.readAll());
    QVERIFY(svg.startsWith("<?xml"));
    // Style 1: one path per colour (the hexagon, the flat lozenges, the
    // rising ones), nothing else; their areas are checked in test_raster.cpp.
    QCOMPARE(svg.count("<path"), 3);
    QCOMPARE(svg.count("fill=\"#40c020\""), 1);
    QCOMPARE(svg.count("fill=\"#e02040\""), 1);
  }

  // A write that fails part-way (a file size limit stands in for a disk that
  // fills up) is reported, and the file the user chose keeps its old contents.
  void failed_picture_write_reports_it_and_keeps_old_file() {
    Hexagon h;
    QVERIFY(set_hexagon(h, HexagonParams{6, 12, 5, {}}).empty());
    const Tiling tiling{h.paths, 6, 12, 5};
    const PictureStyle style{kStyleBorders, kColors};
    QVERIFY(!(write_tiling_picture(PictureFormat::kPng, "/nonexistent-dir/x.png", tiling, style,
                                   whole_picture(tiling, kStyleBorders, 100)) == WriteStatus::kOk));
    QVERIFY(!(write_tiling_picture(PictureFormat::kSvg, "/nonexistent-dir/x.svg", tiling, style,
                                   whole_picture(tiling, kStyleBorders, 100)) == WriteStatus::kOk));
    const rlim_t limit_bytes = 200;  // the merged SVG of this frozen tiling is small
    const std::string old = "the user's old picture, which must survive";
    lozengia::testing::TempDir dir("lozengia-render");
    for (const bool png : {true, false}) {
      const std::string path = (dir / (png ? "x.png" : "x.svg")).string();
      auto write = [&](int size) {
        const PictureFrame frame = whole_picture(tiling, kStyleBorders, size);
        return png ? (write_tiling_picture(PictureFormat::kPng, path, tiling, style, frame) ==
                      WriteStatus::kOk)
                   : (write_tiling_picture(PictureFormat::kSvg, path, tiling, style, frame) ==
                      WriteStatus::kOk);
      };
      lozengia::testing::write_file(path, old);
      {
        lozengia::testing::FileSizeLimit limit(limit_bytes);
        QVERIFY(limit.active());
        QVERIFY2(!write(400), "a write cut short was reported as done");
      }
      QCOMPARE(lozengia::testing::read_file(path), old);
      QVERIFY(!write(0));  // no picture of size 0
      QCOMPARE(lozengia::testing::read_file(path), old);
      // Without the limit the same picture is written, and it is larger than
      // the limit: the refused write above really was cut short.
      QVERIFY(write(400));
      QVERIFY(lozengia::testing::read_file(path).size() > limit_bytes);
    }
    QCOMPARE(dir.entries(), std::size_t{2});  // no temporary file left behind
  }

  void degenerate_hexagons_draw_without_trouble() {
    // T = 0: no lozenges at all, only the hexagon's side.
    Hexagon h;
    QVERIFY(set_hexagon(h, HexagonParams{3, 0, 0, {}}).empty());
    for (StyleNumber style : kAllStyles) {
      const QImage img = png_of(h.paths, 3, 0, 0, style, 200);
      QVERIFY(!img.isNull());
      QCOMPARE(count_color(img, qrgb(kFlat)), 0);
    }
  }

  // Every picture file shows the whole drawing centred to a pixel, with an
  // even margin on every side, `size` pixels (points) on its long side and
  // the other side following the drawing's aspect: hexagons wider than tall
  // and taller than wide, the degenerate ones, the square grid.
  void every_picture_file_is_centred_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("N");
    QTest::addColumn<int>("T");
    QTest::addColumn<int>("S");
    QTest::addColumn<int>("style_number");
    const int png = int(PictureFormat::kPng);
    QTest::newRow("png regular") << png << 30 << 60 << 30 << 2;
    QTest::newRow("png wide") << png << 2 << 40 << 20 << 1;
    QTest::newRow("png tall") << png << 40 << 6 << 3 << 4;
    QTest::newRow("png S = 0") << png << 6 << 9 << 0 << 2;
    QTest::newRow("png S = T") << png << 6 << 9 << 9 << 3;
    QTest::newRow("png grid") << png << 10 << 20 << 7 << 5;
    QTest::newRow("bmp") << int(PictureFormat::kBmp) << 30 << 60 << 30 << 2;
    QTest::newRow("svg") << int(PictureFormat::kSvg) << 30 << 60 << 30 << 2;
    QTest::newRow("svg grid") << int(PictureFormat::kSvg) << 10 << 20 << 7 << 5;
    QTest::newRow("pdf") << int(PictureFormat::kPdf) << 30 << 60 << 30 << 2;
  }
  void every_picture_file_is_centred() {
    QFETCH(int, format);
    QFETCH(int, N);
    QFETCH(int, T);
    QFETCH(int, S);
    QFETCH(int, style_number);
    const auto style = static_cast<StyleNumber>(style_number);
    Hexagon h;
    QVERIFY(set_hexagon(h, HexagonParams{N, T, S, {}}).empty());
    const Tiling tiling{h.paths, N, T, S};
    const int size = 401;
    QTemporaryDir dir;
    const QString path = dir.filePath("t");
    QCOMPARE(write_tiling_picture(PictureFormat(format), path.toStdString(), tiling,
                                  {style, kColors}, whole_picture(tiling, style, size)),
             WriteStatus::kOk);
    QImage img;
    if (format == int(PictureFormat::kSvg)) {
      QSvgRenderer svg(path);
      QVERIFY(svg.isValid());
      img = QImage(svg.defaultSize(), QImage::Format_RGB32);
      img.fill(Qt::white);
      QPainter painter(&img);
      svg.render(&painter);
    } else if (format == int(PictureFormat::kPdf)) {
      img = lozengia::testing::pdf_page(path);
      QVERIFY2(!img.isNull(), "pdftoppm (poppler-utils) could not rasterise the page");
    } else {
      img = QImage(path);
    }
    QCOMPARE(std::max(img.width(), img.height()), size);
    const lozengia::testing::Margins m = lozengia::testing::ink_margins(img);
    const QString why =
        lozengia::testing::describe(m) + QString(" on %1 x %2").arg(img.width()).arg(img.height());
    QVERIFY2(m.centred(), qPrintable(why));
    // The same margin across and along: the picture is as wide as the
    // drawing asks, not square.
    QVERIFY2(std::abs(m.left - m.top) <= 2, qPrintable(why));
    QVERIFY2(m.left >= size / 50 && m.left <= size / 20, qPrintable(why));
  }
};

QTEST_GUILESS_MAIN(RenderTest)
#include "test_render.moc"
