// lozengia: the desktop program.
#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QStringList>

#include "commands/program.h"
#include "platform/platform.h"
#include "platform/qt_thread_pool.h"
#include "render/interrupt_cleanup.h"
#include "render/standard_descriptors.h"

namespace {

// The name of the installed desktop entry and icon: desktops match the
// program's windows to the entry by it.
constexpr char kDesktopId[] = "org.lozengia.lozengia";

void describe_options(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      "Lozengia draws exact random lozenge tilings of the hexagon N x (T-S) x S under six "
      "probability models (Hahn, q-Hahn, Racah, Trigonometric q-Racah, Real q-Racah and "
      "Imaginary q-Racah) and changes them with the S->S+1 and S->S-1 Markov operators, from "
      "the \"Commands\" menu. The file config.cfg in the working folder, read at start, sets "
      "the lozenges' colours and the picture style. lozengia-cli does the same work without a "
      "display.");
  parser.addHelpOption();
  parser.addVersionOption();
}

void name_application() {
  QCoreApplication::setApplicationName("Lozengia");
  QCoreApplication::setOrganizationName("Lozengia");
  QCoreApplication::setApplicationVersion(LOZENGIA_VERSION);
}

// --help and --version are answered without a display (help2man asks for
// them at build time, where there is none): a QCoreApplication is enough to
// print them, and the QApplication, which would need one, is never made.
// Returns only when neither was asked for.
void answer_help_or_version(int argc, char** argv) {
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  QCommandLineParser scan;
  describe_options(scan);
  // Qt's own options (-platform, -reverse, ...) are unknown here and only
  // passed over (the real check is after the QApplication's, below); read
  // as words, -reverse is not taken for -r -e -v ..., a --version.
  scan.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  (void)scan.parse(args);
  if (!scan.isSet("help") && !scan.isSet("help-all") && !scan.isSet("version")) return;
  QCoreApplication core(argc, argv);
  name_application();
  // The version line names the command, as lozengia-cli's does (and the man
  // page's NAME); nothing is stored under this name.
  QCoreApplication::setApplicationName("lozengia");
  QCommandLineParser parser;
  describe_options(parser);
  parser.process(core);  // prints the help or the version and ends the program
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything opens a file: no file may take the number of a standard
  // descriptor that was closed.
  if (!lozengia::open_closed_standard_descriptors()) return 1;
  answer_help_or_version(argc, argv);
  // A signal while a picture or an export is written leaves the old file.
  const lozengia::InterruptCleanup cleanup;
  QApplication app(argc, argv);
  name_application();
  QGuiApplication::setDesktopFileName(kDesktopId);
  QApplication::setWindowIcon(QIcon::fromTheme(kDesktopId));
  {
    // Refuses an unknown option (Qt's own are taken out by now), and any
    // other argument: the program takes none, and one left unread would
    // look as if it had been.
    QCommandLineParser parser;
    describe_options(parser);
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
      std::fprintf(stderr, "lozengia: unexpected argument '%s' (see lozengia --help)\n",
                   qPrintable(parser.positionalArguments().first()));
      return 1;
    }
  }
  lozengia::Platform platform;
  lozengia::Program program(platform);
  platform.frame()->show();
  // After Qt's own threads (the frame's menu bar starts one) and before the
  // program's: Qt's painting must never need to start a thread later.
  lozengia::keep_qt_pool_threads();
  if (!program.start()) {
    platform.dialogs().message_box(
        "Lozengia cannot run: no thread could be started for its commands (the system allows "
        "no more threads, or has no memory for one).",
        "Error!");
    return 1;
  }
  const int rc = QApplication::exec();
  program.stop();
  return rc;
}
