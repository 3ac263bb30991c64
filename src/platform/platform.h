// The desktop program's Qt layer, built and held in one place: the frame
// (main_window.h), the remembered settings, the queue that carries calls from
// the program thread to the GUI thread (gui_call_queue.h), and the services
// the commands call, each of its own:
//   windows()   the windows by unit number: text lines, pictures (unit_windows.h)
//   keys()      the keys of the picture window, for interactive and live
//               mode (picture_keys.h)
//   controls()  menus, commands greyed, status, progress, Stop (frame_controls.h)
//   dialogs()   message boxes, the export's file question, help pages
//               (frame_dialogs.h)
// Which of their services may be called from the program's own thread each
// header says. The Platform object lives on the GUI thread.
#pragma once

#include <QString>
#include <memory>

#include "platform/frame_controls.h"
#include "platform/frame_dialogs.h"
#include "platform/gui_call_queue.h"
#include "platform/main_window.h"
#include "platform/picture_keys.h"
#include "platform/settings.h"
#include "platform/unit_windows.h"

namespace lozengia {

struct PlatformOptions {
  QString settings_path;  // empty: the user's own settings
};

class Platform {
 public:
  explicit Platform(PlatformOptions options = {});
  ~Platform();
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;

  MainWindow* frame() const { return frame_.get(); }
  Settings& settings() const { return *settings_; }
  GuiCallQueue& gui() const { return *gui_; }
  UnitWindows& windows() const { return *windows_; }
  PictureKeys& keys() const { return *keys_; }
  FrameControls& controls() const { return *controls_; }
  FrameDialogs& dialogs() const { return *dialogs_; }

  // Stops serving calls from other threads and wakes every key read: no
  // thread stays blocked on a GUI thread that is closing. Called when the
  // program ends.
  void shutdown();

 private:
  std::unique_ptr<Settings> settings_;
  std::unique_ptr<GuiCallQueue> gui_;
  std::unique_ptr<MainWindow> frame_;
  std::unique_ptr<UnitWindows> windows_;
  std::unique_ptr<PictureKeys> keys_;
  std::unique_ptr<FrameControls> controls_;
  std::unique_ptr<FrameDialogs> dialogs_;
};

}  // namespace lozengia
