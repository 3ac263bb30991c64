// "File > Open plane partition.." and plane partition files dropped on the
// main window: both hand a file name to the program's open command. The
// entry is greyed, and drops ignored, while a command runs. GUI thread.
#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string>

class QAction;

namespace lozengia {

class Dialog;
class MainWindow;

class OpenPartitionHook : public QObject {
 public:
  using OpenFile = std::function<void(const std::string& path)>;
  // Adds the entry at the top of `frame`'s File menu and takes drops on it.
  OpenPartitionHook(MainWindow& frame, OpenFile open);

  QAction* action() const { return action_; }
  // Tests replace the file dialog with a source of names (nullopt: cancelled).
  void set_name_source(std::function<std::optional<std::string>()> source);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::optional<std::string> ask_name();

  MainWindow& frame_;
  OpenFile open_;
  QAction* action_ = nullptr;
  std::function<std::optional<std::string>()> name_source_;
};

// The dialog's window title (the open command shows the "New" dialog's
// fields under a title of its own).
void set_dialog_title(Dialog& d, const std::string& title);

}  // namespace lozengia
