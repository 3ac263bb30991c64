// "S->S+1 steps" and "S->S-1 steps": the dialogs (GUI thread) and the run in
// the command loop (program thread), with its progress in the status bar and
// Stop (Esc) ending it after the step in progress.
#pragma once

#include "commands/pending_command.h"

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
  // Runs the steps the dialog handed over (program thread).
  void run(const StepRun& command);

 private:
  void ok_pressed(Dialog& d, bool plus);

  Program& program_;
};

}  // namespace lozengia
