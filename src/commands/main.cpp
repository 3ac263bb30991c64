// lozengia: the desktop program.
#include <QApplication>

#include "commands/program.h"
#include "platform/platform.h"
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
  program.start();
  const int rc = QApplication::exec();
  program.stop();
  return rc;
}
