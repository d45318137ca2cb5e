#include "app/linux/qt/qt_module.h"

#include <QApplication>
#include <type_traits>

#include "app/linux/qt/form_window.h"
#include "app/linux/qt/platform.h"
#include "app/linux/qt/startup.h"

namespace {

kestrova::platform::ClipboardKeeper keeper;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int kestrova_qt_main(int argc, char** argv) {
  using namespace kestrova;
  // Taken before Qt sees the arguments: QApplication would strip and obey
  // its own options (-style, -platform, ...), and a path may look like one.
  const CommandLine line = command_line_from_argv(argc, argv);
  platform::choose_windowing_platform();
  keeper = platform::ClipboardKeeper::start();

  static int qt_argc = 1;
  static char* qt_argv[] = {argv[0], nullptr};
  QApplication app(qt_argc, qt_argv);
  platform::close_on_signals();
  keeper.up();
  return keeper.finish(run_program(line, QCoreApplication::applicationFilePath()));
}

__attribute__((visibility("default"))) kestrova::FormView* kestrova_qt_window(char* program_path) {
  using namespace kestrova;
  platform::choose_windowing_platform();
  keeper = platform::ClipboardKeeper::start();
  static int qt_argc = 1;
  static char* qt_argv[] = {program_path, nullptr};
  // Never destroyed: finish ends the process without tearing Qt down.
  static auto* const application = [] {
    auto* made = new QApplication(qt_argc, qt_argv);
    platform::close_on_signals();
    return made;
  }();
  static auto* const window = (keeper.up(), prepare_application(), new FormWindow());
  (void)application;
  return window;
}

__attribute__((visibility("default"))) int kestrova_qt_finish(int status) { return keeper.finish(status); }
}

static_assert(std::is_same_v<decltype(&kestrova_qt_main), kestrova_qt_main_fn>);
static_assert(std::is_same_v<decltype(&kestrova_qt_window), kestrova_qt_window_fn>);
static_assert(std::is_same_v<decltype(&kestrova_qt_finish), kestrova_qt_finish_fn>);
