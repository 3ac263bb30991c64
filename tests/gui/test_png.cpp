// The PNG encoder against Qt's decoder: every picture it writes, in any
// number of bands, reads back as the same pixels.
#include <QImage>
#include <QtTest>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "render/png_encoder.h"

using namespace lozengia;

namespace {

// A picture of width x height in rows of `stride` pixels, its alpha bytes
// set to garbage (the encoder must ignore them).
struct Picture {
  int width, height, stride;
  std::vector<uint32_t> pixels;
};

Picture noise(int width, int height, int stride, uint32_t seed) {
  Picture p{width, height, stride,
            std::vector<uint32_t>(static_cast<std::size_t>(stride) * height)};
  std::mt19937 gen(seed);
  for (auto& px : p.pixels) px = gen();
  return p;
}

// Flat colours with sharp edges and gradients, as the tilings have: every
// filter wins somewhere.
Picture shapes(int width, int height) {
  Picture p{width, height, width, std::vector<uint32_t>(static_cast<std::size_t>(width) * height)};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint32_t c = ((x / 7 + y / 5) % 3 == 0) ? 0xff2040c0u : 0xffe0e0d0u;
      if (x > width / 2)
        c = 0xff000000u | static_cast<uint32_t>((x * 3) & 255) << 16 |
            static_cast<uint32_t>((y * 5) & 255) << 8 | 0x40u;
      if ((x + y) % 11 == 0) c = 0x7f102030u;
      p.pixels[static_cast<std::size_t>(y) * width + x] = c;
    }
  return p;
}

std::string encode(const Picture& p, unsigned threads) {
  return encode_png({p.pixels.data(), p.width, p.height, p.stride}, threads);
}

// Whether the PNG decodes to the picture's colours, pixel by pixel.
bool reads_back(const std::string& png, const Picture& p) {
  QImage img;
  if (!img.loadFromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()),
                        "PNG"))
    return false;
  img = img.convertToFormat(QImage::Format_RGB32);
  if (img.width() != p.width || img.height() != p.height) return false;
  for (int y = 0; y < p.height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(img.constScanLine(y));
    for (int x = 0; x < p.width; ++x)
      if ((row[x] & 0xffffffu) !=
          (p.pixels[static_cast<std::size_t>(y) * p.stride + x] & 0xffffffu))
        return false;
  }
  return true;
}

}  // namespace

class PngTest : public QObject {
  Q_OBJECT

 private slots:
  void reads_back_as_the_same_pixels_in_any_number_of_bands() {
    struct Size {
      int w, h, stride;
    };
    const Size sizes[] = {{1, 1, 1},       {1, 300, 1},  {300, 1, 300}, {3, 200, 5},
                          {257, 131, 260}, {64, 64, 64}, {70, 1000, 71}};
    uint32_t seed = 1;
    for (const Size& s : sizes)
      for (unsigned threads : {1u, 2u, 3u, 7u, 64u}) {
        const Picture p = noise(s.w, s.h, s.stride, seed++);
        QVERIFY2(reads_back(encode(p, threads), p),
                 qPrintable(QString("noise %1x%2, %3 threads").arg(s.w).arg(s.h).arg(threads)));
      }
    for (unsigned threads : {1u, 2u, 5u}) {
      const Picture p = shapes(640, 480);
      QVERIFY2(reads_back(encode(p, threads), p), qPrintable(QString("%1 threads").arg(threads)));
    }
  }

  void compresses_flat_pictures_and_gives_the_same_bytes_again() {
    const Picture p = shapes(800, 600);
    const std::string a = encode(p, 2), b = encode(p, 2);
    QCOMPARE(a, b);
    // Raw RGB would be 1.44 MB; flat colours compress far below that.
    QVERIFY(a.size() < 200000);
    QCOMPARE(a.substr(0, 8), std::string("\x89PNG\r\n\x1a\n"));
  }

  void tells_the_pixel_density_when_given() {
    Picture p = shapes(40, 30);
    const std::string png = encode_png({p.pixels.data(), p.width, p.height, p.stride, 3937, 2835});
    QImage img;
    QVERIFY(img.loadFromData(reinterpret_cast<const uchar*>(png.data()),
                             static_cast<int>(png.size()), "PNG"));
    QCOMPARE(img.dotsPerMeterX(), 3937);
    QCOMPARE(img.dotsPerMeterY(), 2835);
    QVERIFY(reads_back(png, p));
    QVERIFY(encode(p, 1).find("pHYs") == std::string::npos);
  }

  void an_empty_picture_gives_nothing() {
    const uint32_t px = 0;
    QVERIFY(encode_png({&px, 0, 10, 0}).empty());
    QVERIFY(encode_png({&px, 10, 0, 10}).empty());
    QVERIFY(encode_png({nullptr, 10, 10, 10}).empty());
  }
};

QTEST_GUILESS_MAIN(PngTest)
#include "test_png.moc"
