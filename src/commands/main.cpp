// lozengia: the desktop program.
#include <QApplication>

#include "commands/program.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
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
