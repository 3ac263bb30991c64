#include "platform/frame_controls.h"

#include <QString>

#include "platform/gui_call_queue.h"

namespace lozengia {

FrameControls::FrameControls(GuiCallQueue& gui, MainWindow& frame) : gui_(gui), frame_(frame) {}

void FrameControls::build_menus(const std::vector<MenuEntry>& commands,
                                const std::vector<MenuEntry>& help) {
  gui_.call([&] { frame_.set_menus(commands, help); });
}

void FrameControls::set_commands_enabled(bool on) {
  gui_.call([this, on] { frame_.set_commands_enabled(on); });
}

void FrameControls::set_status(const std::string& text) {
  gui_.post([this, t = QString::fromStdString(text)] { frame_.set_status(t); });
}

void FrameControls::show_progress(int done, int total, const std::string& text) {
  gui_.post([=, this, t = QString::fromStdString(text)] { frame_.show_progress(done, total, t); });
}

void FrameControls::end_progress() {
  gui_.post([this] { frame_.end_progress(); });
}

void FrameControls::set_stop_available(bool on) {
  gui_.post([this, on] { frame_.set_stop_available(on); });
}

}  // namespace lozengia
