#include "platform/picture_keys.h"

#include <QApplication>
#include <QKeyEvent>

#include "platform/gui_call_queue.h"
#include "platform/picture_window.h"
#include "platform/unit_windows.h"

namespace lozengia {

PictureKeys::PictureKeys(GuiCallQueue& gui, UnitWindows& windows) : gui_(gui), windows_(windows) {
  QObject::connect(&windows, &UnitWindows::keyTyped, &capture_,
                   [this](char c) { capture_.typed(c); });
  // Closing the picture window while keys are awaited leaves the mode (as
  // "q" does): no key could be typed there any more, and the menu would
  // stay greyed for good.
  QObject::connect(&windows, &UnitWindows::receivingPictureClosed, &capture_, [this] {
    if (capture_.capturing()) capture_.typed('q');
  });
}

void PictureKeys::set_key_capture(int unit, bool on) {
  if (unit == kPictureUnit) capture_.set_capturing(on);
}

std::optional<char> PictureKeys::read_key(int unit) {
  if (unit != kPictureUnit) return std::nullopt;
  return capture_.read();
}

void PictureKeys::post_key(int unit, char c) {
  if (unit != kPictureUnit) return;
  gui_.post([this, c] {
    if (PictureWindow* p = windows_.current_picture()) {
      const QString text(QChar::fromLatin1(c));
      QKeyEvent press(QEvent::KeyPress, text.isEmpty() ? 0 : QChar(c).toUpper().unicode(),
                      Qt::NoModifier, text);
      QCoreApplication::sendEvent(p, &press);
    } else {
      capture_.typed(c);
    }
  });
}

void PictureKeys::focus(int unit) { windows_.focus(unit); }

void PictureKeys::beep() {
  gui_.post([] { QApplication::beep(); });
}

}  // namespace lozengia
