#include "platform/frame_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>

#include "platform/gui_call_queue.h"
#include "platform/main_window.h"
#include "platform/settings.h"

namespace lozengia {

FrameDialogs::FrameDialogs(GuiCallQueue& gui, MainWindow& frame, Settings& settings)
    : gui_(gui), frame_(frame), settings_(settings) {}

void FrameDialogs::message_box(const std::string& text, const std::string& caption) {
  frame_.message_box(text, caption);
}

void FrameDialogs::post_message_box(const std::string& text, const std::string& caption) {
  gui_.post([this, text, caption] { message_box(text, caption); });
}

std::optional<std::string> FrameDialogs::ask_save_file_name() {
  if (save_name_source_) return save_name_source_();
  QFileDialog dialog(&frame_);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter("All files (*)");
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (auto dir = settings_.folder(setting::kExportFolder)) dialog.setDirectory(*dir);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString name = dialog.selectedFiles().first();
  settings_.set(setting::kExportFolder, QFileInfo(name).absolutePath());
  return name.toStdString();
}

void FrameDialogs::set_save_file_name_source(std::function<std::optional<std::string>()> source) {
  save_name_source_ = std::move(source);
}

void FrameDialogs::show_help_page(const QString& title, const std::function<HelpContent()>& make) {
  HelpPage* page = help_page(title);
  if (!page) {
    page = new HelpPage(title, make(), &frame_);
    help_pages_.push_back(page);
  }
  page->show();
  page->raise();
  page->activateWindow();
}

HelpPage* FrameDialogs::help_page(const QString& title) const {
  for (HelpPage* page : help_pages_)
    if (page->windowTitle() == title) return page;
  return nullptr;
}

}  // namespace lozengia
