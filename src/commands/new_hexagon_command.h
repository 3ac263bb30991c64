// "New hexagon": the model list and the fields of dialog 101, their checks,
// and the new hexagon stored all at once. GUI thread.
#pragma once

#include <cstdint>

#include "core/hexagon.h"
#include "core/params.h"

namespace lozengia {

class Program;
class Dialog;

class NewHexagonCommand {
 public:
  explicit NewHexagonCommand(Program& program) : program_(program) {}
  void open();

  // The dialog's handlers.
  void ok_pressed(Dialog& d);
  void model_changed(Dialog& d);
  void enable_fields(Dialog& d, ModelKind kind);
  // The model list's choice: its items are listed in the kinds' order, so
  // the selection is the kind's number. Anything else is left for
  // check_new_hexagon to refuse.
  static ModelKind selected_kind(const Dialog& d);
  // The model and every field as typed, for check_new_hexagon.
  static NewHexagonInput typed_input(const Dialog& d);

 private:
  // Fills the dialog from the fields remembered from an earlier run; false
  // when there are none.
  bool prefill_remembered(Dialog& d);
  void remember(Dialog& d);

  Program& program_;
  bool accepted_this_run_ = false;
};

}  // namespace lozengia
