// The frame's menus and status bar as the commands drive them: the menus
// built once, the commands greyed while one runs, the status line, a running
// command's progress and the Stop it offers. Every service may be called
// from any thread: it is carried out on the GUI thread, waited for (menus,
// commands enabled) or queued in order (status, progress, Stop).
#pragma once

#include <string>
#include <vector>

#include "platform/main_window.h"

namespace lozengia {

class GuiCallQueue;

class FrameControls {
 public:
  FrameControls(GuiCallQueue& gui, MainWindow& frame);

  void build_menus(const std::vector<MenuEntry>& commands, const std::vector<MenuEntry>& help);
  void set_commands_enabled(bool on);
  void set_status(const std::string& text);
  // A running command: `total` 0 for one without a known end.
  void show_progress(int done, int total, const std::string& text);
  void end_progress();
  // Stop (the frame's stopRequested) is offered while `on`.
  void set_stop_available(bool on);

 private:
  GuiCallQueue& gui_;
  MainWindow& frame_;
};

}  // namespace lozengia
