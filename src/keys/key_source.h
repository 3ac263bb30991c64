// What the keyboard reader needs of the windowing layer, as a plain interface:
// the desktop program's PictureKeys (platform/picture_keys.h) implements it
// with the picture window, the reader's tests with a scripted source. No Qt here, so the reader and its
// ring buffer build and run without a display.
#pragma once

#include <optional>

namespace lozengia {

class KeySource {
 public:
  virtual ~KeySource() = default;
  // Starts or ends keeping the keys typed in the window of `unit`; either way
  // whatever was kept and not read is dropped. Keys typed while nobody keeps
  // them mean nothing and are ignored.
  virtual void set_key_capture(int unit, bool on) = 0;
  // Blocks until a key typed in the window of `unit` is there and returns it;
  // nothing when the windowing layer is closing and no key will come.
  virtual std::optional<char> read_key(int unit) = 0;
  // Sends `c` to the window of `unit` as if typed, so a blocked read returns.
  virtual void post_key(int unit, char c) = 0;
  // Brings the window of `unit` to the front with the keyboard focus.
  virtual void focus(int unit) = 0;
  virtual void beep() = 0;
};

}  // namespace lozengia
