#include "cli/run_outputs.h"

#include <utility>

#include "cli/run_plan.h"
#include "core/plane_partition.h"
#include "render/picture_files.h"
#include "render/pp_writer.h"
#include "render/svg_tiling.h"

namespace lozengia {

namespace {

const std::pair<std::string CliOptions::*, PictureFormat> kPictures[] = {
    {&CliOptions::png_path, PictureFormat::kPng},
    {&CliOptions::svg_path, PictureFormat::kSvg},
};

}  // namespace

RunOutputs::RunOutputs(const CliOptions& o) : o_(o), style_(o.style) {
  const bool pictures = !o.png_path.empty() || !o.svg_path.empty();
  if (pictures) {
    colors_ = load_color_config();
    if (style_ == 0) style_ = colors_.style;
  }
  to_export_ = !o.export_path.empty() || !pictures;
  export_path_ = o.export_path.empty() ? "-" : o.export_path;
}

std::string RunOutputs::svg_refusal() const {
  if (o_.svg_path.empty()) return {};
  const HexagonParams& p = o_.params;
  return svg_size_check(p.N, p.T, p.S, style_);
}

std::string RunOutputs::open() {
  // The pictures are only checked: their files are written one by one later.
  for (const auto& [member, format] : kPictures) {
    const std::string& path = o_.*member;
    if (path.empty()) continue;
    const std::string first = numbered(path, 0, o_.count);
    if (output_kind(first) == OutputKind::kRefused)
      return write_status_message(WriteStatus::kOpenError) + (' ' + first);
  }
  // The export is opened at once: standard output, a pipe or a device is
  // written straight away; a file through a temporary file, which replaces it
  // when the run has ended well (an interrupted run removes it).
  if (to_export_) {
    if (const WriteStatus ws = export_.open(export_path_); ws != WriteStatus::kOk)
      return write_status_message(ws);
  }
  return {};
}

std::string RunOutputs::add(int64_t index, const PathArray& result) {
  const HexagonParams& p = o_.params;
  if (to_export_) {
    if (index > 0) text_ += '\n';
    append_plane_partition(text_, to_plane_partition(result, p.N, p.T, p.S));
  }
  for (const auto& [member, format] : kPictures) {
    const std::string& path = o_.*member;
    if (path.empty()) continue;
    const std::string name = numbered(path, index, o_.count);
    const Tiling tiling{result, p.N, p.T, p.S};
    const WriteStatus ws = write_tiling_picture(format, name, tiling, {style_, colors_.colors},
                                                whole_picture(tiling, style_, o_.size_px));
    if (ws != WriteStatus::kOk) return write_status_message(ws) + (' ' + name);
  }
  return {};
}

std::string RunOutputs::write_batch() {
  if (!to_export_) return {};
  const bool written = export_.write(text_);
  text_.clear();
  return written ? std::string() : write_status_message(WriteStatus::kWriteError);
}

std::string RunOutputs::commit() {
  if (!to_export_) return {};
  const WriteStatus ws = export_.commit();
  return ws == WriteStatus::kOk ? std::string() : write_status_message(ws);
}

}  // namespace lozengia
