// "S->S+1 steps" and "S->S-1 steps": the dialogs (GUI thread) and the run in
// the command loop (program thread), with its progress in the status bar and
// Stop (Esc) ending it after the step in progress.
#pragma once

#include <cstdint>

namespace lozengia {

class Program;
class Dialog;

class StepCommands {
 public:
  explicit StepCommands(Program& program) : program_(program) {}

  void open(bool plus);
  // OK handlers of the two dialogs.
  void s_plus_ok(Dialog& d);
  void s_minus_ok(Dialog& d);
  // Runs the pending command `code` (program thread).
  void run(int32_t code);

 private:
  void ok_pressed(Dialog& d, bool plus);

  Program& program_;
};

}  // namespace lozengia
