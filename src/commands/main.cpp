// lozengia: the desktop program.
#include <QApplication>

#include "commands/program.h"
#include "platform/platform.h"
#include "platform/qt_thread_pool.h"
#include "render/interrupt_cleanup.h"
#include "render/standard_descriptors.h"

int main(int argc, char** argv) {
  // Before anything opens a file: no file may take the number of a standard
  // descriptor that was closed.
  if (!lozengia::open_closed_standard_descriptors()) return 1;
  // A signal while a picture or an export is written leaves the old file.
  const lozengia::InterruptCleanup cleanup;
  QApplication app(argc, argv);
  QApplication::setApplicationName("Lozengia");
  QApplication::setOrganizationName("Lozengia");
  lozengia::Platform platform;
  lozengia::Program program(platform);
  platform.show_frame();
  // After Qt's own threads (the frame's menu bar starts one) and before the
  // program's: Qt's painting must never need to start a thread later.
  lozengia::keep_qt_pool_threads();
  if (!program.start()) {
    platform.message_box(
        "Lozengia cannot run: no thread could be started for its commands (the system allows "
        "no more threads, or has no memory for one).",
        "Error!");
    return 1;
  }
  const int rc = QApplication::exec();
  program.stop();
  return rc;
}
