#include "cli/run_outputs.h"

#include <ostream>
#include <utility>

#include "cli/run_plan.h"
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

RunOutputs::RunOutputs(const CliOptions& o) : o_(o), style_(static_cast<StyleNumber>(o.style)) {
  const bool pictures = !o.png_path.empty() || !o.svg_path.empty();
  if (pictures) {
    colors_ = load_color_config();
    if (style_ == 0) style_ = colors_.style;
  }
  to_export_ = !o.export_path.empty() || !pictures;
  export_path_ = o.export_path.empty() ? "-" : o.export_path;
  write_options_.in_place_without_copy = o.in_place;
}

std::string RunOutputs::failure(const WriteStatus& status, const std::string& name) const {
  std::string text = write_failure_text(status, name == "-" ? "(standard output)" : name);
  if (status.refused_in_place()) text += "; --in-place writes it all the same, without a copy";
  return text;
}

std::string RunOutputs::svg_refusal() const {
  if (o_.svg_path.empty()) return {};
  const HexagonParams& p = o_.params;
  return svg_size_check(p.N, p.T, p.S, style_);
}

int RunOutputs::open_or_refuse(std::ostream& err) {
  if (const std::string failed = open(); !failed.empty()) {
    err << failed << '\n';
    return 1;
  }
  if (const std::string why = svg_refusal(); !why.empty()) {
    err << why << '\n';
    return 2;
  }
  return 0;
}

std::string RunOutputs::open() {
  // A picture file is only checked here: the files are written one by one
  // later, each replaced whole (or written in place with a copy kept).
  for (std::size_t k = 0; k < std::size(kPictures); ++k) {
    const std::string& path = o_.*kPictures[k].first;
    if (path.empty()) continue;
    if (output_kind(path) == OutputKind::kStream) {
      if (const WriteStatus status = picture_streams_[k].open(path); status != WriteStatus::kOk)
        return failure(status, path);
      continue;
    }
    const std::string first = numbered(path, 0, o_.count);
    if (const WriteStatus status = check_output(first, write_options_); status != WriteStatus::kOk)
      return failure(status, first);
  }
  // The export is opened at once: standard output, a pipe or a device is
  // written straight away; a file through a temporary file, which replaces it
  // when the run has ended well (an interrupted run removes it).
  if (to_export_) {
    if (const WriteStatus status = export_.open(export_path_, write_options_);
        status != WriteStatus::kOk)
      return failure(status, export_path_);
  }
  return {};
}

std::string RunOutputs::add(int64_t index, const PathArray& result) {
  const HexagonParams& p = o_.params;
  if (to_export_) {
    // Streamed row by row: the export's memory does not grow with its size.
    bool written = index == 0 || export_.write("\n", 1);
    written =
        written && stream_plane_partition(result, p.S, [&](const char* data, std::size_t size) {
          return export_.write(data, size);
        });
    if (!written) return failure(export_.failure(), export_path_);
  }
  for (std::size_t k = 0; k < std::size(kPictures); ++k) {
    const auto& [member, format] = kPictures[k];
    const std::string& path = o_.*member;
    if (path.empty()) continue;
    const bool stream = picture_streams_[k].is_open();
    const std::string name = stream ? path : numbered(path, index, o_.count);
    const Tiling tiling{result, p.N, p.T, p.S};
    const WriteStatus status = write_tiling_picture(
        format, stream ? picture_streams_[k].name() : name, tiling, {style_, colors_.colors},
        whole_picture(tiling, style_, o_.size_px), write_options_);
    if (status != WriteStatus::kOk) return failure(status, name);
  }
  return {};
}

std::string RunOutputs::commit() {
  if (!to_export_) return {};
  const WriteStatus status = export_.commit();
  return status == WriteStatus::kOk ? std::string() : failure(status, export_path_);
}

}  // namespace lozengia
