#include <QApplication>

#include "app/qt/platform.h"
#include "app/qt/startup.h"

int main(int argc, char** argv) {
  using namespace kestrova;
  // Taken before Qt sees the arguments: QApplication would strip and obey
  // its own options (-style, -platform, ...), and a path may look like one.
  const QStringList arguments = platform::command_line_arguments(argc, argv);
  platform::choose_windowing_platform();
  platform::ClipboardKeeper keeper = platform::ClipboardKeeper::start();

  static int qt_argc = 1;
  static char* qt_argv[] = {argv[0], nullptr};
  QApplication app(qt_argc, qt_argv);
  return keeper.finish(run_program(arguments, QCoreApplication::applicationFilePath()));
}
