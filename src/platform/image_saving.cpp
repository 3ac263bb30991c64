#include "platform/image_saving.h"

#include "platform/picture_window.h"
#include "render/picture_files.h"
#include "render/svg_tiling.h"

namespace lozengia {

namespace {
struct Kind {
  ImageType type;
  const char* suffix;
  const char* filter;
};
constexpr Kind kKinds[] = {
    {ImageType::kPng, ".png", "PNG image (*.png)"},
    {ImageType::kBmp, ".bmp", "BMP image (*.bmp)"},
    {ImageType::kSvg, ".svg", "SVG drawing (*.svg)"},
    {ImageType::kPdf, ".pdf", "PDF document (*.pdf)"},
};
}  // namespace

QStringList image_filters() {
  QStringList l;
  for (const Kind& k : kKinds) l << k.filter;
  return l;
}

ImageTarget image_target(const QString& name, const QString& chosen_filter) {
  for (const Kind& k : kKinds)
    if (name.endsWith(k.suffix, Qt::CaseInsensitive)) return {name, k.type};
  for (const Kind& k : kKinds)
    if (chosen_filter == k.filter) return {name + k.suffix, k.type};
  return {name + ".png", ImageType::kPng};
}

std::string image_refusal(const ImageTarget& target, const TilingSnapshot& t) {
  if (target.type != ImageType::kSvg) return {};
  return svg_size_check(t.N, t.T, t.S, t.style);
}

bool save_tiling_image(const ImageTarget& target, const TilingSnapshot& t, int size_px) {
  const std::string path = target.path.toStdString();
  const PictureFrame frame = whole_picture(t.tiling(), t.style, size_px);
  switch (target.type) {
    case ImageType::kPng:
      return write_tiling_png(path, t.tiling(), t.picture_style(), frame);
    case ImageType::kBmp:
      return write_tiling_bmp(path, t.tiling(), t.picture_style(), frame);
    case ImageType::kSvg:
      return write_tiling_svg(path, t.tiling(), t.picture_style(), frame);
    case ImageType::kPdf:
      return write_tiling_pdf(path, t.tiling(), t.picture_style(), frame);
  }
  return false;
}

}  // namespace lozengia
