// The keys typed in the picture window that receives pictures (unit 27), as
// interactive mode and the keyboard reader read them: the KeySource of
// keys/key_source.h over a KeyCapture. Closing that window while keys are
// awaited types "q", which leaves the mode.
//
// Every service may be called from any thread: a read blocks there (on the
// GUI thread in a nested event loop); keys sent as if typed, the beep and
// the focus are queued to the GUI thread.
#pragma once

#include <optional>

#include "keys/key_source.h"
#include "platform/key_capture.h"

namespace lozengia {

class GuiCallQueue;
class UnitWindows;

class PictureKeys final : public KeySource {
 public:
  // Hears the keys typed in `windows`' receiving picture window.
  PictureKeys(GuiCallQueue& gui, UnitWindows& windows);

  void set_key_capture(int unit, bool on) override;
  std::optional<char> read_key(int unit) override;
  void post_key(int unit, char c) override;
  void focus(int unit) override;
  void beep() override;

  // Wakes every read, for good; called when the program ends.
  void shutdown() { capture_.shutdown(); }

 private:
  GuiCallQueue& gui_;
  UnitWindows& windows_;
  KeyCapture capture_;
};

}  // namespace lozengia
