#include "platform/image_saving.h"

#include "core/memory_limit.h"
#include "platform/picture_window.h"
#include "render/picture_files.h"
#include "render/svg_tiling.h"

namespace lozengia {

namespace {
struct Kind {
  PictureFormat format;
  const char* suffix;
  const char* filter;
};
constexpr Kind kKinds[] = {
    {PictureFormat::kPng, ".png", "PNG image (*.png)"},
    {PictureFormat::kBmp, ".bmp", "BMP image (*.bmp)"},
    {PictureFormat::kSvg, ".svg", "SVG drawing (*.svg)"},
    {PictureFormat::kPdf, ".pdf", "PDF document (*.pdf)"},
};

}  // namespace

QStringList image_filters() {
  QStringList l;
  for (const Kind& k : kKinds) l << k.filter;
  return l;
}

ImageTarget image_target(const QString& name, const QString& chosen_filter) {
  for (const Kind& k : kKinds)
    if (name.endsWith(k.suffix, Qt::CaseInsensitive)) return {name, k.format};
  for (const Kind& k : kKinds)
    if (chosen_filter == k.filter) return {name + k.suffix, k.format};
  return {name + ".png", PictureFormat::kPng};
}


std::string image_refusal(const ImageTarget& target, const TilingSnapshot& t, int size_px) {
  if (target.format == PictureFormat::kSvg)
    if (std::string why = svg_size_check(t.N, t.T, t.S, t.style); !why.empty()) return why;
  const MemoryNeed need = picture_file_need(target.format, t.tiling(), t.picture_style(),
                                            whole_picture(t.tiling(), t.style, size_px));
  return memory_refusal(need, 0, "Not enough memory for this picture");
}

WriteStatus save_tiling_image(const ImageTarget& target, const TilingSnapshot& t, int size_px) {
  return write_tiling_picture(target.format, target.path.toStdString(), t.tiling(),
                              t.picture_style(), whole_picture(t.tiling(), t.style, size_px));
}

std::string save_failure_text(const WriteStatus& status, const std::string& name) {
  std::string text = write_failure_text(status, name);
  // The command-line tool offers --in-place here; the desktop program writes
  // nothing it could not put back, so the way out is another folder.
  if (status.refused_in_place())
    text += "; save it in a folder you may write to (or make room for the copy in $TMPDIR)";
  return text;
}

}  // namespace lozengia
