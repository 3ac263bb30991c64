#include "platform/platform.h"

namespace lozengia {

Platform::Platform(PlatformOptions options)
    : settings_(std::make_unique<Settings>(options.settings_path)),
      gui_(std::make_unique<GuiCallQueue>()),
      frame_(std::make_unique<MainWindow>(*settings_)),
      windows_(std::make_unique<UnitWindows>(*gui_, *frame_)),
      keys_(std::make_unique<PictureKeys>(*gui_, *windows_)),
      controls_(std::make_unique<FrameControls>(*gui_, *frame_)),
      dialogs_(std::make_unique<FrameDialogs>(*gui_, *frame_, *settings_)) {
  frame_->setAttribute(Qt::WA_DeleteOnClose, false);
  frame_->restore_geometry();
}

Platform::~Platform() {
  shutdown();
  // The frame goes first, while the services its windows tell of their end
  // (the receiving picture window's keys) are still there.
  frame_.reset();
}

void Platform::shutdown() {
  gui_->shutdown();
  keys_->shutdown();
}

}  // namespace lozengia
