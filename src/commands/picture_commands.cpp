#include "commands/picture_commands.h"

#include <new>

#include "commands/dialog_ids.h"
#include "commands/program.h"
#include "platform/dialog.h"
#include "platform/image_saving.h"
#include "platform/platform.h"
#include "platform/settings.h"
#include "render/output_file.h"
#include "render/output_target.h"
#include "render/pp_writer.h"
#include "render/report_file.h"

namespace lozengia {

using namespace dialog_ids;

void PictureCommands::draw(int unit) {
  program_.platform().windows().show_tiling(unit, program_.snapshot());
}

void PictureCommands::show_tiling() {
  Platform& platform = program_.platform();
  Dialog d(kDialogStyle, platform.frame());
  if (!d.loaded()) return;
  const StyleNumber current = program_.style();
  d.set_checked(kFirstStyle + current - 1, true);
  d.set_checked(kNewWindow, false);
  d.run();  // however it was closed, the choice applies
  StyleNumber chosen = current;
  for (int32_t k = kStyleNoBorders; k <= kStyleZ2; ++k)
    if (d.checked(kFirstStyle + k - 1)) chosen = static_cast<StyleNumber>(k);
  {
    SharedState& state = program_.state();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.style = chosen;
  }
  platform.settings().set(setting::kStyle, chosen);
  if (d.checked(kNewWindow)) platform.windows().open_picture_window("Lozengia");
  platform.windows().focus(kPictureUnit);
  draw(kPictureUnit);
}

void PictureCommands::export_to_file() {
  const std::optional<std::string> name = program_.platform().dialogs().ask_save_file_name();
  if (!name || name->empty()) return;
  // Sampling appends its overflow report to that file in the working folder:
  // a plane partition written there would get report lines mixed into it.
  if (same_output(*name, kOverflowReportFile)) {
    program_.line(std::string(write_status_message(WriteStatus::kOpenError)) + ' ' + *name +
                  ": the overflow report (" + kOverflowReportFile +
                  ") is written there; choose another name.");
    return;
  }
  // The paths are copied under the lock and the text streamed from the copy
  // (a partition's text can be far larger than the paths).
  PathArray paths;
  int32_t S = 0;
  try {
    SharedState& state = program_.state();
    std::lock_guard<std::mutex> lock(state.mutex);
    paths = state.hex.paths;
    S = state.hex.params.S;
  } catch (const std::bad_alloc&) {
    program_.line("Not enough memory to export the plane partition");
    return;
  }
  const WriteStatus status = export_plane_partition(*name, paths, S);
  if (status != WriteStatus::kOk) program_.line(save_failure_text(status, *name));
}

}  // namespace lozengia
