#include "commands/picture_commands.h"

#include "commands/dialog_ids.h"
#include "commands/program.h"
#include "core/plane_partition.h"
#include "platform/dialog.h"
#include "platform/platform.h"
#include "platform/settings.h"
#include "render/pp_writer.h"

namespace lozengia {

using namespace dialog_ids;

void PictureCommands::draw(int unit) { program_.platform().show_tiling(unit, program_.snapshot()); }

void PictureCommands::show_tiling() {
  Platform& platform = program_.platform();
  Dialog d(kDialogStyle, platform.frame());
  if (!d.loaded()) return;
  const int32_t current = program_.style();
  d.set_checked(kFirstStyle + current - 1, true);
  d.set_checked(kNewWindow, false);
  d.run();  // however it was closed, the choice applies
  int32_t chosen = current;
  for (int32_t k = 1; k <= 5; ++k)
    if (d.checked(kFirstStyle + k - 1)) chosen = k;
  {
    SharedState& st = program_.state();
    std::lock_guard<std::mutex> lock(st.mutex);
    st.style = chosen;
  }
  platform.settings().set(setting::kStyle, chosen);
  if (d.checked(kNewWindow)) platform.open_picture_window("Lozengia");
  platform.focus(kPictureUnit);
  draw(kPictureUnit);
}

void PictureCommands::export_to_file() {
  const std::optional<std::string> name = program_.platform().ask_save_file_name();
  if (!name || name->empty()) return;
  PlanePartition pp;
  {
    SharedState& st = program_.state();
    std::lock_guard<std::mutex> lock(st.mutex);
    pp = to_plane_partition(st.hex.paths, st.hex.N, st.hex.T, st.hex.S);
  }
  const WriteStatus status = export_plane_partition(*name, pp);
  if (status != WriteStatus::kOk) program_.line(write_status_message(status));
}

}  // namespace lozengia
