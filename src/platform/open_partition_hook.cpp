#include "platform/open_partition_hook.h"

#include <QAction>
#include <QDialog>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include "platform/dialog.h"
#include "platform/main_window.h"

namespace lozengia {

namespace {

// The one local file of a drag, if it carries exactly one.
std::optional<std::string> dropped_file(const QMimeData* mime) {
  if (!mime || !mime->hasUrls() || mime->urls().size() != 1) return std::nullopt;
  const QUrl url = mime->urls().front();
  if (!url.isLocalFile()) return std::nullopt;
  return QFile::encodeName(url.toLocalFile()).toStdString();
}

}  // namespace

OpenPartitionHook::OpenPartitionHook(MainWindow& frame, OpenFile open)
    : QObject(&frame), frame_(frame), open_(std::move(open)) {
  QMenu* file = frame.file_menu();
  action_ = new QAction("&Open plane partition..", &frame);
  action_->setShortcut(QKeySequence::Open);
  const QList<QAction*> entries = file->actions();
  file->insertAction(entries.isEmpty() ? nullptr : entries.front(), action_);
  file->insertSeparator(entries.isEmpty() ? nullptr : entries.front());
  action_->setEnabled(frame.commands_enabled());
  connect(&frame, &MainWindow::commandsEnabledChanged, action_, &QAction::setEnabled);
  connect(action_, &QAction::triggered, this, [this] {
    if (const std::optional<std::string> name = ask_name(); name && !name->empty()) open_(*name);
  });
  frame.setAcceptDrops(true);
  frame.installEventFilter(this);
}

void OpenPartitionHook::set_name_source(std::function<std::optional<std::string>()> source) {
  name_source_ = std::move(source);
}

std::optional<std::string> OpenPartitionHook::ask_name() {
  if (name_source_) return name_source_();
  const QString name =
      QFileDialog::getOpenFileName(&frame_, "Choose a plane partition file", QString(),
                                   "Plane partitions (*.txt);;All files (*)");
  if (name.isEmpty()) return std::nullopt;
  return QFile::encodeName(name).toStdString();
}

bool OpenPartitionHook::eventFilter(QObject* watched, QEvent* event) {
  if (watched != &frame_) return false;
  if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
    auto* e = static_cast<QDropEvent*>(event);
    if (frame_.commands_enabled() && dropped_file(e->mimeData())) {
      e->acceptProposedAction();
      return true;
    }
    return false;
  }
  if (event->type() == QEvent::Drop) {
    auto* e = static_cast<QDropEvent*>(event);
    const std::optional<std::string> name = dropped_file(e->mimeData());
    if (!name || !frame_.commands_enabled()) return false;
    e->acceptProposedAction();
    // Opened once the drop has ended: the dialog that follows must not run
    // inside the drag's own event (its source waits for the drop to end).
    QMetaObject::invokeMethod(
        this, [this, path = *name] { open_(path); }, Qt::QueuedConnection);
    return true;
  }
  return false;
}

void set_dialog_title(Dialog& d, const std::string& title) {
  if (d.widget()) d.widget()->setWindowTitle(QString::fromStdString(title));
}

}  // namespace lozengia
