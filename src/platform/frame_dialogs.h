// What the commands open over the frame to tell or ask the user: message
// boxes, the export's file name question and the help pages. GUI thread
// only, except post_message_box.
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/help_page.h"

namespace lozengia {

class GuiCallQueue;
class MainWindow;
class Settings;

class FrameDialogs {
 public:
  FrameDialogs(GuiCallQueue& gui, MainWindow& frame, Settings& settings);

  void message_box(const std::string& text, const std::string& caption);
  // A message box shown when the GUI thread comes to it (any thread; not
  // waited for: the caller carries on).
  void post_message_box(const std::string& text, const std::string& caption);

  // Asks for a file name to export to; empty when cancelled. Tests may
  // replace the dialog with a source of names.
  std::optional<std::string> ask_save_file_name();
  void set_save_file_name_source(std::function<std::optional<std::string>()> source);

  // Shows the help page titled `title`, made by `make` the first time; it is
  // kept (with its pictures) when closed, and shown again as it was.
  void show_help_page(const QString& title, const std::function<HelpContent()>& make);
  // The page titled `title`, once shown; null before.
  HelpPage* help_page(const QString& title) const;

 private:
  GuiCallQueue& gui_;
  MainWindow& frame_;
  Settings& settings_;
  std::function<std::optional<std::string>()> save_name_source_;
  std::vector<HelpPage*> help_pages_;  // children of the frame
};

}  // namespace lozengia
