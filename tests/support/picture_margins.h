// Where a picture's drawing lies on its image: the white margins on each
// side of everything that is not white, to check that a picture is centred.
// A PDF page is first rasterised by poppler's pdftoppm (poppler-utils,
// which scripts/install-deps.sh installs). For the Qt tests only.
#pragma once

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>

namespace lozengia::testing {

struct Margins {
  int left = -1, right = -1, top = -1, bottom = -1;  // -1: nothing drawn
  bool drawn() const { return left >= 0; }
  // Opposite sides differ by at most `slack` pixels.
  bool centred(int slack = 1) const {
    return drawn() && std::abs(left - right) <= slack && std::abs(top - bottom) <= slack;
  }
};

inline Margins ink_margins(const QImage& image) {
  const QImage img = image.convertToFormat(QImage::Format_RGB32);
  int x0 = img.width(), x1 = -1, y0 = img.height(), y1 = -1;
  for (int y = 0; y < img.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    for (int x = 0; x < img.width(); ++x)
      if ((row[x] & 0xFFFFFF) != 0xFFFFFF) {
        x0 = std::min(x0, x), x1 = std::max(x1, x);
        y0 = std::min(y0, y), y1 = std::max(y1, y);
      }
  }
  if (x1 < 0) return {};
  return {x0, img.width() - 1 - x1, y0, img.height() - 1 - y1};
}

inline QString describe(const Margins& m) {
  return QString("margins left %1, right %2, top %3, bottom %4")
      .arg(m.left)
      .arg(m.right)
      .arg(m.top)
      .arg(m.bottom);
}

// The first page of `pdf` rasterised at `dpi` dots per inch (72: a pixel a
// point), smoothed or (`smooth` false) not; a null image when pdftoppm is
// missing or fails.
inline QImage pdf_page(const QString& pdf, int dpi = 72, bool smooth = true) {
  QTemporaryDir dir;
  QProcess p;
  QStringList args{"-r", QString::number(dpi), "-f", "1", "-l", "1", "-singlefile", "-png"};
  if (!smooth)
    args << "-aa"
         << "no"
         << "-aaVector"
         << "no";
  p.start("pdftoppm", args << pdf << dir.filePath("page"));
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
    return {};
  return QImage(dir.filePath("page.png"));
}

}  // namespace lozengia::testing
