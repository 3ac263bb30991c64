#include "commands/open_partition_command.h"

#include <mutex>
#include <new>
#include <vector>

#include "commands/dialog_ids.h"
#include "commands/new_hexagon_command.h"
#include "commands/program.h"
#include "core/params.h"
#include "core/plane_partition.h"
#include "platform/dialog.h"
#include "platform/open_partition_hook.h"
#include "platform/platform.h"
#include "render/pp_reader.h"

namespace lozengia {

using namespace dialog_ids;

OpenPartitionCommand::OpenPartitionCommand(Program& program) : program_(program) {}
OpenPartitionCommand::~OpenPartitionCommand() = default;

void OpenPartitionCommand::install() {
  hook_ = new OpenPartitionHook(*program_.platform().frame(),
                                [this](const std::string& path) { open_file(path); });
}

void OpenPartitionCommand::open_file(const std::string& path) {
  Platform& platform = program_.platform();
  // A drop or the menu while a command runs: the hexagon is not this
  // thread's to change now.
  if (!platform.frame()->commands_enabled()) return;
  auto fail = [&](const std::string& why) {
    program_.line(why + "; the tiling is kept as it was.");
    platform.dialogs().message_box(why, "Error!");
  };
  PartitionFile file;
  try {
    file = read_partition_file(path);
  } catch (const std::bad_alloc&) {
    return fail(path + ": not enough memory to read it");
  }
  if (!file.error.empty()) return fail(file.error);
  ReadPartition& r = file.partitions.front();
  if (file.partitions.size() > 1)
    program_.line(path + " holds " + std::to_string(file.partitions.size()) +
                  " plane partitions; the first one (line " + std::to_string(r.first_line) +
                  ") is opened.");

  // The "New" dialog's fields for the model, with the hexagon of the file:
  // T and S are the file's; N is its largest entry, or more.
  Dialog d(kDialogNew, platform.frame());
  if (!d.loaded()) return;
  set_dialog_title(d, "Open plane partition");
  const HexagonParams present = program_.params();
  d.set_items(kModel, std::vector<std::string>(kModelNames + 1, kModelNames + 7));
  d.set_selection(kModel, present.model.kind);
  const NewHexagonInput pre = new_dialog_prefill(present);
  d.set_text(kN, std::to_string(std::max(1, r.largest)));
  d.set_text(kT, std::to_string(r.pp.rows + r.pp.cols));
  d.set_text(kS, std::to_string(r.pp.rows));
  d.set_text(kQ, pre.q);
  d.set_text(kKappa, pre.kappa);
  d.set_text(kLogqOrK, pre.logq_or_K);
  d.set_text(kAlpha, pre.alpha);
  d.set_text(kBeta, pre.beta);
  NewHexagonCommand fields(program_);
  d.set_callback(kModel, [&](Dialog& dd, int) { fields.model_changed(dd); });
  d.set_callback(kOk, [&](Dialog& dd, int) { ok_pressed(dd, path, r); });
  fields.enable_fields(d, present.model.kind);
  d.set_enabled(kT, false);
  d.set_enabled(kS, false);
  const bool made = d.run() == kOk;
  if (!made) return;
  program_.line("Opened " + path + ".");
  program_.write_report();
  program_.publish_state();
  // Shown as "Show tiling" shows it.
  platform.windows().focus(kPictureUnit);
  program_.draw_picture(kPictureUnit);
}

void OpenPartitionCommand::ok_pressed(Dialog& d, const std::string& path, ReadPartition& r) {
  Platform& platform = program_.platform();
  // T and S are the file's, whatever their (greyed) fields say.
  NewHexagonInput in = NewHexagonCommand::typed_input(d);
  in.T = std::to_string(r.pp.rows + r.pp.cols);
  in.S = std::to_string(r.pp.rows);
  const NewHexagonResult checked = check_new_hexagon(in);
  if (!checked.ok) return platform.dialogs().message_box(checked.message, "Error!");
  const HexagonParams& p = checked.params;
  if (const std::string why = check_partition_bound(r, p.N); !why.empty())
    return platform.dialogs().message_box(path + ": " + why, "Error!");
  std::string err;
  try {
    PathArray tiling = plane_partition_to_paths(r.pp.cells.data(), r.pp.rows, r.pp.cols, p.N);
    SharedState& state = program_.state();
    std::lock_guard<std::mutex> lock(state.mutex);
    err = set_hexagon_tiling(state.hex, p, tiling);  // all at once, or not at all
    if (err.empty()) state.tiling_changed();
  } catch (const std::bad_alloc&) {
    err = "Not enough memory for a hexagon of this size";
  }
  if (!err.empty()) return platform.dialogs().message_box(err, "Error!");
  d.close(kOk);
}

}  // namespace lozengia
